// One triangle from its corners to its fill, written once over a path: the
// path supplies the kernels (the members of RasterKernels, as function
// pointers or as static functions), so that each path's own instance calls
// its kernels directly and the compiler can inline them. Internal to
// src/render.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "core/texture.h"
#include "render/rasteriser.h"
#include "render/rasteriser_internal.h"

namespace raster {

// Every corner inside the drawable area (x 1..width-2, y 0..height-1): one
// unsigned range test per coordinate, combined without branches, since
// the corners' order along either axis is as good as random.
inline bool CornersInside(const FrameBuffer& fb, const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
    // x - 1 below width - 2 (none for a buffer under 3 columns), y below height.
    const uint32_t columns = fb.width >= 2 ? static_cast<uint32_t>(fb.width - 2) : 0u;
    const uint32_t rows = fb.height >= 0 ? static_cast<uint32_t>(fb.height) : 0u;
    const auto inside = [&](const ScreenVertex& v) {
        return static_cast<int>(static_cast<uint32_t>(v.screenX) - 1u < columns) &
               static_cast<int>(static_cast<uint32_t>(v.screenY) < rows);
    };
    return (inside(a) & inside(b) & inside(c)) != 0;
}

struct SortedCorners {
    const ScreenVertex *top, *middle, *bottom;
};

// Sorts by row into top, middle and bottom. The tie order decides which
// corner plays which part, so it is kept exactly. (Plain pointers, not a
// record swapped in memory, so the sort stays in registers.)
inline SortedCorners SortByRow(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
    const ScreenVertex *top, *middle, *bottom;
    if (a.screenY <= b.screenY) {
        top = a.screenY <= c.screenY ? &a : &c;
        middle = a.screenY <= c.screenY ? &c : &a;
        bottom = &b;
    } else if (b.screenY <= c.screenY) {
        top = &b, middle = &a, bottom = &c;
    } else {
        top = &c, middle = &a, bottom = &b;
    }
    if (bottom->screenY < middle->screenY) std::swap(middle, bottom);
    // A flat top starts from its left corner.
    if (top->screenY == middle->screenY && top->screenX > middle->screenX) std::swap(top, middle);
    return SortedCorners{top, middle, bottom};
}

inline bool UsesTexturedFill(bool textured, const Texture* texture) {
    return textured && texture && texture->pixels && texture->width > 0 && texture->height > 0;
}

// The reciprocal inputs: left - top, left - bottom, right - top, right -
// bottom rows.
inline void EdgeRowDifferences(const ScreenVertex& l, const ScreenVertex& r, const ScreenVertex& t,
                               const ScreenVertex& b, int16_t d[4]) {
    d[0] = Diff16(l.screenY, t.screenY);
    d[1] = Diff16(l.screenY, b.screenY);
    d[2] = Diff16(r.screenY, t.screenY);
    d[3] = Diff16(r.screenY, b.screenY);
}

// The slopes of the four edges (leftStep, leftStepLower, rightStep,
// rightStepLower) from the reciprocals q of EdgeRowDifferences, and the left
// slopes' 15-bit fractions; the walk's start values and corner rows.
inline void EdgeSlopes(RasterSetup& s, const ScreenVertex& l, const ScreenVertex& r, const ScreenVertex& t,
                       const ScreenVertex& b, const int16_t q[4], int16_t fraction[2]) {
    const int32_t upper = Diff16(l.screenX, t.screenX) * q[0];
    const int32_t lower = Diff16(l.screenX, b.screenX) * q[1];
    s.leftStep = Shl(upper, 1);
    s.leftStepLower = Shl(lower, 1);
    s.rightStep = Shl(Diff16(r.screenX, t.screenX) * q[2], 1);
    s.rightStepLower = Shl(Diff16(r.screenX, b.screenX) * q[3], 1);
    fraction[0] = static_cast<int16_t>(upper & 0x7FFF);
    fraction[1] = static_cast<int16_t>(lower & 0x7FFF);
    // Left x starts 255/256 right of the corner and right x 1/256 left of
    // it: a pixel is drawn when its position plus 1/256 lies in (left, right].
    s.leftX = Shl(t.screenX, 16) + 0xFF00;
    s.leftXAtLeftCorner = Shl(l.screenX, 16) + 0xFF00;
    s.rightX = Shl(t.screenX - 1, 16) + 0xFF00;
    s.rightXAtRightCorner = Shl(r.screenX - 1, 16) + 0xFF00;
    s.firstRow = t.screenY;
    s.leftCornerRow = l.screenY;
    s.rightCornerRow = r.screenY;
    s.lastRow = b.screenY;
}

// Whether the walk set up by EdgeSlopes draws a span on any row below
// endRow (lastRow, or lastRow + 1 for the textured fill): the edge walk of
// WalkRows alone.
inline bool AnyRowSpan(const RasterSetup& s, int32_t endRow) {
    EdgeWalk e = StartEdges(s);
    int32_t y = s.firstRow;
    do {
        EnterRow(&e, y);
        uint32_t first, last;
        if (RowSpan(e, &first, &last)) return true;
        StepEdges(&e);
        ++y;
    } while (y < endRow);
    return false;
}

// Whether the corners lie on one line, tested before they are sorted. In a
// frame buffer under 32768 pixels a side the corners of a drawable triangle
// differ by less than 2^15 on each axis, so this cross is exact and zero
// exactly when the sorted corners' GradientCross is; corners outside the
// frame buffer draw nothing either way.
inline bool CollinearCorners(const FrameBuffer& fb, const ScreenVertex& a, const ScreenVertex& b,
                             const ScreenVertex& c) {
    if (fb.width > 32768 || fb.height > 32768) return false;
    const int32_t abx = SubWrap(b.screenX, a.screenX), aby = SubWrap(b.screenY, a.screenY);
    const int32_t acx = SubWrap(c.screenX, a.screenX), acy = SubWrap(c.screenY, a.screenY);
    return MulWrap(abx, acy) == MulWrap(acx, aby);
}

// A path of named kernels, each called directly.
template <void (*Reciprocal15)(const int16_t*, int16_t*),
          int32_t (*SetupGradients)(RasterSetup&, const ScreenVertex&, const ScreenVertex&, const ScreenVertex&,
                                    EdgeSetupMode),
          void (*SetupEdges)(RasterSetup&, const ScreenVertex&, const ScreenVertex&, const ScreenVertex&, EdgeSetupMode,
                             const int16_t*, const int16_t*),
          void (*FillGouraud)(RasterSetup&), void (*FillTransparent)(RasterSetup&, uint32_t),
          void (*FillTextured)(RasterSetup&, uint32_t)>
struct DirectPath {
    static void reciprocal15(const int16_t in[4], int16_t out[4]) { Reciprocal15(in, out); }
    static int32_t setupGradients(RasterSetup& s, const ScreenVertex& m, const ScreenVertex& b, const ScreenVertex& t,
                                  EdgeSetupMode mode) {
        return SetupGradients(s, m, b, t, mode);
    }
    static void setupEdges(RasterSetup& s, const ScreenVertex& l, const ScreenVertex& t, const ScreenVertex& b,
                           EdgeSetupMode mode, const int16_t q[4], const int16_t fraction[2]) {
        SetupEdges(s, l, t, b, mode, q, fraction);
    }
    static void fillGouraud(RasterSetup& s) { FillGouraud(s); }
    static void fillTransparent(RasterSetup& s, uint32_t filter) { FillTransparent(s, filter); }
    static void fillTextured(RasterSetup& s, uint32_t filter) { FillTextured(s, filter); }
};

// The fill of a set-up triangle; `texturedFill` is UsesTexturedFill's answer.
template <class Path>
void RunFill(const Path& path, RasterSetup& s, const Material& material, bool texturedFill, const Texture* texture) {
    const bool transparent = (material.materialFlags & MaterialTransparent) != 0;
    const uint32_t filter = transparent ? static_cast<uint32_t>(material.transparency) : 0;
    if (texturedFill) {
        s.textureHeight = texture->height;
        s.textureWidth = texture->width;
        s.texturePixels = texture->pixels;
        path.fillTextured(s, filter);
    } else if (transparent) {
        path.fillTransparent(s, filter);
    } else {
        path.fillGouraud(s);
    }
}

// DrawTriangleWith with the kernels of `path`; a triangle that covers no
// pixel skips its sort, set-up and walk when skipEmpty is set.
template <class Path>
void DrawTriangleOf(const Path& path, FrameBuffer* fb, const ScreenVertex& a, const ScreenVertex& b,
                    const ScreenVertex& c, const Material& material, bool textured, const Texture* texture,
                    bool skipEmpty) {
    // A third of a groom's triangles have no area (ribbons narrower than a
    // pixel): they leave before the sort's branches.
    if (skipEmpty && CollinearCorners(*fb, a, b, c)) return;
    if (!CornersInside(*fb, a, b, c)) return;
    const SortedCorners o = SortByRow(a, b, c);
    const int32_t cross = GradientCross(*o.middle, *o.bottom, *o.top);
    if (cross == 0) return;

    // cross > 0: the middle corner lies left of the long edge.
    const ScreenVertex* left = cross > 0 ? o.middle : o.bottom;
    const ScreenVertex* right = cross > 0 ? o.bottom : o.middle;
    if (left->screenY == right->screenY && left->screenX > right->screenX) std::swap(left, right);

    RasterSetup s;
    int16_t d[4], q[4], fraction[2];
    EdgeRowDifferences(*left, *right, *o.top, *o.bottom, d);
    path.reciprocal15(d, q);
    EdgeSlopes(s, *left, *right, *o.top, *o.bottom, q, fraction);
    // The textured fill also draws the bottom corner's row, as the
    // reference's textured triangles always have: a textured flat-bottomed
    // triangle covers one row more than a Gouraud one.
    const bool texturedFill = UsesTexturedFill(textured, texture);
    if (skipEmpty && !AnyRowSpan(s, texturedFill ? s.lastRow + 1 : s.lastRow)) return;  // covers no pixel

    // Texture gradients and row steps only for the fill that reads them.
    const EdgeSetupMode mode = texturedFill ? EdgeColourAndTexture : EdgeColour;
    path.setupGradients(s, *o.middle, *o.bottom, *o.top, mode);
    path.setupEdges(s, *left, *o.top, *o.bottom, mode, q, fraction);
    s.rowBytes = fb->width * 4;
    s.rowPointer = fb->workPixels + static_cast<ptrdiff_t>(o.top->screenY) * fb->width;
    RunFill(path, s, material, texturedFill, texture);
}

}  // namespace raster
