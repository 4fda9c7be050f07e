// The MMX rasteriser: the colour lanes of set-up and span fills in 64-bit
// registers with 16-bit saturating arithmetic. Each function must give
// exactly the result of its reference in rasteriser.cpp (same name without
// the Mmx suffix); the 32-bit depth and texture arithmetic is shared.
#include "render/rasteriser.h"
#include "render/rasteriser_internal.h"
#include "render/triangle_setup.h"

#if defined(__MMX__)
#include <mmintrin.h>

#include <cstring>

using namespace raster;

namespace {

inline __m64 Load4(const int16_t lanes[4]) {
    __m64 v;
    std::memcpy(&v, lanes, 8);
    return v;
}

inline void Store4(int16_t lanes[4], __m64 v) { std::memcpy(lanes, &v, 8); }

inline __m64 Splat16(int32_t value) { return _mm_set1_pi16(static_cast<int16_t>(value)); }

// The four bytes of a packed shade or texel as 16-bit lanes.
inline __m64 ByteLanes(uint32_t packed) {
    return _mm_unpacklo_pi8(_mm_cvtsi32_si64(static_cast<int>(packed)), _mm_setzero_si64());
}

// Lane 3 copied into all four lanes.
inline __m64 BroadcastLane3(__m64 v) {
    const __m64 high = _mm_unpackhi_pi16(v, v);
    return _mm_unpackhi_pi32(high, high);
}

// RGB565 from unsigned 8.8 lanes: blue and red keep 5 bits, green 6, then
// one multiply-add puts them in place (blue x 1 + green x 32, red x 2048).
inline uint32_t Pack565(__m64 o) {
    const __m64 fiveBits = _mm_and_si64(_mm_srli_pi16(o, 11), _mm_set_pi16(0, -1, 0, -1));
    const __m64 sixBits = _mm_and_si64(_mm_srli_pi16(o, 10), _mm_set_pi16(0, 0, -1, 0));
    const __m64 placed = _mm_madd_pi16(_mm_or_si64(fiveBits, sixBits), _mm_set_pi16(0, 2048, 32, 1));
    return static_cast<uint32_t>(_mm_cvtsi64_si32(_mm_add_pi32(placed, _mm_srli_si64(placed, 32))));
}

// The stored RGB565 colour expanded to bytes in lanes blue, green, red.
inline __m64 ExpandStored(WorkPixel stored) {
    const __m64 c = Splat16(static_cast<int32_t>(stored & 0xFFFF));
    const __m64 blue = _mm_and_si64(_mm_slli_pi16(c, 3), _mm_set_pi16(0, 0, 0, 0xF8));
    const __m64 green = _mm_and_si64(_mm_srli_pi16(c, 3), _mm_set_pi16(0, 0, 0xFC, 0));
    const __m64 red = _mm_and_si64(_mm_srli_pi16(c, 8), _mm_set_pi16(0, 0xF8, 0, 0));
    return _mm_or_si64(_mm_or_si64(blue, green), red);
}

inline __m64 DitherNoise(uint16_t counter) {
    const __m64 square = Splat16(static_cast<int32_t>((static_cast<uint32_t>(counter) * counter) & 0xFFFF));
    return _mm_mulhi_pi16(square, Load4(DitherAmplitude));
}

inline __m64 FilterLanes(uint32_t filter) { return ByteLanes(filter & 0x00FFFFFF); }

// The MMX path's row and span values for WalkRows, as ScalarCursor in
// rasteriser.cpp: the row colour (8.7 minus 0x4000) and texture coordinate;
// along a span the depth, the biased 8.8 colour and its step, and the
// texture coordinate.
struct MmxCursor {
    struct Row {
        __m64 colour;
        int32_t tex[2];
    };
    struct Span {
        uint32_t z;
        __m64 colour, step;
        uint32_t v, u;
    };
    static void StartRows(const RasterSetup& s, Row* row) {
        row->colour = _mm_sub_pi16(Load4(s.colourStart), Splat16(0x4000));
        row->tex[0] = s.texStart[0];
        row->tex[1] = s.texStart[1];
    }
    template <bool Textured>
    static void StepRow(const RasterSetup& s, int index, Row* row) {
        row->colour = _mm_add_pi16(row->colour, Load4(s.colourRowSteps[index]));
        if (Textured) {
            row->tex[0] = Add32(row->tex[0], s.texRowSteps[index][0]);
            row->tex[1] = Add32(row->tex[1], s.texRowSteps[index][1]);
        }
    }
    static Span StartSpan(const RasterSetup& s, uint32_t depth, const Row& row) {
        const __m64 perX = Load4(s.colourPerX);
        return Span{depth, _mm_adds_pi16(row.colour, row.colour), _mm_adds_pi16(perX, perX),
                    static_cast<uint32_t>(row.tex[0]), static_cast<uint32_t>(row.tex[1])};
    }
    template <bool Textured>
    static void StepPixel(const RasterSetup& s, Span* span) {
        span->z += static_cast<uint32_t>(s.depthPerX);
        span->colour = _mm_adds_pi16(span->colour, span->step);
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
    __m64 noise = _mm_setzero_si64();
    void Draw(WorkPixel* p, const MmxCursor::Span& span) {
        const __m64 o = _mm_add_pi16(_mm_adds_pi16(span.colour, noise), Splat16(0x8000));
        *p = (span.z & 0xFFFF0000u) | Pack565(o);
        noise = DitherNoise(counter);
        counter = static_cast<uint16_t>(counter + DitherCounterStep);
    }
};

struct TransparentPixel {
    static constexpr bool Textured = false;
    __m64 filter;
    uint16_t counter = 0;
    __m64 noise = _mm_setzero_si64();
    void Draw(WorkPixel* p, const MmxCursor::Span& span) {
        const __m64 lit = _mm_add_pi16(_mm_adds_pi16(span.colour, noise), Splat16(0x8000));
        const __m64 coverage = BroadcastLane3(_mm_srli_pi16(lit, 8));
        const __m64 seen = _mm_mullo_pi16(_mm_srli_pi16(_mm_mullo_pi16(ExpandStored(*p), filter), 8), coverage);
        *p = (*p & 0xFFFF0000u) | Pack565(_mm_adds_pu16(lit, seen));
        counter = static_cast<uint16_t>(counter + DitherCounterStep);
        noise = DitherNoise(counter);
    }
};

struct TexturedPixel {
    static constexpr bool Textured = true;
    __m64 filter, keep;  // keep = 255 - filter
    const RasterSetup* s;
    void Draw(WorkPixel* p, const MmxCursor::Span& span) {
        const __m64 light = _mm_srli_pi16(_mm_add_pi16(span.colour, Splat16(0x8000)), 8);
        const __m64 texel = ByteLanes(TexelAt(*s, span.v, span.u));
        const __m64 lit = _mm_mullo_pi16(_mm_srli_pi16(_mm_mullo_pi16(texel, light), 8), keep);
        *p = (span.z & 0xFFFF0000u) | Pack565(_mm_adds_pu16(lit, _mm_mullo_pi16(ExpandStored(*p), filter)));
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
    if (!ComputeGradientFactors(m, b, t, &g)) return 0;
    const __m64 top = ByteLanes(static_cast<uint32_t>(t.shade));
    const __m64 dm = _mm_slli_pi16(_mm_sub_pi16(ByteLanes(static_cast<uint32_t>(m.shade)), top), 7);
    const __m64 db = _mm_slli_pi16(_mm_sub_pi16(ByteLanes(static_cast<uint32_t>(b.shade)), top), 7);
    const __m64 factors = _mm_set_pi16(g.a1, g.a0, g.a1, g.a0);
    const __m64 low = _mm_srai_pi32(_mm_madd_pi16(_mm_unpacklo_pi16(dm, db), factors), 15);
    const __m64 high = _mm_srai_pi32(_mm_madd_pi16(_mm_unpackhi_pi16(dm, db), factors), 15);
    Store4(s.colourPerX, _mm_packs_pi32(low, high));
    _mm_empty();
    SetupWideGradients(s, m, b, t, g, mode);
    return g.cross;
}

QUILLMERE_INLINE void EdgesMmx(RasterSetup& s, const ScreenVertex& l, const ScreenVertex& t, const ScreenVertex& b,
                               EdgeSetupMode mode, const int16_t q[4], const int16_t fraction[2]) {
    SetupEdgesWide(s, l, t, b, mode, q, fraction);
    if (!(mode & 2)) return;
    const __m64 left = ByteLanes(static_cast<uint32_t>(l.shade));
    const __m64 top = ByteLanes(static_cast<uint32_t>(t.shade));
    const __m64 perX = Load4(s.colourPerX);
    const __m64 edges[2] = {_mm_slli_pi16(_mm_sub_pi16(left, top), 7),
                            _mm_slli_pi16(_mm_sub_pi16(left, ByteLanes(static_cast<uint32_t>(b.shade))), 7)};
    for (int half = 0; half < 2; ++half) {
        const __m64 along = _mm_slli_pi16(_mm_mulhi_pi16(edges[half], Splat16(q[half])), 1);
        const __m64 across = _mm_slli_pi16(_mm_mulhi_pi16(Splat16(fraction[half]), perX), 1);
        const __m64 step = _mm_sub_pi16(along, across);
        Store4(s.colourRowSteps[2 * half], step);
        Store4(s.colourRowSteps[2 * half + 1], _mm_add_pi16(step, perX));
    }
    Store4(s.colourStart, _mm_slli_pi16(top, 7));
    _mm_empty();
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
    _mm_empty();
}

void FillTransparentMmx(RasterSetup& s, uint32_t filter) {
    TransparentPixel kernel;
    kernel.filter = FilterLanes(filter);
    WalkRows<MmxCursor>(s, kernel, s.lastRow);
    _mm_empty();
}

void FillTexturedMmx(RasterSetup& s, uint32_t filter) {
    TexturedPixel kernel;
    kernel.filter = FilterLanes(filter);
    kernel.keep = _mm_sub_pi16(_mm_set_pi16(0, 255, 255, 255), kernel.filter);
    kernel.s = &s;
    WalkRows<MmxCursor>(s, kernel, s.lastRow + 1);  // the bottom corner's row too
    _mm_empty();
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
