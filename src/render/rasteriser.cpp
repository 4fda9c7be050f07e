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

using namespace raster;

namespace {

RasterSetup setup;  // one record, rewritten for every triangle
bool pathChosen = false;
RasterPath activePath = RasterScalar;

void ChoosePath() {
    if (pathChosen) return;
    pathChosen = true;
    activePath = (ActiveSimdLevel() >= SimdMmx && MmxPathAvailable()) ? RasterMmx : RasterScalar;
}

bool CornerInside(const FrameBuffer& fb, const MeshVertex& v) {
    return v.screenX >= 1 && v.screenX <= fb.width - 2 && v.screenY >= 0 && v.screenY < fb.height;
}

}  // namespace

RasterPath ActiveRasterPath() {
    ChoosePath();
    return activePath;
}

void SetRasterPath(RasterPath path) {
    pathChosen = true;
    activePath = (path == RasterMmx && MmxPathAvailable()) ? RasterMmx : RasterScalar;
}

int32_t SetupGradients(RasterSetup& s, const MeshVertex& m, const MeshVertex& b, const MeshVertex& t) {
    return ActiveRasterPath() == RasterMmx ? SetupGradientsMmx(s, m, b, t) : SetupGradientsScalar(s, m, b, t);
}
void SetupEdges(RasterSetup& s, const MeshVertex& l, const MeshVertex& r, const MeshVertex& t,
                const MeshVertex& b, int mode) {
    if (ActiveRasterPath() == RasterMmx) {
        SetupEdgesMmx(s, l, r, t, b, mode);
    } else {
        SetupEdgesScalar(s, l, r, t, b, mode);
    }
}
void Reciprocal15(const int16_t in[4], int16_t out[4]) {
    if (ActiveRasterPath() == RasterMmx) {
        Reciprocal15Mmx(in, out);
    } else {
        Reciprocal15Scalar(in, out);
    }
}
void FillGouraud(RasterSetup& s) {
    if (ActiveRasterPath() == RasterMmx) {
        FillGouraudMmx(s);
    } else {
        FillGouraudScalar(s);
    }
}
void FillTransparent(RasterSetup& s, uint32_t filter) {
    if (ActiveRasterPath() == RasterMmx) {
        FillTransparentMmx(s, filter);
    } else {
        FillTransparentScalar(s, filter);
    }
}
void FillTextured(RasterSetup& s, uint32_t filter) {
    if (ActiveRasterPath() == RasterMmx) {
        FillTexturedMmx(s, filter);
    } else {
        FillTexturedScalar(s, filter);
    }
}

void DrawTriangle(FrameBuffer* fb, const MeshVertex& a, const MeshVertex& b, const MeshVertex& c,
                  const Material& material, bool textured, const Texture* texture) {
    if (!CornerInside(*fb, a) || !CornerInside(*fb, b) || !CornerInside(*fb, c)) return;

    // Sort by row into top, middle and bottom. The tie order decides which
    // corner plays which part, so it is kept exactly.
    const MeshVertex *top, *middle, *bottom;
    if (a.screenY <= b.screenY) {
        if (a.screenY <= c.screenY) {
            top = &a, bottom = &b, middle = &c;
        } else {
            top = &c, bottom = &b, middle = &a;
        }
    } else if (b.screenY <= c.screenY) {
        top = &b, bottom = &c, middle = &a;
    } else {
        top = &c, bottom = &b, middle = &a;
    }
    if (bottom->screenY < middle->screenY) std::swap(bottom, middle);
    // A flat top starts from its left corner.
    if (top->screenY == middle->screenY && top->screenX > middle->screenX) std::swap(top, middle);

    RasterSetup& s = setup;
    const int32_t cross = SetupGradients(s, *middle, *bottom, *top);
    if (cross == 0) return;

    // cross > 0: the middle corner lies left of the long edge.
    const MeshVertex* left = cross > 0 ? middle : bottom;
    const MeshVertex* right = cross > 0 ? bottom : middle;
    if (left->screenY == right->screenY && left->screenX > right->screenX) std::swap(left, right);

    SetupEdges(s, *left, *right, *top, *bottom, textured ? 3 : 2);

    // Left x starts 255/256 right of the corner and right x 1/256 left of
    // it: a pixel is drawn when its position plus 1/256 lies in (left, right].
    s.leftX = Shl(top->screenX, 16) + 0xFF00;
    s.leftXAtLeftCorner = Shl(left->screenX, 16) + 0xFF00;
    s.rightX = Shl(top->screenX - 1, 16) + 0xFF00;
    s.rightXAtRightCorner = Shl(right->screenX - 1, 16) + 0xFF00;
    s.rowBytes = fb->width * 4;
    s.rowPointer = fb->workPixels + static_cast<ptrdiff_t>(top->screenY) * fb->width;

    const bool transparent = (material.materialFlags & MaterialTransparent) != 0;
    const uint32_t filter = transparent ? static_cast<uint32_t>(material.transparency) : 0;
    if (textured && texture && texture->pixels && texture->width > 0 && texture->height > 0) {
        s.textureHeight = texture->height;
        s.textureWidth = texture->width;
        s.texturePixels = texture->pixels;
        FillTextured(s, filter);
    } else if (transparent) {
        FillTransparent(s, filter);
    } else {
        FillGouraud(s);
    }
}

// ---- Set-up shared by both paths (32-bit depth and texture arithmetic) ----

bool raster::ComputeGradientFactors(const MeshVertex& m, const MeshVertex& b, const MeshVertex& t,
                                    GradientFactors* g) {
    const int32_t bx = Diff16(b.screenX, t.screenX), my = Diff16(m.screenY, t.screenY);
    const int32_t mx = Diff16(m.screenX, t.screenX), by = Diff16(b.screenY, t.screenY);
    const int32_t cross = Wrap32(static_cast<int64_t>(bx) * my - static_cast<int64_t>(mx) * by);
    g->cross = cross;
    if (cross == 0) return false;
    const int32_t inverse = 0x7FFFFFFF / cross;
    const int32_t hi = Sar(inverse, 16);
    const int32_t lo = inverse & 0xFFFF;
    const int16_t dy[2] = {Diff16(t.screenY, b.screenY), Diff16(m.screenY, t.screenY)};
    int16_t a[2], f[2];
    for (int i = 0; i < 2; ++i) {
        const int32_t p = 2 * (lo >> 1) * dy[i];  // |p| < 2^31: 15 bits times 16 bits, doubled
        a[i] = SatS16(hi * dy[i] + Sar(p, 16));
        f[i] = static_cast<int16_t>((p & 0xFFFF) >> 1);
    }
    g->a0 = a[0], g->a1 = a[1], g->f0 = f[0], g->f1 = f[1];
    return true;
}

int32_t raster::PlaneGradient(int16_t dMiddle, int16_t dBottom, const GradientFactors& g) {
    const int32_t whole = Wrap32(static_cast<int64_t>(dMiddle) * g.a0 + static_cast<int64_t>(dBottom) * g.a1);
    const int32_t fraction = Wrap32(static_cast<int64_t>(dMiddle) * g.f0 + static_cast<int64_t>(dBottom) * g.f1);
    return Add32(Shl(whole, 1), Sar(fraction, 14));
}

void raster::SetupWideGradients(RasterSetup& s, const MeshVertex& m, const MeshVertex& b,
                                const MeshVertex& t, const GradientFactors& g) {
    s.depthPerX = PlaneGradient(Diff16(m.depth, t.depth), Diff16(b.depth, t.depth), g);
    s.texPerX[0] = PlaneGradient(Diff16(m.texV, t.texV), Diff16(b.texV, t.texV), g);
    s.texPerX[1] = PlaneGradient(Diff16(m.texU, t.texU), Diff16(b.texU, t.texU), g);
}

int32_t raster::WideRowStep(int16_t dEdge, int16_t q, int32_t perX, int16_t fraction) {
    const int32_t perXHigh = Sar(perX, 16);
    const int32_t perXLow = perX & 0xFFFF;
    const int32_t edge = Wrap32(static_cast<int64_t>(dEdge) * q - static_cast<int64_t>(perXHigh) * fraction);
    const int32_t low = ((perXLow >> 1) * fraction) >> 16;  // both 15-bit: no overflow
    return Wrap32(2 * static_cast<int64_t>(edge) - 4 * static_cast<int64_t>(low));
}

void raster::EdgeRowDifferences(const MeshVertex& l, const MeshVertex& r, const MeshVertex& t,
                                const MeshVertex& b, int16_t d[4]) {
    d[0] = Diff16(l.screenY, t.screenY);
    d[1] = Diff16(l.screenY, b.screenY);
    d[2] = Diff16(r.screenY, t.screenY);
    d[3] = Diff16(r.screenY, b.screenY);
}

void raster::SetupEdgesWide(RasterSetup& s, const MeshVertex& l, const MeshVertex& r,
                            const MeshVertex& t, const MeshVertex& b, int mode, const int16_t q[4],
                            int16_t fraction[2]) {
    const int32_t upper = Diff16(l.screenX, t.screenX) * q[0];
    const int32_t lower = Diff16(l.screenX, b.screenX) * q[1];
    s.leftStep = Shl(upper, 1);
    s.leftStepLower = Shl(lower, 1);
    s.rightStep = Shl(Diff16(r.screenX, t.screenX) * q[2], 1);
    s.rightStepLower = Shl(Diff16(r.screenX, b.screenX) * q[3], 1);
    fraction[0] = static_cast<int16_t>(upper & 0x7FFF);
    fraction[1] = static_cast<int16_t>(lower & 0x7FFF);

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
    s.firstRow = t.screenY;
    s.leftCornerRow = l.screenY;
    s.rightCornerRow = r.screenY;
    s.lastRow = b.screenY;
    s.halfIndex = 0;
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

int32_t SetupGradientsScalar(RasterSetup& s, const MeshVertex& m, const MeshVertex& b, const MeshVertex& t) {
    GradientFactors g;
    if (!ComputeGradientFactors(m, b, t, &g)) return 0;
    for (int lane = 0; lane < 4; ++lane) {
        const int32_t dm = (ShadeByte(m.shade, lane) - ShadeByte(t.shade, lane)) * 128;
        const int32_t db = (ShadeByte(b.shade, lane) - ShadeByte(t.shade, lane)) * 128;
        // Each product is below 2^30 in magnitude, so the sum fits.
        s.colourPerX[lane] = SatS16(Sar(dm * g.a0 + db * g.a1, 15));
    }
    SetupWideGradients(s, m, b, t, g);
    return g.cross;
}

void SetupEdgesScalar(RasterSetup& s, const MeshVertex& l, const MeshVertex& r, const MeshVertex& t,
                      const MeshVertex& b, int mode) {
    int16_t d[4], q[4], fraction[2];
    EdgeRowDifferences(l, r, t, b, d);
    Reciprocal15Scalar(d, q);
    SetupEdgesWide(s, l, r, t, b, mode, q, fraction);
    if (mode & 2) {
        for (int lane = 0; lane < 4; ++lane) {
            const int16_t lc = static_cast<int16_t>(ShadeByte(l.shade, lane));
            const int16_t perX = s.colourPerX[lane];
            const int16_t edgeUpper = static_cast<int16_t>((lc - ShadeByte(t.shade, lane)) * 128);
            const int16_t edgeLower = static_cast<int16_t>((lc - ShadeByte(b.shade, lane)) * 128);
            s.colourRowSteps[0][lane] =
                Wrap16(2 * MulHigh(edgeUpper, q[0]) - 2 * MulHigh(fraction[0], perX));
            s.colourRowSteps[1][lane] = Add16(s.colourRowSteps[0][lane], perX);
            s.colourRowSteps[2][lane] =
                Wrap16(2 * MulHigh(edgeLower, q[1]) - 2 * MulHigh(fraction[1], perX));
            s.colourRowSteps[3][lane] = Add16(s.colourRowSteps[2][lane], perX);
            s.colourStart[lane] = static_cast<int16_t>(ShadeByte(t.shade, lane) * 128);
        }
    }
}

namespace {

// The row colour (8.7 minus 0x4000) and texture coordinate the row walk carries.
struct RowState {
    int16_t colour[4];
    int32_t tex[2];
};

void StartRows(const RasterSetup& s, RowState* row) {
    for (int lane = 0; lane < 4; ++lane) row->colour[lane] = Wrap16(s.colourStart[lane] - 0x4000);
    row->tex[0] = s.texStart[0];
    row->tex[1] = s.texStart[1];
}

void StepRow(RasterSetup& s, RowState* row) {
    const int index = AdvanceRow(s);
    for (int lane = 0; lane < 4; ++lane) row->colour[lane] = Add16(row->colour[lane], s.colourRowSteps[index][lane]);
    row->tex[0] = Add32(row->tex[0], s.texRowSteps[index][0]);
    row->tex[1] = Add32(row->tex[1], s.texRowSteps[index][1]);
}

// Span colour: the row colour doubled to biased 8.8, and its per-pixel step.
void SpanColour(const RasterSetup& s, const RowState& row, int16_t colour[4], int16_t step[4]) {
    for (int lane = 0; lane < 4; ++lane) {
        colour[lane] = SatS16(2 * row.colour[lane]);
        step[lane] = SatS16(2 * s.colourPerX[lane]);
    }
}

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

}  // namespace

void FillGouraudScalar(RasterSetup& s) {
    RowState row;
    StartRows(s, &row);
    uint16_t counter = 0;
    int16_t noise[4] = {0, 0, 0, 0};
    int32_t y = s.firstRow;
    s.halfIndex = 0;
    do {
        EnterRow(s, y);
        uint32_t first, last;
        if (RowSpan(s, &first, &last)) {
            int16_t colour[4], step[4];
            SpanColour(s, row, colour, step);
            uint32_t z = static_cast<uint32_t>(s.leftDepth);
            for (WorkPixel* p = s.rowPointer + first; p <= s.rowPointer + last; ++p) {
                if (DepthPasses(z, *p)) {
                    uint16_t o[3];
                    for (int lane = 0; lane < 3; ++lane) {
                        o[lane] = static_cast<uint16_t>(SatS16(colour[lane] + noise[lane]) + 0x8000);
                    }
                    *p = (z & 0xFFFF0000u) | PackRgb565(o[0], o[1], o[2]);
                    // The noise for the next drawn pixel comes from this counter value.
                    DitherNoise(counter, noise);
                    counter = static_cast<uint16_t>(counter + DitherCounterStep);
                }
                z += static_cast<uint32_t>(s.depthPerX);
                for (int lane = 0; lane < 4; ++lane) colour[lane] = SatS16(colour[lane] + step[lane]);
            }
        }
        StepRow(s, &row);
        ++y;
    } while (y < s.lastRow);
}

void FillTransparentScalar(RasterSetup& s, uint32_t filter) {
    const uint16_t filterBytes[3] = {static_cast<uint16_t>(filter & 0xFF),
                                     static_cast<uint16_t>((filter >> 8) & 0xFF),
                                     static_cast<uint16_t>((filter >> 16) & 0xFF)};
    RowState row;
    StartRows(s, &row);
    uint16_t counter = 0;
    int16_t noise[4] = {0, 0, 0, 0};
    int32_t y = s.firstRow;
    s.halfIndex = 0;
    do {
        EnterRow(s, y);
        uint32_t first, last;
        if (RowSpan(s, &first, &last)) {
            int16_t colour[4], step[4];
            SpanColour(s, row, colour, step);
            uint32_t z = static_cast<uint32_t>(s.leftDepth);
            for (WorkPixel* p = s.rowPointer + first; p <= s.rowPointer + last; ++p) {
                if (DepthPasses(z, *p)) {
                    uint16_t lit[4];
                    for (int lane = 0; lane < 4; ++lane) {
                        lit[lane] = static_cast<uint16_t>(SatS16(colour[lane] + noise[lane]) + 0x8000);
                    }
                    const uint16_t coverage = lit[3] >> 8;
                    uint16_t stored[3], o[3];
                    ExpandStored(*p, stored);
                    for (int lane = 0; lane < 3; ++lane) {
                        const int32_t seen = ((stored[lane] * filterBytes[lane]) >> 8) * coverage;
                        o[lane] = SatU16(lit[lane] + seen);
                    }
                    // Depth is not written: what lies behind stays testable.
                    *p = (*p & 0xFFFF0000u) | PackRgb565(o[0], o[1], o[2]);
                    // Unlike the opaque fill, the counter advances before the noise is taken.
                    counter = static_cast<uint16_t>(counter + DitherCounterStep);
                    DitherNoise(counter, noise);
                }
                z += static_cast<uint32_t>(s.depthPerX);
                for (int lane = 0; lane < 4; ++lane) colour[lane] = SatS16(colour[lane] + step[lane]);
            }
        }
        StepRow(s, &row);
        ++y;
    } while (y < s.lastRow);
}

void FillTexturedScalar(RasterSetup& s, uint32_t filter) {
    const uint16_t filterBytes[3] = {static_cast<uint16_t>(filter & 0xFF),
                                     static_cast<uint16_t>((filter >> 8) & 0xFF),
                                     static_cast<uint16_t>((filter >> 16) & 0xFF)};
    RowState row;
    StartRows(s, &row);
    int32_t y = s.firstRow;
    s.halfIndex = 0;
    do {
        EnterRow(s, y);
        uint32_t first, last;
        if (RowSpan(s, &first, &last)) {
            int16_t colour[4], step[4];
            SpanColour(s, row, colour, step);
            uint32_t z = static_cast<uint32_t>(s.leftDepth);
            uint32_t v = static_cast<uint32_t>(row.tex[0]), u = static_cast<uint32_t>(row.tex[1]);
            for (WorkPixel* p = s.rowPointer + first; p <= s.rowPointer + last; ++p) {
                if (DepthPasses(z, *p)) {
                    const uint32_t texel = TexelAt(s, v, u);
                    uint16_t stored[3], o[3];
                    ExpandStored(*p, stored);
                    for (int lane = 0; lane < 3; ++lane) {
                        const uint32_t light = static_cast<uint16_t>(colour[lane] + 0x8000) >> 8;
                        const uint32_t texelByte = (texel >> (8 * lane)) & 0xFF;
                        const int32_t lit = static_cast<int32_t>(((texelByte * light) >> 8) * (255u - filterBytes[lane]));
                        o[lane] = SatU16(lit + stored[lane] * filterBytes[lane]);
                    }
                    *p = (z & 0xFFFF0000u) | PackRgb565(o[0], o[1], o[2]);
                }
                z += static_cast<uint32_t>(s.depthPerX);
                for (int lane = 0; lane < 4; ++lane) colour[lane] = SatS16(colour[lane] + step[lane]);
                v += static_cast<uint32_t>(s.texPerX[0]);
                u += static_cast<uint32_t>(s.texPerX[1]);
            }
        }
        StepRow(s, &row);
        ++y;
    } while (y <= s.lastRow);
}
