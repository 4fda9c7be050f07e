// The set-up of four untextured triangles at once, one per 32-bit SSE2
// lane: the corner sort, the area, the edge slopes and the depth gradients
// and row steps, by the same integer and double operations per triangle as
// the one-triangle set-up (DrawTriangleOf), so each lane holds the same
// bits. The walk's test for a covered pixel, the colour lanes and the fill
// stay per triangle. Internal to src/render, and to each file that includes
// it: setup_lanes_avx2.cpp compiles the same functions with AVX2's
// encodings, and no copy may stand in for the other.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "render/rasteriser.h"
#include "render/rasteriser_internal.h"

namespace raster {

// Four triangles' set-up values, one lane each. `draw` is all ones in a lane
// whose triangle has every corner in the drawable area and a non-zero area.
struct alignas(16) SetupLanes {
    int32_t draw[4];
    int32_t leftStep[4], leftStepLower[4], rightStep[4], rightStepLower[4];
    int32_t leftX[4], leftXAtLeftCorner[4], rightX[4], rightXAtRightCorner[4];
    int32_t firstRow[4], leftCornerRow[4], rightCornerRow[4], lastRow[4];
    int32_t depthPerX[4], depthRowSteps[4][4], leftDepth[4], depthAtLeftCorner[4];
    // What the colour set-up takes: the shades of the sorted and the left
    // corners, the gradient factors, two reciprocals and the slope fractions.
    int32_t topShade[4], middleShade[4], bottomShade[4], leftShade[4];
    int32_t a0[4], a1[4], q0[4], q1[4], fraction0[4], fraction1[4];
};

namespace {
namespace lanes {

using V = __m128i;

// One corner of four triangles: x, y, depth and shade per lane.
struct Corner4 {
    V x, y, depth, shade;
};

inline V Select(V mask, V ifSet, V otherwise) {
    return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, otherwise));
}
inline Corner4 Select(V mask, const Corner4& ifSet, const Corner4& otherwise) {
    return Corner4{Select(mask, ifSet.x, otherwise.x), Select(mask, ifSet.y, otherwise.y),
                   Select(mask, ifSet.depth, otherwise.depth), Select(mask, ifSet.shade, otherwise.shade)};
}
// Exchanges a and b in the lanes of mask.
inline void SwapWhere(V mask, Corner4* a, Corner4* b) {
    const Corner4 first = *a;
    *a = Select(mask, *b, *a);
    *b = Select(mask, first, *b);
}

// Diff16: a - b modulo 2^16 as a signed 16-bit value, sign-extended.
inline V Diff16(V a, V b) { return _mm_srai_epi32(_mm_slli_epi32(_mm_sub_epi32(a, b), 16), 16); }
// The exact product of the low 16 bits of a and b, each read as signed.
inline V Mul16(V a, V b) { return _mm_madd_epi16(a, _mm_and_si128(b, _mm_set1_epi32(0xFFFF))); }
inline V Shl16Add(V v, int32_t add) { return _mm_add_epi32(_mm_slli_epi32(v, 16), _mm_set1_epi32(add)); }
// Saturated to 16 bits and sign-extended again.
inline V SatS16(V v) {
    const V packed = _mm_packs_epi32(v, v);
    return _mm_srai_epi32(_mm_unpacklo_epi16(packed, packed), 16);
}
inline V LessOrEqual(V a, V b) { return _mm_xor_si128(_mm_cmpgt_epi32(a, b), _mm_set1_epi32(-1)); }

// Corner k of triangles i..i+3: the first four fields and the shade of each
// screen vertex, transposed into lanes.
inline Corner4 LoadCorner(const ScreenVertex* const v[4]) {
    const V r0 = _mm_loadu_si128(reinterpret_cast<const V*>(v[0]));
    const V r1 = _mm_loadu_si128(reinterpret_cast<const V*>(v[1]));
    const V r2 = _mm_loadu_si128(reinterpret_cast<const V*>(v[2]));
    const V r3 = _mm_loadu_si128(reinterpret_cast<const V*>(v[3]));
    const V xy01 = _mm_unpacklo_epi32(r0, r1), xy23 = _mm_unpacklo_epi32(r2, r3);
    const V zc01 = _mm_unpackhi_epi32(r0, r1), zc23 = _mm_unpackhi_epi32(r2, r3);
    const V shade = _mm_set_epi32(v[3]->shade, v[2]->shade, v[1]->shade, v[0]->shade);
    return Corner4{_mm_unpacklo_epi64(xy01, xy23), _mm_unpackhi_epi64(xy01, xy23), _mm_unpacklo_epi64(zc01, zc23),
                   shade};
}

// Every corner inside x 1..width-2, y 0..height-1 (CornersInside).
inline V Inside(const FrameBuffer& fb, const Corner4& a, const Corner4& b, const Corner4& c) {
    const uint32_t columns = fb.width >= 2 ? static_cast<uint32_t>(fb.width - 2) : 0u;
    const uint32_t rows = fb.height >= 0 ? static_cast<uint32_t>(fb.height) : 0u;
    // Unsigned v < limit as signed compares of both biased by 2^31.
    const V bias = _mm_set1_epi32(INT32_MIN);
    const V columnLimit = _mm_xor_si128(_mm_set1_epi32(static_cast<int32_t>(columns)), bias);
    const V rowLimit = _mm_xor_si128(_mm_set1_epi32(static_cast<int32_t>(rows)), bias);
    const auto inside = [&](const Corner4& v) {
        const V column = _mm_xor_si128(_mm_sub_epi32(v.x, _mm_set1_epi32(1)), bias);
        const V row = _mm_xor_si128(v.y, bias);
        return _mm_and_si128(_mm_cmplt_epi32(column, columnLimit), _mm_cmplt_epi32(row, rowLimit));
    };
    return _mm_and_si128(_mm_and_si128(inside(a), inside(b)), inside(c));
}

struct Sorted4 {
    Corner4 top, middle, bottom;
};

// SortByRow lane by lane, with its tie order.
inline Sorted4 SortByRow(const Corner4& a, const Corner4& b, const Corner4& c) {
    const V ab = LessOrEqual(a.y, b.y), ac = LessOrEqual(a.y, c.y), bc = LessOrEqual(b.y, c.y);
    Sorted4 o{Select(ab, Select(ac, a, c), Select(bc, b, c)), Select(_mm_and_si128(ab, ac), c, a),
              Select(_mm_andnot_si128(ab, bc), c, b)};
    SwapWhere(_mm_cmplt_epi32(o.bottom.y, o.middle.y), &o.middle, &o.bottom);
    // A flat top starts from its left corner.
    SwapWhere(_mm_and_si128(_mm_cmpeq_epi32(o.top.y, o.middle.y), _mm_cmpgt_epi32(o.top.x, o.middle.x)), &o.top,
              &o.middle);
    return o;
}

// GradientCross(middle, bottom, top).
inline V Cross(const Sorted4& o) {
    const V bx = Diff16(o.bottom.x, o.top.x), my = Diff16(o.middle.y, o.top.y);
    const V mx = Diff16(o.middle.x, o.top.x), by = Diff16(o.bottom.y, o.top.y);
    return _mm_sub_epi32(Mul16(bx, my), Mul16(mx, by));
}

// 0x7FFFFFFF / cross truncated, two lanes per double division, as
// ComputeGradientFactors takes it (a zero cross divides by 1 instead).
inline V Inverse(V cross) {
    const V divisor = _mm_sub_epi32(cross, _mm_cmpeq_epi32(cross, _mm_setzero_si128()));
    const __m128d numerator = _mm_set1_pd(2147483647.0);
    const V low = _mm_cvttpd_epi32(_mm_div_pd(numerator, _mm_cvtepi32_pd(divisor)));
    const V high = _mm_cvttpd_epi32(_mm_div_pd(numerator, _mm_cvtepi32_pd(_mm_srli_si128(divisor, 8))));
    return _mm_unpacklo_epi64(low, high);
}

// ComputeGradientFactors' integer factor a and fraction f for row difference dy.
inline void Factor(V inverse, V dy, V* a, V* f) {
    const V hi = _mm_srai_epi32(inverse, 16);
    const V lo = _mm_and_si128(inverse, _mm_set1_epi32(0xFFFF));
    const V p = _mm_slli_epi32(Mul16(_mm_srli_epi32(lo, 1), dy), 1);
    *a = SatS16(_mm_add_epi32(Mul16(hi, dy), _mm_srai_epi32(p, 16)));
    *f = _mm_srli_epi32(_mm_and_si128(p, _mm_set1_epi32(0xFFFF)), 1);
}

// WideRowStep lane by lane.
inline V WideRowStep(V dEdge, V q, V perX, V fraction) {
    const V perXHigh = _mm_srai_epi32(perX, 16);
    const V perXLow = _mm_and_si128(perX, _mm_set1_epi32(0xFFFF));
    const V edge = _mm_sub_epi32(Mul16(dEdge, q), Mul16(perXHigh, fraction));
    const V low = _mm_srai_epi32(Mul16(_mm_srli_epi32(perXLow, 1), fraction), 16);
    return _mm_sub_epi32(_mm_slli_epi32(edge, 1), _mm_slli_epi32(low, 2));
}

inline void Put(int32_t out[4], V v) { _mm_store_si128(reinterpret_cast<V*>(out), v); }

// EdgeRowDifferences, the reciprocals and EdgeSlopes; the reciprocals and
// fractions the row steps take are returned in q0, q1, fraction0, fraction1.
inline void EdgeLanes(const Sorted4& o, const Corner4& l, const Corner4& r, SetupLanes* out, V* q0, V* q1, V* fraction0,
                      V* fraction1) {
    const Corner4 &t = o.top, &b = o.bottom;
    *q0 = Reciprocal15Lanes(Diff16(l.y, t.y));
    *q1 = Reciprocal15Lanes(Diff16(l.y, b.y));
    const V q2 = Reciprocal15Lanes(Diff16(r.y, t.y)), q3 = Reciprocal15Lanes(Diff16(r.y, b.y));
    const V upper = Mul16(Diff16(l.x, t.x), *q0), lower = Mul16(Diff16(l.x, b.x), *q1);
    Put(out->leftStep, _mm_slli_epi32(upper, 1));
    Put(out->leftStepLower, _mm_slli_epi32(lower, 1));
    Put(out->rightStep, _mm_slli_epi32(Mul16(Diff16(r.x, t.x), q2), 1));
    Put(out->rightStepLower, _mm_slli_epi32(Mul16(Diff16(r.x, b.x), q3), 1));
    *fraction0 = _mm_and_si128(upper, _mm_set1_epi32(0x7FFF));
    *fraction1 = _mm_and_si128(lower, _mm_set1_epi32(0x7FFF));
    const V one = _mm_set1_epi32(1);
    Put(out->leftX, Shl16Add(t.x, 0xFF00));
    Put(out->leftXAtLeftCorner, Shl16Add(l.x, 0xFF00));
    Put(out->rightX, Shl16Add(_mm_sub_epi32(t.x, one), 0xFF00));
    Put(out->rightXAtRightCorner, Shl16Add(_mm_sub_epi32(r.x, one), 0xFF00));
    Put(out->firstRow, t.y);
    Put(out->leftCornerRow, l.y);
    Put(out->rightCornerRow, r.y);
    Put(out->lastRow, b.y);
}

// The gradient factors, the depth gradient and its row steps.
inline void DepthLanes(const Sorted4& o, const Corner4& l, V cross, V q0, V q1, V fraction0, V fraction1,
                       SetupLanes* out) {
    const Corner4 &t = o.top, &m = o.middle, &b = o.bottom;
    const V inverse = Inverse(cross);
    V a0, a1, f0, f1;
    Factor(inverse, Diff16(t.y, b.y), &a0, &f0);
    Factor(inverse, Diff16(m.y, t.y), &a1, &f1);
    Put(out->a0, a0);
    Put(out->a1, a1);
    const V dm = Diff16(m.depth, t.depth), db = Diff16(b.depth, t.depth);
    const V whole = _mm_add_epi32(Mul16(dm, a0), Mul16(db, a1));
    const V fraction = _mm_add_epi32(Mul16(dm, f0), Mul16(db, f1));
    const V perX = _mm_add_epi32(_mm_slli_epi32(whole, 1), _mm_srai_epi32(fraction, 14));
    Put(out->depthPerX, perX);
    const V upper = WideRowStep(Diff16(l.depth, t.depth), q0, perX, fraction0);
    const V lower = WideRowStep(Diff16(l.depth, b.depth), q1, perX, fraction1);
    Put(out->depthRowSteps[0], upper);
    Put(out->depthRowSteps[1], _mm_add_epi32(upper, perX));
    Put(out->depthRowSteps[2], lower);
    Put(out->depthRowSteps[3], _mm_add_epi32(lower, perX));
    Put(out->leftDepth, _mm_slli_epi32(t.depth, 16));
    Put(out->depthAtLeftCorner, _mm_slli_epi32(l.depth, 16));
}

}  // namespace lanes

// The set-up of the four triangles `corners[lane]` (a, b, c each) in the
// lanes of *out, as DrawTriangleOf sets one up for the untextured fills.
#if defined(__GNUC__) || defined(__clang__)
__attribute__((always_inline))
#endif
inline void
SetupFourTriangles(const FrameBuffer& fb, const ScreenVertex* const corners[3][4], SetupLanes* out) {
    using namespace lanes;
    const Corner4 a = LoadCorner(corners[0]), b = LoadCorner(corners[1]), c = LoadCorner(corners[2]);
    const Sorted4 o = SortByRow(a, b, c);
    const V cross = Cross(o);
    const V zero = _mm_setzero_si128();
    Put(out->draw, _mm_andnot_si128(_mm_cmpeq_epi32(cross, zero), Inside(fb, a, b, c)));
    // cross > 0: the middle corner lies left of the long edge.
    const V middleLeft = _mm_cmpgt_epi32(cross, zero);
    Corner4 left = Select(middleLeft, o.middle, o.bottom), right = Select(middleLeft, o.bottom, o.middle);
    SwapWhere(_mm_and_si128(_mm_cmpeq_epi32(left.y, right.y), _mm_cmpgt_epi32(left.x, right.x)), &left, &right);
    V q0, q1, fraction0, fraction1;
    EdgeLanes(o, left, right, out, &q0, &q1, &fraction0, &fraction1);
    DepthLanes(o, left, cross, q0, q1, fraction0, fraction1, out);
    Put(out->q0, q0);
    Put(out->q1, q1);
    Put(out->fraction0, fraction0);
    Put(out->fraction1, fraction1);
    Put(out->topShade, o.top.shade);
    Put(out->middleShade, o.middle.shade);
    Put(out->bottomShade, o.bottom.shade);
    Put(out->leftShade, left.shade);
}

}  // namespace

// SetupFourTriangles compiled for AVX2 processors (setup_lanes_avx2.cpp).
void SetupFourTrianglesAvx2(const FrameBuffer& fb, const ScreenVertex* const corners[3][4], SetupLanes* out);

}  // namespace raster
