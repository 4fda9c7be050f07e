// Triangle set-up, the portable reference span fills, and the choice between
// the reference and the MMX path. The reference is written to be read; the
// MMX file must match it bit for bit.
#include "render/rasteriser.h"

#include <cstdlib>
#include <utility>
#include <cstring>

#include "core/cpu_features.h"
#include "core/texture.h"
#include "render/rasteriser_internal.h"
#include "render/triangle_setup.h"

using namespace raster;

// The reference kernels, called directly by the reference path's triangles.
using ScalarPath = DirectPath<Reciprocal15Scalar, SetupGradientsScalar, SetupEdgesScalar, FillGouraudScalar,
                              FillTransparentScalar, FillTexturedScalar>;

RasterKernels RasterKernelsFor(SimdLevel level) {
    if (level >= SimdMmx && MmxPathAvailable()) {
        return RasterKernels{Reciprocal15Fast,   SetupGradientsMmx, SetupEdgesMmx,  FillGouraudMmx,
                             FillTransparentMmx, FillTexturedMmx,   DrawTriangleMmx};
    }
    return RasterKernels{Reciprocal15Scalar,    SetupGradientsScalar, SetupEdgesScalar,  FillGouraudScalar,
                         FillTransparentScalar, FillTexturedScalar,   DrawTriangleScalar};
}

void DrawTriangle(FrameBuffer* fb, const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                  const Material& material, bool textured, const Texture* texture) {
    DrawTriangleWith(RasterKernelsFor(ActiveSimdLevel()), fb, a, b, c, material, textured, texture);
}

void DrawTriangleWith(const RasterKernels& kernels, FrameBuffer* fb, const ScreenVertex& a, const ScreenVertex& b,
                      const ScreenVertex& c, const Material& material, bool textured, const Texture* texture) {
    kernels.drawTriangle(fb, a, b, c, material, textured, texture);
}

void raster::DrawTriangleInFull(const RasterKernels& kernels, FrameBuffer* fb, const ScreenVertex& a,
                                const ScreenVertex& b, const ScreenVertex& c, const Material& material, bool textured,
                                const Texture* texture) {
    DrawTriangleOf(kernels, fb, a, b, c, material, textured, texture, false);
}

void DrawTriangleScalar(FrameBuffer* fb, const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                        const Material& material, bool textured, const Texture* texture) {
    DrawTriangleOf(ScalarPath{}, fb, a, b, c, material, textured, texture, true);
}

// ---- The reference path ----

void Reciprocal15Scalar(const int16_t in[4], int16_t out[4]) {
    for (int i = 0; i < 4; ++i) {
        const int32_t d = in[i];
        const int32_t magnitude = d < 0 ? -d : d;
        int32_t q;
        if (magnitude == 0) {
            q = 32767;
        } else if (magnitude == 1) {
            q = 32766;
        } else {
            q = 32768 / magnitude;
        }
        out[i] = static_cast<int16_t>(d < 0 ? -q : q);
    }
}

int32_t SetupGradientsScalar(RasterSetup& s, const ScreenVertex& m, const ScreenVertex& b, const ScreenVertex& t,
                             EdgeSetupMode mode) {
    GradientFactors g;
    if (!ComputeGradientFactors(m, b, t, &g)) return 0;
    for (int lane = 0; lane < 4; ++lane) {
        const int32_t dm = (ShadeByte(m.shade, lane) - ShadeByte(t.shade, lane)) * 128;
        const int32_t db = (ShadeByte(b.shade, lane) - ShadeByte(t.shade, lane)) * 128;
        // Each product is below 2^30 in magnitude, so the sum fits.
        s.colourPerX[lane] = SatS16(ArithmeticShiftRight(dm * g.a0 + db * g.a1, 15));
    }
    SetupWideGradients(s, m, b, t, g, mode);
    return g.cross;
}

void Reciprocal15Fast(const int16_t in[4], int16_t out[4]) { Reciprocal15Quick(in, out); }

void SetupEdgesScalar(RasterSetup& s, const ScreenVertex& l, const ScreenVertex& t, const ScreenVertex& b,
                      EdgeSetupMode mode, const int16_t q[4], const int16_t fraction[2]) {
    SetupEdgesWide(s, l, t, b, mode, q, fraction);
    if (!(mode & 2)) return;
    for (int lane = 0; lane < 4; ++lane) {
        const int16_t lc = static_cast<int16_t>(ShadeByte(l.shade, lane));
        const int16_t perX = s.colourPerX[lane];
        const int16_t edgeUpper = static_cast<int16_t>((lc - ShadeByte(t.shade, lane)) * 128);
        const int16_t edgeLower = static_cast<int16_t>((lc - ShadeByte(b.shade, lane)) * 128);
        s.colourRowSteps[0][lane] = Wrap16(2 * MulHigh(edgeUpper, q[0]) - 2 * MulHigh(fraction[0], perX));
        s.colourRowSteps[1][lane] = Add16(s.colourRowSteps[0][lane], perX);
        s.colourRowSteps[2][lane] = Wrap16(2 * MulHigh(edgeLower, q[1]) - 2 * MulHigh(fraction[1], perX));
        s.colourRowSteps[3][lane] = Add16(s.colourRowSteps[2][lane], perX);
        s.colourStart[lane] = static_cast<int16_t>(ShadeByte(t.shade, lane) * 128);
    }
}

namespace {

// The reference's row and span values for WalkRows: the row colour (8.7
// minus 0x4000) and texture coordinate; along a span the depth, the biased
// 8.8 colour and its step, and the texture coordinate.
struct ScalarCursor {
    struct Row {
        int16_t colour[4];
        int32_t tex[2];
    };
    struct Span {
        uint32_t z;
        int16_t colour[4], step[4];
        uint32_t v, u;
    };
    static void StartRows(const RasterSetup& s, Row* row) {
        for (int lane = 0; lane < 4; ++lane) row->colour[lane] = Wrap16(s.colourStart[lane] - 0x4000);
        row->tex[0] = s.texStart[0];
        row->tex[1] = s.texStart[1];
    }
    template <bool Textured>
    static void StepRow(const RasterSetup& s, size_t index, Row* row) {
        for (int lane = 0; lane < 4; ++lane)
            row->colour[lane] = Add16(row->colour[lane], s.colourRowSteps[index][lane]);
        if (Textured) {
            row->tex[0] = Add32(row->tex[0], s.texRowSteps[index][0]);
            row->tex[1] = Add32(row->tex[1], s.texRowSteps[index][1]);
        }
    }
    // The row colour doubled to biased 8.8 (saturated), and its per-pixel step.
    static Span StartSpan(const RasterSetup& s, uint32_t depth, const Row& row) {
        Span span;
        span.z = depth;
        for (int lane = 0; lane < 4; ++lane) {
            span.colour[lane] = SatS16(2 * row.colour[lane]);
            span.step[lane] = SatS16(2 * s.colourPerX[lane]);
        }
        span.v = static_cast<uint32_t>(row.tex[0]);
        span.u = static_cast<uint32_t>(row.tex[1]);
        return span;
    }
    template <bool Textured>
    static void StepPixel(const RasterSetup& s, Span* span) {
        span->z += static_cast<uint32_t>(s.depthPerX);
        for (int lane = 0; lane < 4; ++lane) span->colour[lane] = SatS16(span->colour[lane] + span->step[lane]);
        if (Textured) {
            span->v += static_cast<uint32_t>(s.texPerX[0]);
            span->u += static_cast<uint32_t>(s.texPerX[1]);
        }
    }
};

// Noise of one dither counter value: (counter^2 as signed 16 bits) times the
// lane's amplitude, high half.
void DitherNoise(uint16_t counter, int16_t noise[4]) {
    const int16_t square = Wrap16(static_cast<int32_t>(static_cast<uint32_t>(counter) * counter));
    for (int lane = 0; lane < 4; ++lane) noise[lane] = MulHigh(square, DitherAmplitude[lane]);
}

// The stored colour expanded to bytes (blue, green, red).
void ExpandStored(WorkPixel stored, uint16_t out[3]) {
    out[0] = static_cast<uint16_t>((stored << 3) & 0xF8);
    out[1] = static_cast<uint16_t>((stored >> 3) & 0xFC);
    out[2] = static_cast<uint16_t>((stored >> 8) & 0xF8);
}

void FilterBytes(uint32_t filter, uint16_t out[3]) {
    for (int lane = 0; lane < 3; ++lane) out[lane] = static_cast<uint16_t>((filter >> (8 * lane)) & 0xFF);
}

// The dither state of one triangle's fill; the sequence restarts with every
// triangle: counter and noise 0.
struct Dither {
    uint16_t counter = 0;
    int16_t noise[4] = {0, 0, 0, 0};
    // The span colour plus the current noise, as unsigned 8.8 lanes.
    void Apply(const ScalarCursor::Span& span, uint16_t out[4]) const {
        for (int lane = 0; lane < 4; ++lane) {
            out[lane] = static_cast<uint16_t>(SatS16(span.colour[lane] + noise[lane]) + 0x8000);
        }
    }
    void Advance() { counter = static_cast<uint16_t>(counter + DitherCounterStep); }
};

struct GouraudPixel {
    static constexpr bool Textured = false;
    Dither dither;
    void Draw(WorkPixel* p, const ScalarCursor::Span& span) {
        uint16_t o[4];
        dither.Apply(span, o);
        *p = (span.z & 0xFFFF0000u) | PackRgb565(o[0], o[1], o[2]);
        // The noise for the next drawn pixel comes from this counter value.
        DitherNoise(dither.counter, dither.noise);
        dither.Advance();
    }
};

struct TransparentPixel {
    static constexpr bool Textured = false;
    uint16_t filter[3];
    Dither dither;
    void Draw(WorkPixel* p, const ScalarCursor::Span& span) {
        uint16_t lit[4];
        dither.Apply(span, lit);
        const uint16_t coverage = lit[3] >> 8;
        uint16_t stored[3], o[3];
        ExpandStored(*p, stored);
        for (int lane = 0; lane < 3; ++lane) {
            o[lane] = SatU16(lit[lane] + ((stored[lane] * filter[lane]) >> 8) * coverage);
        }
        // Depth is not written: what lies behind stays testable.
        *p = (*p & 0xFFFF0000u) | PackRgb565(o[0], o[1], o[2]);
        // Unlike the opaque fill, the counter advances before the noise is taken.
        dither.Advance();
        DitherNoise(dither.counter, dither.noise);
    }
};

struct TexturedPixel {
    static constexpr bool Textured = true;
    uint16_t filter[3];
    const RasterSetup* s;
    void Draw(WorkPixel* p, const ScalarCursor::Span& span) {
        const uint32_t texel = TexelAt(*s, span.v, span.u);
        uint16_t stored[3], o[3];
        ExpandStored(*p, stored);
        for (int lane = 0; lane < 3; ++lane) {
            const uint32_t light = static_cast<uint16_t>(span.colour[lane] + 0x8000) >> 8;
            const uint32_t texelByte = (texel >> (8 * lane)) & 0xFF;
            const int32_t lit = static_cast<int32_t>(((texelByte * light) >> 8) * (255u - filter[lane]));
            o[lane] = SatU16(lit + stored[lane] * filter[lane]);
        }
        *p = (span.z & 0xFFFF0000u) | PackRgb565(o[0], o[1], o[2]);
    }
};

}  // namespace

void FillGouraudScalar(RasterSetup& s) {
    GouraudPixel kernel;
    WalkRows<ScalarCursor>(s, kernel, s.lastRow);
}

void FillTransparentScalar(RasterSetup& s, uint32_t filter) {
    TransparentPixel kernel;
    FilterBytes(filter, kernel.filter);
    WalkRows<ScalarCursor>(s, kernel, s.lastRow);
}

void FillTexturedScalar(RasterSetup& s, uint32_t filter) {
    TexturedPixel kernel;
    FilterBytes(filter, kernel.filter);
    kernel.s = &s;
    WalkRows<ScalarCursor>(s, kernel, s.lastRow + 1);  // the bottom corner's row too
}
