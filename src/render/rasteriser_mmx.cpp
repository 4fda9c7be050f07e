// The MMX rasteriser: the colour lanes of set-up and span fills as four
// 16-bit lanes with saturating arithmetic (render/lanes16.h: MMX's
// instructions, in SSE2 registers wherever SSE2 is compiled in). Each
// function must give exactly the result of its reference in rasteriser.cpp
// (same name without the Mmx suffix); the 32-bit depth and texture
// arithmetic is shared.
#include "render/rasteriser.h"
#include "render/rasteriser_internal.h"
#include "render/triangle_setup.h"

#if defined(__SSE2__) || defined(__MMX__)
#include "render/lanes16.h"

using namespace raster;

namespace {

// RGB565 from unsigned 8.8 lanes: blue and red keep 5 bits, green 6, then
// one multiply-add puts them in place (blue x 1 + green x 32, red x 2048).
inline uint32_t Pack565(Lanes o) {
    const Lanes fiveBits = And(ShiftRight16(o, 11), Set4(0, -1, 0, -1));
    const Lanes sixBits = And(ShiftRight16(o, 10), Set4(0, 0, -1, 0));
    const Lanes placed = MulAddPairs(Or(fiveBits, sixBits), Set4(0, 2048, 32, 1));
    return SumPairs32(placed);
}

// The stored RGB565 colour expanded to bytes in lanes blue, green, red.
inline Lanes ExpandStored(WorkPixel stored) {
    const Lanes c = Splat16(static_cast<int32_t>(stored & 0xFFFF));
    const Lanes blue = And(ShiftLeft16(c, 3), Set4(0, 0, 0, 0xF8));
    const Lanes green = And(ShiftRight16(c, 3), Set4(0, 0, 0xFC, 0));
    const Lanes red = And(ShiftRight16(c, 8), Set4(0, 0xF8, 0, 0));
    return Or(Or(blue, green), red);
}

inline Lanes DitherNoise(uint16_t counter) {
    const Lanes square = Splat16(static_cast<int32_t>((static_cast<uint32_t>(counter) * counter) & 0xFFFF));
    return MulHigh16(square, Load4(DitherAmplitude));
}

inline Lanes FilterLanes(uint32_t filter) { return ByteLanes(filter & 0x00FFFFFF); }

// The MMX path's row and span values for WalkRows, as ScalarCursor in
// rasteriser.cpp: the row colour (8.7 minus 0x4000) and texture coordinate;
// along a span the depth, the biased 8.8 colour and its step, and the
// texture coordinate.
struct MmxCursor {
    // The span's colour step rides with the row, so that each span takes it
    // from a register rather than forming it again from the set-up.
    struct Row {
        Lanes colour, step;
        int32_t tex[2];
    };
    struct Span {
        uint32_t z;
        Lanes colour, step;
        uint32_t v, u;
    };
    static void StartRows(const RasterSetup& s, Row* row) {
        row->colour = Sub16(Load4(s.colourStart), Splat16(0x4000));
        const Lanes perX = Load4(s.colourPerX);
        row->step = AddSat16(perX, perX);
        row->tex[0] = s.texStart[0];
        row->tex[1] = s.texStart[1];
    }
    template <bool Textured>
    static void StepRow(const RasterSetup& s, size_t index, Row* row) {
        row->colour = Add16(row->colour, Load4(s.colourRowSteps[index]));
        if (Textured) {
            row->tex[0] = Add32(row->tex[0], s.texRowSteps[index][0]);
            row->tex[1] = Add32(row->tex[1], s.texRowSteps[index][1]);
        }
    }
    static Span StartSpan(const RasterSetup&, uint32_t depth, const Row& row) {
        return Span{depth, AddSat16(row.colour, row.colour), row.step, static_cast<uint32_t>(row.tex[0]),
                    static_cast<uint32_t>(row.tex[1])};
    }
    template <bool Textured>
    static void StepPixel(const RasterSetup& s, Span* span) {
        span->z += static_cast<uint32_t>(s.depthPerX);
        span->colour = AddSat16(span->colour, span->step);
        if (Textured) {
            span->v += static_cast<uint32_t>(s.texPerX[0]);
            span->u += static_cast<uint32_t>(s.texPerX[1]);
        }
    }
};

// The dither sequence restarts with every triangle: counter and noise 0.
struct GouraudPixel {
    static constexpr bool Textured = false;
    uint16_t counter = 0;
    Lanes noise = ZeroLanes();
    void Draw(WorkPixel* p, const MmxCursor::Span& span) {
        const Lanes o = Add16(AddSat16(span.colour, noise), Splat16(0x8000));
        *p = (span.z & 0xFFFF0000u) | Pack565(o);
        noise = DitherNoise(counter);
        counter = static_cast<uint16_t>(counter + DitherCounterStep);
    }
};

struct TransparentPixel {
    static constexpr bool Textured = false;
    Lanes filter;
    uint16_t counter = 0;
    Lanes noise = ZeroLanes();
    void Draw(WorkPixel* p, const MmxCursor::Span& span) {
        const Lanes lit = Add16(AddSat16(span.colour, noise), Splat16(0x8000));
        const Lanes coverage = BroadcastLane3(ShiftRight16(lit, 8));
        const Lanes seen = MulLow16(ShiftRight16(MulLow16(ExpandStored(*p), filter), 8), coverage);
        *p = (*p & 0xFFFF0000u) | Pack565(AddSatU16(lit, seen));
        counter = static_cast<uint16_t>(counter + DitherCounterStep);
        noise = DitherNoise(counter);
    }
};

struct TexturedPixel {
    static constexpr bool Textured = true;
    Lanes filter, keep;  // keep = 255 - filter
    const RasterSetup* s;
    void Draw(WorkPixel* p, const MmxCursor::Span& span) {
        const Lanes light = ShiftRight16(Add16(span.colour, Splat16(0x8000)), 8);
        const Lanes texel = ByteLanes(TexelAt(*s, span.v, span.u));
        const Lanes lit = MulLow16(ShiftRight16(MulLow16(texel, light), 8), keep);
        *p = (span.z & 0xFFFF0000u) | Pack565(AddSatU16(lit, MulLow16(ExpandStored(*p), filter)));
    }
};

// The set-up kernels are inlined into the MMX path's triangles: as calls
// they spill and reload the corners and the set-up record.
#if defined(__GNUC__) || defined(__clang__)
#define QUILLMERE_INLINE inline __attribute__((always_inline))
#else
#define QUILLMERE_INLINE inline
#endif

QUILLMERE_INLINE int32_t GradientsMmx(RasterSetup& s, const ScreenVertex& m, const ScreenVertex& b,
                                      const ScreenVertex& t, EdgeSetupMode mode) {
    GradientFactors g;
    if (!ComputeGradientFactors<InverseCrossQuick>(m, b, t, &g)) return 0;
    const Lanes top = ByteLanes(static_cast<uint32_t>(t.shade));
    const Lanes dm = ShiftLeft16(Sub16(ByteLanes(static_cast<uint32_t>(m.shade)), top), 7);
    const Lanes db = ShiftLeft16(Sub16(ByteLanes(static_cast<uint32_t>(b.shade)), top), 7);
    const Lanes factors = Set4(g.a1, g.a0, g.a1, g.a0);
    const Lanes low = ShiftRightArith32(MulAddPairs(InterleaveLow16(dm, db), factors), 15);
    const Lanes high = ShiftRightArith32(MulAddPairs(InterleaveHigh16(dm, db), factors), 15);
    Store4(s.colourPerX, PackSat32(low, high));
    EndLanes();
    SetupWideGradients(s, m, b, t, g, mode);
    return g.cross;
}

QUILLMERE_INLINE void EdgesMmx(RasterSetup& s, const ScreenVertex& l, const ScreenVertex& t, const ScreenVertex& b,
                               EdgeSetupMode mode, const int16_t q[4], const int16_t fraction[2]) {
    SetupEdgesWide(s, l, t, b, mode, q, fraction);
    if (!(mode & 2)) return;
    const Lanes left = ByteLanes(static_cast<uint32_t>(l.shade));
    const Lanes top = ByteLanes(static_cast<uint32_t>(t.shade));
    const Lanes perX = Load4(s.colourPerX);
    const Lanes edges[2] = {ShiftLeft16(Sub16(left, top), 7),
                            ShiftLeft16(Sub16(left, ByteLanes(static_cast<uint32_t>(b.shade))), 7)};
    for (int half = 0; half < 2; ++half) {
        const Lanes along = ShiftLeft16(MulHigh16(edges[half], Splat16(q[half])), 1);
        const Lanes across = ShiftLeft16(MulHigh16(Splat16(fraction[half]), perX), 1);
        const Lanes step = Sub16(along, across);
        Store4(s.colourRowSteps[2 * half], step);
        Store4(s.colourRowSteps[2 * half + 1], Add16(step, perX));
    }
    Store4(s.colourStart, ShiftLeft16(top, 7));
    EndLanes();
}

}  // namespace

bool MmxPathAvailable() { return true; }

int32_t SetupGradientsMmx(RasterSetup& s, const ScreenVertex& m, const ScreenVertex& b, const ScreenVertex& t,
                          EdgeSetupMode mode) {
    return GradientsMmx(s, m, b, t, mode);
}

void SetupEdgesMmx(RasterSetup& s, const ScreenVertex& l, const ScreenVertex& t, const ScreenVertex& b,
                   EdgeSetupMode mode, const int16_t q[4], const int16_t fraction[2]) {
    EdgesMmx(s, l, t, b, mode, q, fraction);
}

void FillGouraudMmx(RasterSetup& s) {
    GouraudPixel kernel;
    WalkRows<MmxCursor>(s, kernel, s.lastRow);
    EndLanes();
}

void FillTransparentMmx(RasterSetup& s, uint32_t filter) {
    TransparentPixel kernel;
    kernel.filter = FilterLanes(filter);
    WalkRows<MmxCursor>(s, kernel, s.lastRow);
    EndLanes();
}

void FillTexturedMmx(RasterSetup& s, uint32_t filter) {
    TexturedPixel kernel;
    kernel.filter = FilterLanes(filter);
    kernel.keep = Sub16(Set4(0, 255, 255, 255), kernel.filter);
    kernel.s = &s;
    WalkRows<MmxCursor>(s, kernel, s.lastRow + 1);  // the bottom corner's row too
    EndLanes();
}

// The MMX kernels, called directly by the MMX path's triangles.
using MmxPath =
    DirectPath<Reciprocal15Quick, GradientsMmx, EdgesMmx, FillGouraudMmx, FillTransparentMmx, FillTexturedMmx>;

void DrawTriangleMmx(FrameBuffer* fb, const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                     const Material& material, bool textured, const Texture* texture) {
    DrawTriangleOf(MmxPath{}, fb, a, b, c, material, textured, texture, true);
}

#else  // no MMX: the reference stands in, and the path is reported unavailable

bool MmxPathAvailable() { return false; }
int32_t SetupGradientsMmx(RasterSetup& s, const ScreenVertex& m, const ScreenVertex& b, const ScreenVertex& t,
                          EdgeSetupMode mode) {
    return SetupGradientsScalar(s, m, b, t, mode);
}
void SetupEdgesMmx(RasterSetup& s, const ScreenVertex& l, const ScreenVertex& t, const ScreenVertex& b,
                   EdgeSetupMode mode, const int16_t q[4], const int16_t fraction[2]) {
    SetupEdgesScalar(s, l, t, b, mode, q, fraction);
}
void FillGouraudMmx(RasterSetup& s) { FillGouraudScalar(s); }
void FillTransparentMmx(RasterSetup& s, uint32_t filter) { FillTransparentScalar(s, filter); }
void FillTexturedMmx(RasterSetup& s, uint32_t filter) { FillTexturedScalar(s, filter); }
void DrawTriangleMmx(FrameBuffer* fb, const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                     const Material& material, bool textured, const Texture* texture) {
    DrawTriangleScalar(fb, a, b, c, material, textured, texture);
}

#endif
