// The MMX rasteriser: the colour lanes of set-up and span fills in 64-bit
// registers with 16-bit saturating arithmetic. Each function must give
// exactly the result of its reference in rasteriser.cpp (same name without
// the Mmx suffix); the 32-bit depth and texture arithmetic is shared.
#include "render/rasteriser.h"
#include "render/rasteriser_internal.h"

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

// Row colour (8.7 minus 0x4000) and texture coordinate carried by the walk.
struct MmxRow {
    __m64 colour;
    int32_t tex[2];
};

inline void StartRows(const RasterSetup& s, MmxRow* row) {
    row->colour = _mm_sub_pi16(Load4(s.colourStart), Splat16(0x4000));
    row->tex[0] = s.texStart[0];
    row->tex[1] = s.texStart[1];
}

inline void StepRow(RasterSetup& s, MmxRow* row) {
    const int index = AdvanceRow(s);
    row->colour = _mm_add_pi16(row->colour, Load4(s.colourRowSteps[index]));
    row->tex[0] = Add32(row->tex[0], s.texRowSteps[index][0]);
    row->tex[1] = Add32(row->tex[1], s.texRowSteps[index][1]);
}

}  // namespace

bool MmxPathAvailable() { return true; }

void Reciprocal15Mmx(const int16_t in[4], int16_t out[4]) {
    const __m64 zero = _mm_setzero_si64();
    const __m64 d = Load4(in);
    const __m64 sign = _mm_srai_pi16(d, 15);
    const __m64 magnitude = _mm_sub_pi16(_mm_xor_si64(d, sign), sign);  // unsigned, 32768 for -32768
    // Restoring division of 0x8000 by the magnitude, one quotient bit per step.
    __m64 remainder = zero, quotient = zero;
    for (int bit = 15; bit >= 0; --bit) {
        remainder = _mm_slli_pi16(remainder, 1);
        if (bit == 15) remainder = _mm_or_si64(remainder, Splat16(1));
        const __m64 fits = _mm_cmpeq_pi16(_mm_subs_pu16(magnitude, remainder), zero);
        remainder = _mm_sub_pi16(remainder, _mm_and_si64(fits, magnitude));
        quotient = _mm_or_si64(_mm_slli_pi16(quotient, 1), _mm_srli_pi16(fits, 15));
    }
    // 32768 / 1 does not fit: it becomes 32766; 0 gives 32767.
    const __m64 isOne = _mm_cmpeq_pi16(magnitude, Splat16(1));
    const __m64 isZero = _mm_cmpeq_pi16(magnitude, zero);
    quotient = _mm_or_si64(_mm_andnot_si64(isOne, quotient), _mm_and_si64(isOne, Splat16(32766)));
    quotient = _mm_or_si64(_mm_andnot_si64(isZero, quotient), _mm_and_si64(isZero, Splat16(32767)));
    Store4(out, _mm_sub_pi16(_mm_xor_si64(quotient, sign), sign));
    _mm_empty();
}

int32_t SetupGradientsMmx(RasterSetup& s, const MeshVertex& m, const MeshVertex& b, const MeshVertex& t) {
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
    SetupWideGradients(s, m, b, t, g);
    return g.cross;
}

void SetupEdgesMmx(RasterSetup& s, const MeshVertex& l, const MeshVertex& r, const MeshVertex& t,
                   const MeshVertex& b, int mode) {
    int16_t d[4], q[4], fraction[2];
    EdgeRowDifferences(l, r, t, b, d);
    Reciprocal15Mmx(d, q);
    SetupEdgesWide(s, l, r, t, b, mode, q, fraction);
    if (mode & 2) {
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
}

void FillGouraudMmx(RasterSetup& s) {
    const __m64 bias = Splat16(0x8000);
    MmxRow row;
    StartRows(s, &row);
    const __m64 step = _mm_adds_pi16(Load4(s.colourPerX), Load4(s.colourPerX));
    uint16_t counter = 0;
    __m64 noise = _mm_setzero_si64();
    int32_t y = s.firstRow;
    s.halfIndex = 0;
    do {
        EnterRow(s, y);
        uint32_t first, last;
        if (RowSpan(s, &first, &last)) {
            __m64 colour = _mm_adds_pi16(row.colour, row.colour);
            uint32_t z = static_cast<uint32_t>(s.leftDepth);
            for (WorkPixel* p = s.rowPointer + first; p <= s.rowPointer + last; ++p) {
                if (DepthPasses(z, *p)) {
                    const __m64 o = _mm_add_pi16(_mm_adds_pi16(colour, noise), bias);
                    *p = (z & 0xFFFF0000u) | Pack565(o);
                    noise = DitherNoise(counter);
                    counter = static_cast<uint16_t>(counter + DitherCounterStep);
                }
                z += static_cast<uint32_t>(s.depthPerX);
                colour = _mm_adds_pi16(colour, step);
            }
        }
        StepRow(s, &row);
        ++y;
    } while (y < s.lastRow);
    _mm_empty();
}

void FillTransparentMmx(RasterSetup& s, uint32_t filter) {
    const __m64 bias = Splat16(0x8000);
    const __m64 filterLanes = FilterLanes(filter);
    MmxRow row;
    StartRows(s, &row);
    const __m64 step = _mm_adds_pi16(Load4(s.colourPerX), Load4(s.colourPerX));
    uint16_t counter = 0;
    __m64 noise = _mm_setzero_si64();
    int32_t y = s.firstRow;
    s.halfIndex = 0;
    do {
        EnterRow(s, y);
        uint32_t first, last;
        if (RowSpan(s, &first, &last)) {
            __m64 colour = _mm_adds_pi16(row.colour, row.colour);
            uint32_t z = static_cast<uint32_t>(s.leftDepth);
            for (WorkPixel* p = s.rowPointer + first; p <= s.rowPointer + last; ++p) {
                if (DepthPasses(z, *p)) {
                    const __m64 lit = _mm_add_pi16(_mm_adds_pi16(colour, noise), bias);
                    const __m64 coverage = BroadcastLane3(_mm_srli_pi16(lit, 8));
                    const __m64 seen = _mm_mullo_pi16(
                        _mm_srli_pi16(_mm_mullo_pi16(ExpandStored(*p), filterLanes), 8), coverage);
                    const __m64 o = _mm_adds_pu16(lit, seen);
                    *p = (*p & 0xFFFF0000u) | Pack565(o);
                    counter = static_cast<uint16_t>(counter + DitherCounterStep);
                    noise = DitherNoise(counter);
                }
                z += static_cast<uint32_t>(s.depthPerX);
                colour = _mm_adds_pi16(colour, step);
            }
        }
        StepRow(s, &row);
        ++y;
    } while (y < s.lastRow);
    _mm_empty();
}

void FillTexturedMmx(RasterSetup& s, uint32_t filter) {
    const __m64 bias = Splat16(0x8000);
    const __m64 filterLanes = FilterLanes(filter);
    const __m64 keep = _mm_sub_pi16(_mm_set_pi16(0, 255, 255, 255), filterLanes);
    MmxRow row;
    StartRows(s, &row);
    const __m64 step = _mm_adds_pi16(Load4(s.colourPerX), Load4(s.colourPerX));
    int32_t y = s.firstRow;
    s.halfIndex = 0;
    do {
        EnterRow(s, y);
        uint32_t first, last;
        if (RowSpan(s, &first, &last)) {
            __m64 colour = _mm_adds_pi16(row.colour, row.colour);
            uint32_t z = static_cast<uint32_t>(s.leftDepth);
            uint32_t v = static_cast<uint32_t>(row.tex[0]), u = static_cast<uint32_t>(row.tex[1]);
            for (WorkPixel* p = s.rowPointer + first; p <= s.rowPointer + last; ++p) {
                if (DepthPasses(z, *p)) {
                    const __m64 light = _mm_srli_pi16(_mm_add_pi16(colour, bias), 8);
                    const __m64 texel = ByteLanes(TexelAt(s, v, u));
                    const __m64 lit = _mm_mullo_pi16(_mm_srli_pi16(_mm_mullo_pi16(texel, light), 8), keep);
                    const __m64 o = _mm_adds_pu16(lit, _mm_mullo_pi16(ExpandStored(*p), filterLanes));
                    *p = (z & 0xFFFF0000u) | Pack565(o);
                }
                z += static_cast<uint32_t>(s.depthPerX);
                colour = _mm_adds_pi16(colour, step);
                v += static_cast<uint32_t>(s.texPerX[0]);
                u += static_cast<uint32_t>(s.texPerX[1]);
            }
        }
        StepRow(s, &row);
        ++y;
    } while (y <= s.lastRow);
    _mm_empty();
}

#else  // no MMX: the reference stands in, and the path is reported unavailable

bool MmxPathAvailable() { return false; }
void Reciprocal15Mmx(const int16_t in[4], int16_t out[4]) { Reciprocal15Scalar(in, out); }
int32_t SetupGradientsMmx(RasterSetup& s, const MeshVertex& m, const MeshVertex& b, const MeshVertex& t) {
    return SetupGradientsScalar(s, m, b, t);
}
void SetupEdgesMmx(RasterSetup& s, const MeshVertex& l, const MeshVertex& r, const MeshVertex& t,
                   const MeshVertex& b, int mode) {
    SetupEdgesScalar(s, l, r, t, b, mode);
}
void FillGouraudMmx(RasterSetup& s) { FillGouraudScalar(s); }
void FillTransparentMmx(RasterSetup& s, uint32_t filter) { FillTransparentScalar(s, filter); }
void FillTexturedMmx(RasterSetup& s, uint32_t filter) { FillTexturedScalar(s, filter); }

#endif
