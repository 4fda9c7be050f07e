// Fixed-point helpers and the set-up pieces the scalar and the MMX
// rasterisers share (the 32-bit depth and texture arithmetic). Internal to
// src/render.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/int_math.h"
#include "core/mesh.h"
#include "render/rasteriser.h"

namespace raster {

// Wrapping and saturating arithmetic, written out so that no signed
// overflow or negative shift is left to the compiler.
inline int32_t Wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }
inline int32_t Add32(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int16_t Wrap16(int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(v))); }
inline int16_t Add16(int16_t a, int16_t b) { return Wrap16(a + b); }
inline int16_t SatS16(int32_t v) { return static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v); }
inline uint16_t SatU16(int32_t v) { return static_cast<uint16_t>(v < 0 ? 0 : v > 65535 ? 65535 : v); }
inline int32_t Shl(int32_t v, int n) { return static_cast<int32_t>(static_cast<uint32_t>(v) << n); }
// A difference taken modulo 2^16 as a signed 16-bit value.
inline int16_t Diff16(int32_t a, int32_t b) {
    return Wrap16(static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)));
}
// High half of a signed 16 x 16 product.
inline int16_t MulHigh(int16_t a, int16_t b) { return static_cast<int16_t>(ArithmeticShiftRight(a * b, 16)); }
inline int32_t ShadeByte(int32_t shade, int lane) { return (static_cast<uint32_t>(shade) >> (8 * lane)) & 0xFF; }

// The top 5, 6 and 5 bits of unsigned 8.8 blue, green and red.
inline uint32_t PackRgb565(uint16_t blue, uint16_t green, uint16_t red) {
    return (static_cast<uint32_t>(red >> 11) << 11) | (static_cast<uint32_t>(green >> 10) << 5) | (blue >> 11);
}

// Dither amplitudes of blue, green, red, coverage: half a 5-bit step of an
// 8.8 value for blue and red, half a 6-bit step for green.
constexpr int16_t DitherAmplitude[4] = {0x0800, 0x0400, 0x0800, 0};
constexpr uint16_t DitherCounterStep = 101;

// 0x7FFFFFFF / cross split into integer factors A (saturated to 16 bits) and
// 15-bit fractions F for the two row differences T.y - B.y and M.y - T.y:
// A + F / 32768 approximates (0x7FFFFFFF / cross) * dy / 65536.
struct GradientFactors {
    int32_t cross;
    int16_t a0, a1;
    int16_t f0, f1;
};
// The reciprocals of the row differences that small triangles have, signed,
// at d + 1023 for d from -1023 to 1023: one range test and one load, with
// no sign to take off and put back on the chain of a triangle's set-up.
struct ReciprocalTable {
    int16_t q[2047];
};
constexpr int32_t ReciprocalTableReach = 1023;
constexpr ReciprocalTable MakeReciprocalTable() {
    ReciprocalTable t{};
    for (int d = -ReciprocalTableReach; d <= ReciprocalTableReach; ++d) {
        const int m = d < 0 ? -d : d;
        const int q = m == 0 ? 32767 : m == 1 ? 32766 : 32768 / m;
        t.q[d + ReciprocalTableReach] = static_cast<int16_t>(d < 0 ? -q : q);
    }
    return t;
}
inline constexpr ReciprocalTable reciprocalTable = MakeReciprocalTable();

// Above the table one single-precision division is exact: the quotient's
// rounding error stays below 1/magnitude, its distance to the next integer.
#if defined(__GNUC__) || defined(__clang__)
#define QUILLMERE_COLD_PATH __attribute__((noinline, cold))
#else
#define QUILLMERE_COLD_PATH
#endif
QUILLMERE_COLD_PATH inline int16_t ReciprocalBeyondTable(int32_t d) {
    const int32_t magnitude = d < 0 ? -d : d;
    const int32_t q = static_cast<int32_t>(32768.0f / static_cast<float>(magnitude));
    return static_cast<int16_t>(d < 0 ? -q : q);
}

// Reciprocal15Fast's values: from the table within its reach, as small
// triangles need them, which is quicker than a division on a triangle's
// chain of dependent set-up steps.
inline void Reciprocal15Quick(const int16_t in[4], int16_t out[4]) {
    for (int i = 0; i < 4; ++i) {
        const int32_t d = in[i];
        const uint32_t at = static_cast<uint32_t>(d + ReciprocalTableReach);
        out[i] = at < 2 * ReciprocalTableReach + 1 ? reciprocalTable.q[at] : ReciprocalBeyondTable(d);
    }
}

// DrawTriangleWith through the kernels' pointers, always walking a triangle
// that covers no pixel in full: the tests' reference.
void DrawTriangleInFull(const RasterKernels& kernels, FrameBuffer* fb, const ScreenVertex& a, const ScreenVertex& b,
                        const ScreenVertex& c, const Material& material, bool textured, const Texture* texture);

// Low 32 bits of a signed product: what the 32-bit arithmetic keeps.
inline int32_t MulWrap(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
inline int32_t SubWrap(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
// The set-up both paths share: the 32-bit depth and texture arithmetic,
// inline so that each path's set-up is one piece of code.

// The doubled signed area (B - T) x (M - T), wrapping as 32-bit arithmetic.
inline int32_t GradientCross(const ScreenVertex& m, const ScreenVertex& b, const ScreenVertex& t) {
    const int32_t bx = Diff16(b.screenX, t.screenX), my = Diff16(m.screenY, t.screenY);
    const int32_t mx = Diff16(m.screenX, t.screenX), by = Diff16(b.screenY, t.screenY);
    return SubWrap(MulWrap(bx, my), MulWrap(mx, by));
}

// 0x7FFFFFFF / cross truncated (cross not 0), by one double division: the
// quotient's rounding error (below 2^-22 / |cross|) is smaller than its
// distance to the next integer (at least 1 / |cross|), so the truncation is
// exact.
inline int32_t InverseCross(int32_t cross) { return static_cast<int32_t>(2147483647.0 / static_cast<double>(cross)); }

// The inverses of the small areas most triangles have.
struct InverseCrossTable {
    int32_t inverse[1024];
};
constexpr InverseCrossTable MakeInverseCrossTable() {
    InverseCrossTable t{};
    for (int32_t c = 1; c < 1024; ++c) t.inverse[c] = 2147483647 / c;
    return t;
}
inline constexpr InverseCrossTable inverseCrossTable = MakeInverseCrossTable();

// InverseCross from the table below 1024 (truncation is symmetric in the
// sign): quicker than the division on a triangle's chain of set-up steps.
inline int32_t InverseCrossQuick(int32_t cross) {
    const uint32_t magnitude = cross < 0 ? 0u - static_cast<uint32_t>(cross) : static_cast<uint32_t>(cross);
    if (magnitude >= 1024) return InverseCross(cross);
    const int32_t inverse = inverseCrossTable.inverse[magnitude];
    return cross < 0 ? -inverse : inverse;
}

// False for a degenerate triangle (cross 0). Inverse gives 0x7FFFFFFF / cross.
template <int32_t (*Inverse)(int32_t) = InverseCross>
inline bool ComputeGradientFactors(const ScreenVertex& m, const ScreenVertex& b, const ScreenVertex& t,
                                   GradientFactors* g) {
    const int32_t cross = GradientCross(m, b, t);
    g->cross = cross;
    if (cross == 0) return false;
    const int32_t inverse = Inverse(cross);
    const int32_t hi = ArithmeticShiftRight(inverse, 16);
    const int32_t lo = inverse & 0xFFFF;
    const int16_t dy[2] = {Diff16(t.screenY, b.screenY), Diff16(m.screenY, t.screenY)};
    int16_t a[2], f[2];
    for (int i = 0; i < 2; ++i) {
        const int32_t p = 2 * (lo >> 1) * dy[i];  // |p| < 2^31: 15 bits times 16 bits, doubled
        a[i] = SatS16(hi * dy[i] + ArithmeticShiftRight(p, 16));
        f[i] = static_cast<int16_t>((p & 0xFFFF) >> 1);
    }
    g->a0 = a[0], g->a1 = a[1], g->f0 = f[0], g->f1 = f[1];
    return true;
}

// A 16.16 plane gradient from the attribute differences M - T and B - T.
inline int32_t PlaneGradient(int16_t dMiddle, int16_t dBottom, const GradientFactors& g) {
    // Wrapping 32-bit sums: each 16 x 16 product fits, their sum may not.
    const int32_t whole = Add32(dMiddle * g.a0, dBottom * g.a1);
    const int32_t fraction = Add32(dMiddle * g.f0, dBottom * g.f1);
    return Add32(Shl(whole, 1), ArithmeticShiftRight(fraction, 14));
}

// Depth and, for the textured fill only, texture gradients (the colour
// lanes are path-specific).
inline void SetupWideGradients(RasterSetup& s, const ScreenVertex& m, const ScreenVertex& b, const ScreenVertex& t,
                               const GradientFactors& g, EdgeSetupMode mode) {
    s.depthPerX = PlaneGradient(Diff16(m.depth, t.depth), Diff16(b.depth, t.depth), g);
    if (!(mode & 1)) return;
    s.texPerX[0] = PlaneGradient(Diff16(m.texV, t.texV), Diff16(b.texV, t.texV), g);
    s.texPerX[1] = PlaneGradient(Diff16(m.texU, t.texU), Diff16(b.texU, t.texU), g);
}

// Row step of a 16.16 attribute along an edge of difference `dEdge` with
// reciprocal q, corrected by perX times the edge's 15-bit slope fraction.
inline int32_t WideRowStep(int16_t dEdge, int16_t q, int32_t perX, int16_t fraction) {
    const int32_t perXHigh = ArithmeticShiftRight(perX, 16);
    const int32_t perXLow = perX & 0xFFFF;
    const int32_t edge = SubWrap(dEdge * q, perXHigh * fraction);
    const int32_t low = ((perXLow >> 1) * fraction) >> 16;  // both 15-bit: no overflow
    return SubWrap(MulWrap(edge, 2), MulWrap(low, 4));
}

// Everything of SetupEdges except the colour lanes: the depth and texture
// row steps and start values.
inline void SetupEdgesWide(RasterSetup& s, const ScreenVertex& l, const ScreenVertex& t, const ScreenVertex& b,
                           EdgeSetupMode mode, const int16_t q[4], const int16_t fraction[2]) {
    s.depthRowSteps[0] = WideRowStep(Diff16(l.depth, t.depth), q[0], s.depthPerX, fraction[0]);
    s.depthRowSteps[1] = Add32(s.depthRowSteps[0], s.depthPerX);
    s.depthRowSteps[2] = WideRowStep(Diff16(l.depth, b.depth), q[1], s.depthPerX, fraction[1]);
    s.depthRowSteps[3] = Add32(s.depthRowSteps[2], s.depthPerX);
    s.leftDepth = Shl(t.depth, 16);
    s.depthAtLeftCorner = Shl(l.depth, 16);

    if (mode & 1) {
        const int32_t lv[2] = {l.texV, l.texU}, tv[2] = {t.texV, t.texU}, bv[2] = {b.texV, b.texU};
        for (int k = 0; k < 2; ++k) {
            s.texRowSteps[0][k] = WideRowStep(Diff16(lv[k], tv[k]), q[0], s.texPerX[k], fraction[0]);
            s.texRowSteps[1][k] = Add32(s.texRowSteps[0][k], s.texPerX[k]);
            s.texRowSteps[2][k] = WideRowStep(Diff16(lv[k], bv[k]), q[1], s.texPerX[k], fraction[1]);
            s.texRowSteps[3][k] = Add32(s.texRowSteps[2][k], s.texPerX[k]);
            s.texStart[k] = Shl(tv[k], 16);
        }
    }
}

// The two edges' x positions and slopes while the rows are walked. Kept in
// a local record, so that the compiler holds them in registers while the
// fills write pixels (a pixel store could otherwise alias a set-up field).
struct EdgeWalk {
    int32_t leftX, rightX, leftStep, rightStep;
    // Where each edge turns at its middle corner, and how it goes on.
    int32_t leftCornerRow, leftXAtLeftCorner, leftStepLower;
    int32_t rightCornerRow, rightXAtRightCorner, rightStepLower;
};

inline EdgeWalk StartEdges(const RasterSetup& s) {
    return EdgeWalk{s.leftX,         s.rightX,         s.leftStep,
                    s.rightStep,     s.leftCornerRow,  s.leftXAtLeftCorner,
                    s.leftStepLower, s.rightCornerRow, s.rightXAtRightCorner,
                    s.rightStepLower};
}

// The corner switches at the start of a row; true when the left edge turned
// at its corner (the walk's depth then restarts from that corner).
inline bool EnterRow(EdgeWalk* e, int32_t row) {
    if (row == e->rightCornerRow) {
        e->rightX = e->rightXAtRightCorner;
        e->rightStep = e->rightStepLower;
    }
    if (row != e->leftCornerRow) return false;
    e->leftStep = e->leftStepLower;
    e->leftX = e->leftXAtLeftCorner;
    return true;
}

// Moves both edges to the next row; returns the carry of the left edge's
// fraction, which picks the row step of the values carried along it (an
// unsigned index, so that the row steps are addressed without widening it).
inline size_t StepEdges(EdgeWalk* e) {
    e->leftX = Add32(e->leftX, e->leftStep);
    e->rightX = Add32(e->rightX, e->rightStep);
    // The fractions' sum wrapped exactly when it ends below the step's.
    return static_cast<uint16_t>(e->leftX) < static_cast<uint16_t>(e->leftStep);
}

// First and last column of the current row; false when the span is empty.
// The test needs neither shift: the right column is at least the left one
// exactly when the right position with all its fraction bits set is at least
// the left position, so an empty row (most rows of a thin triangle) leaves
// after one or and one compare.
inline bool RowSpan(const EdgeWalk& e, uint32_t* first, uint32_t* last) {
    *first = static_cast<uint32_t>(e.leftX) >> 16;
    *last = static_cast<uint32_t>(e.rightX) >> 16;
    return (static_cast<uint32_t>(e.rightX) | 0xFFFFu) >= static_cast<uint32_t>(e.leftX);
}

// The pixel's depth half beats the stored one (strictly nearer). Comparing
// with the whole stored pixel gives the same answer, since the stored colour
// bits are below the depth's: the depth half, which the fills write anyway,
// is the only value to form.
inline bool DepthPasses(uint32_t z, WorkPixel stored) { return (z & 0xFFFF0000u) > stored; }

// Texel address: coordinates wrap with a period of 32768 units. The products
// are unsigned 32-bit, wide enough for every accepted size (up to 65500).
inline uint32_t TexelAt(const RasterSetup& s, uint32_t v, uint32_t u) {
    const uint32_t vw = (v >> 16) & 0x7FFF;
    const uint32_t uw = (u >> 16) & 0x7FFF;
    const uint32_t row = (2 * vw * static_cast<uint32_t>(s.textureHeight)) >> 16;
    const uint32_t column = (2 * uw * static_cast<uint32_t>(s.textureWidth)) >> 16;
    return s.texturePixels[static_cast<uint64_t>(row) * static_cast<uint32_t>(s.textureWidth) + column];
}

// The row walk of every fill of both paths. Cursor is the path's way of
// carrying the row colour and texture coordinate (Row: StartRows, StepRow)
// and the values along a span (Span: StartSpan from the row's depth,
// StepPixel); Kernel draws one pixel that passed the depth test and says
// whether it needs the texture coordinate. Rows run from firstRow while
// below endRow. The kernel is a copy of its own: a pixel store could alias
// the caller's record, and the dither state must stay in registers.
template <class Cursor, class Kernel>
void WalkRows(const RasterSetup& s, Kernel kernel, int32_t endRow) {
    typename Cursor::Row row;
    Cursor::StartRows(s, &row);
    EdgeWalk e = StartEdges(s);
    int32_t depth = s.leftDepth;
    size_t halfIndex = 0;
    WorkPixel* rowPixels = s.rowPointer;
    const ptrdiff_t rowStride = ArithmeticShiftRight(s.rowBytes, 2);  // rowBytes is a whole number of pixels
    int32_t y = s.firstRow;
    do {
        if (EnterRow(&e, y)) {
            depth = s.depthAtLeftCorner;
            halfIndex = 2;
        }
        uint32_t first, last;
        if (RowSpan(e, &first, &last)) {
            typename Cursor::Span span = Cursor::StartSpan(s, static_cast<uint32_t>(depth), row);
            // The span holds at least its first pixel: no test before it.
            WorkPixel* p = rowPixels + first;
            WorkPixel* const end = rowPixels + last;
            for (;;) {
                if (DepthPasses(span.z, *p)) kernel.Draw(p, span);
                if (p == end) break;
                Cursor::template StepPixel<Kernel::Textured>(s, &span);
                ++p;
            }
        }
        const size_t index = halfIndex + StepEdges(&e);
        depth = Add32(depth, s.depthRowSteps[index]);
        rowPixels += rowStride;
        Cursor::template StepRow<Kernel::Textured>(s, index, &row);
        ++y;
    } while (y < endRow);
}

}  // namespace raster
