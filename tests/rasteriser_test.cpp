#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/texture.h"
#include "render/rasteriser.h"
#include "render/rasteriser_internal.h"
#include "support/render_helpers.h"

namespace {

enum Fill { Gouraud, Transparent, Textured };
const char* FillName(Fill f) { return f == Gouraud ? "gouraud" : f == Transparent ? "transparent" : "textured"; }

uint32_t whiteTexel = 0xFFFFFF;
Texture whiteTexture{&whiteTexel, 1, 1};

void Draw(OwnedFrameBuffer& target, Fill fill, const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
    const Material material = fill == Transparent ? TransparentMaterial(0) : OpaqueMaterial();
    DrawTriangle(&target.fb, a, b, c, material, fill == Textured, &whiteTexture);
}

// Columns drawn on one row (pixels whose depth left the background).
std::vector<int> DrawnColumns(OwnedFrameBuffer& target, int row, uint32_t background = 0) {
    std::vector<int> columns;
    for (int x = 0; x < target.fb.width; ++x) {
        if (target.At(x, row) != background) columns.push_back(x);
    }
    return columns;
}

std::vector<int> Range(int first, int last) {
    std::vector<int> r;
    for (int x = first; x <= last; ++x) r.push_back(x);
    return r;
}

struct RowCase {
    const char* name;
    Fill fill;
    int corners[3][2];
    int row;
    std::vector<int> columns;
};

TEST(Rasteriser, CoverageFollowsTheFillRule) {
    const RowCase cases[] = {
        {"top corner row empty", Gouraud, {{2, 1}, {20, 5}, {6, 13}}, 1, {}},
        {"second row", Gouraud, {{2, 1}, {20, 5}, {6, 13}}, 2, Range(3, 6)},
        {"next to last row", Gouraud, {{2, 1}, {20, 5}, {6, 13}}, 12, Range(6, 7)},
        {"bottom corner row empty", Gouraud, {{2, 1}, {20, 5}, {6, 13}}, 13, {}},
        {"corner order does not matter", Gouraud, {{6, 13}, {2, 1}, {20, 5}}, 2, Range(3, 6)},
        {"flat top row", Gouraud, {{15, 3}, {5, 3}, {10, 10}}, 3, Range(5, 14)},
        {"flat top last drawn row", Gouraud, {{5, 3}, {15, 3}, {10, 10}}, 9, {10}},
        {"flat top bottom row", Gouraud, {{5, 3}, {15, 3}, {10, 10}}, 10, {}},
        {"flat bottom, opaque", Gouraud, {{10, 2}, {4, 9}, {16, 9}}, 9, {}},
        {"flat bottom, transparent", Transparent, {{10, 2}, {4, 9}, {16, 9}}, 9, {}},
        {"flat bottom, textured draws it", Textured, {{10, 2}, {16, 9}, {4, 9}}, 9, Range(4, 15)},
        {"textured, pointed bottom row has no span", Textured, {{2, 1}, {20, 5}, {6, 13}}, 13, {}},
        {"vertical left edge included", Gouraud, {{5, 2}, {5, 12}, {15, 12}}, 11, Range(5, 13)},
        {"vertical right edge excluded", Gouraud, {{15, 2}, {15, 12}, {5, 12}}, 11, Range(6, 14)},
        {"degenerate: corners on a line", Gouraud, {{2, 2}, {6, 4}, {10, 6}}, 4, {}},
        {"degenerate: one row", Textured, {{2, 4}, {6, 4}, {10, 4}}, 4, {}},
    };
    for (SimdLevel level : AvailableLevels()) {
        LevelScope scope(level);
        for (const RowCase& c : cases) {
            OwnedFrameBuffer target(40, 30);
            Draw(target, c.fill, Corner(c.corners[0][0], c.corners[0][1]), Corner(c.corners[1][0], c.corners[1][1]),
                 Corner(c.corners[2][0], c.corners[2][1]));
            EXPECT_EQ(DrawnColumns(target, c.row), c.columns) << c.name << " (" << SimdLevelName(level) << ")";
        }
    }
}

TEST(Rasteriser, DegenerateTrianglesDrawNothingAnywhere) {
    const int lines[][3][2] = {{{2, 2}, {6, 4}, {10, 6}}, {{3, 3}, {3, 3}, {3, 3}}, {{4, 1}, {4, 9}, {4, 20}}};
    for (SimdLevel level : AvailableLevels()) {
        LevelScope scope(level);
        for (const auto& l : lines) {
            for (Fill fill : {Gouraud, Transparent, Textured}) {
                OwnedFrameBuffer target(40, 30);
                Draw(target, fill, Corner(l[0][0], l[0][1]), Corner(l[1][0], l[1][1]), Corner(l[2][0], l[2][1]));
                for (WorkPixel p : target.Work()) ASSERT_EQ(p, 0u) << FillName(fill);
            }
        }
    }
}

TEST(Rasteriser, OnlyTrianglesWithEveryCornerInTheDrawableAreaDraw) {
    OwnedFrameBuffer target(40, 30);
    const int w = target.fb.width, h = target.fb.height;  // drawable: x 1..w-2, y 0..h-1
    const struct {
        int x, y;
        bool drawn;
    } corners[] = {{1, 10, true},          {0, 10, false},        {w - 2, 10, true}, {w - 1, 10, false},
                   {10, 0, true},          {10, -1, false},       {10, h - 1, true}, {10, h, false},
                   {INT32_MIN, 10, false}, {10, INT32_MAX, false}};
    for (SimdLevel level : AvailableLevels()) {
        LevelScope scope(level);
        for (const auto& c : corners) {
            target.Fill(0);
            Draw(target, Gouraud, Corner(c.x, c.y), Corner(20, 12), Corner(24, 40));
            const std::vector<WorkPixel> work = target.Work();
            const bool drawn = std::any_of(work.begin(), work.end(), [](WorkPixel p) { return p != 0; });
            EXPECT_EQ(drawn, c.drawn) << c.x << "," << c.y << " (" << SimdLevelName(level) << ")";
        }
    }
}

TEST(Rasteriser, NeighboursSharingAnEdgeNeverBothDrawAPixel) {
    // Quads split along either diagonal, at several slopes.
    const int quads[][4][2] = {{{3, 2}, {30, 4}, {28, 25}, {2, 20}},
                               {{10, 1}, {35, 12}, {12, 27}, {1, 9}},
                               {{5, 5}, {6, 5}, {33, 26}, {4, 26}}};
    for (SimdLevel level : AvailableLevels()) {
        LevelScope scope(level);
        for (const auto& q : quads) {
            for (int diagonal = 0; diagonal < 2; ++diagonal) {
                const int i0 = diagonal, i1 = diagonal + 1, i2 = diagonal + 2, i3 = (diagonal + 3) % 4;
                OwnedFrameBuffer first(40, 30), second(40, 30);
                Draw(first, Gouraud, Corner(q[i0][0], q[i0][1]), Corner(q[i1][0], q[i1][1]),
                     Corner(q[i2][0], q[i2][1]));
                Draw(second, Gouraud, Corner(q[i0][0], q[i0][1]), Corner(q[i2][0], q[i2][1]),
                     Corner(q[i3][0], q[i3][1]));
                int shared = 0;
                for (size_t i = 0; i < first.Work().size(); ++i) {
                    if (first.fb.workPixels[i] && second.fb.workPixels[i]) ++shared;
                }
                EXPECT_EQ(shared, 0) << SimdLevelName(level);
            }
        }
    }
}

TEST(Rasteriser, MidGreyDithersBetweenTwoLevels) {
    for (SimdLevel level : AvailableLevels()) {
        LevelScope scope(level);
        OwnedFrameBuffer target(64, 48);
        Draw(target, Gouraud, Corner(3, 2), Corner(60, 2), Corner(30, 40));
        std::vector<uint32_t> drawn;  // in drawing order: rows down, columns right
        for (int y = 0; y < target.fb.height; ++y) {
            for (int x = 0; x < target.fb.width; ++x) {
                if (target.At(x, y)) drawn.push_back(target.At(x, y) & 0xFFFF);
            }
        }
        const uint32_t high = (16u << 11) | (32u << 5) | 16u, low = (15u << 11) | (31u << 5) | 15u;
        ASSERT_GT(drawn.size(), 100u);
        EXPECT_EQ(drawn[0], high);
        EXPECT_EQ(drawn[1], high);
        EXPECT_EQ(drawn[2], high);
        EXPECT_EQ(drawn[3], low);
        size_t lows = 0;
        for (uint32_t c : drawn) {
            ASSERT_TRUE(c == high || c == low) << std::hex << c;
            lows += c == low;
        }
        EXPECT_GT(lows, drawn.size() / 5) << "the dither mixes both levels";
    }
}

TEST(Rasteriser, DepthTestKeepsEqualAndNearerPixels) {
    struct Case {
        int secondDepth;
        bool replaces;
    } cases[] = {{999, false}, {1000, false}, {1001, true}};
    for (SimdLevel level : AvailableLevels()) {
        LevelScope scope(level);
        for (const Case& c : cases) {
            for (Fill fill : {Gouraud, Textured}) {
                OwnedFrameBuffer target(40, 30);
                Draw(target, Gouraud, Corner(2, 2, 1000, 0x000000), Corner(30, 2, 1000, 0x000000),
                     Corner(2, 25, 1000, 0x000000));
                const WorkPixel before = target.At(5, 5);
                Draw(target, fill, Corner(2, 2, c.secondDepth, 0xFFFFFF), Corner(30, 2, c.secondDepth, 0xFFFFFF),
                     Corner(2, 25, c.secondDepth, 0xFFFFFF));
                EXPECT_EQ(target.At(5, 5) != before, c.replaces) << c.secondDepth << " " << FillName(fill);
                if (c.replaces) {
                    EXPECT_EQ(target.At(5, 5) >> 16, static_cast<uint32_t>(c.secondDepth));
                }
            }
        }
    }
}

TEST(Rasteriser, ZeroDepthNeverDrawsOverTheBackground) {
    OwnedFrameBuffer target(40, 30);
    Draw(target, Gouraud, Corner(2, 2, 0), Corner(30, 2, 0), Corner(2, 25, 0));
    for (WorkPixel p : target.Work()) ASSERT_EQ(p, 0u);
}

TEST(Rasteriser, TransparentFillBlendsStoredColourByFilter) {
    // Filter 0x000040 lets a quarter of the stored blue through and none of
    // red and green: over stored blue 20 (byte 160) the new blue is 12 or 13
    // by the dither; red and green are the lit values 8 and 16, dithered,
    // whatever was stored.
    for (SimdLevel level : AvailableLevels()) {
        LevelScope scope(level);
        OwnedFrameBuffer dark(40, 30), bright(40, 30);
        dark.Fill((100u << 16) | (3u << 11) | (7u << 5) | 20u);
        bright.Fill((100u << 16) | (31u << 11) | (63u << 5) | 20u);
        const uint32_t shade = 0xFF404040;  // lit (64, 64, 64), coverage 255
        for (OwnedFrameBuffer* target : {&dark, &bright}) {
            DrawTriangle(&target->fb, Corner(2, 2, 2000, shade), Corner(35, 2, 2000, shade), Corner(2, 27, 2000, shade),
                         TransparentMaterial(0x000040), false, nullptr);
        }
        int blues[32] = {};
        for (int y = 3; y < 12; ++y) {
            for (int x = 3; x < 9; ++x) {
                const WorkPixel p = dark.At(x, y);
                EXPECT_EQ(p >> 16, 100u) << "depth is kept";
                EXPECT_EQ(p & 0xFFE0, bright.At(x, y) & 0xFFE0) << "red and green ignore the stored colour";
                const uint32_t red = (p >> 11) & 0x1F, green = (p >> 5) & 0x3F;
                EXPECT_TRUE(red == 8 || red == 7) << red;
                EXPECT_TRUE(green == 16 || green == 15) << green;
                ++blues[p & 0x1F];
                EXPECT_EQ(p & 0x1F, bright.At(x, y) & 0x1F);
            }
        }
        EXPECT_GT(blues[12], 0);
        EXPECT_GT(blues[13], 0);
        EXPECT_EQ(blues[12] + blues[13], 9 * 6) << SimdLevelName(level);
    }
}

TEST(Rasteriser, TransparentFillDoesNotDrawBehindNearerPixels) {
    OwnedFrameBuffer target(40, 30);
    target.Fill(3000u << 16);
    DrawTriangle(&target.fb, Corner(2, 2, 2000, 0xFFFFFFFF), Corner(35, 2, 2000, 0xFFFFFFFF),
                 Corner(2, 27, 2000, 0xFFFFFFFF), TransparentMaterial(0x808080), false, nullptr);
    for (WorkPixel p : target.Work()) ASSERT_EQ(p, 3000u << 16);
}

TEST(Rasteriser, TexturedFillAddressesAndWraps) {
    // A 4 x 3 texture whose texels name their column and stored row.
    std::vector<uint32_t> texels(12);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 4; ++column)
            texels[row * 4 + column] = 0xFFFFFF - static_cast<uint32_t>(row * 4 + column) * 0x080808;
    }
    Texture texture{texels.data(), 4, 3};
    struct Case {
        const char* name;
        int texU, texV;
        int row, column;
    } cases[] = {
        {"origin", 0, 0, 0, 0},
        {"last column", 32767, 0, 0, 3},
        {"top row", 0, 32767, 2, 0},
        {"v just above 1 wraps to the bottom row", 0, 32768, 0, 0},
        {"u of 2.5 wraps", 81917, 0, 0, static_cast<int>((2u * ((81917u) & 0x7FFF) * 4) >> 16)},
        {"middle", 16384, 16384, 1, 2},
    };
    for (SimdLevel level : AvailableLevels()) {
        LevelScope scope(level);
        for (const Case& c : cases) {
            OwnedFrameBuffer target(40, 30);
            DrawTriangle(&target.fb, Corner(2, 2, 500, 0xFFFFFF, c.texU, c.texV),
                         Corner(30, 2, 500, 0xFFFFFF, c.texU, c.texV), Corner(2, 25, 500, 0xFFFFFF, c.texU, c.texV),
                         OpaqueMaterial(), true, &texture);
            const uint32_t texel = texels[c.row * 4 + c.column];
            // Texel times full light (255), scaled by 255/256, top bits kept.
            auto channel = [&](int shift, int bits) {
                const uint32_t byte = (texel >> shift) & 0xFF;
                return (((byte * 255) >> 8) * 255) >> (16 - bits);
            };
            const uint32_t expected = (channel(16, 5) << 11) | (channel(8, 6) << 5) | channel(0, 5);
            EXPECT_EQ(target.At(6, 6) & 0xFFFF, expected) << c.name << " (" << SimdLevelName(level) << ")";
        }
    }
}

TEST(Rasteriser, TexturesWiderThan32767AddressInside) {
    // Sizes up to 65500 are accepted by the decoder; the address arithmetic
    // must reach the last texel without leaving the image.
    struct Case {
        int width, height, texU, texV;
        size_t expectedIndex;
        // clang-format off
    } cases[] = {
        // 32767 units reach 65534 / 65536 of the way: one texel short of
        // the end once a side passes 32767.
        {40000, 1, 32767, 0, 39998},
        {1, 65500, 0, 32767, 65498},
        {65500, 1, 16384, 0, 32750},
    };
    // clang-format on
    for (SimdLevel level : AvailableLevels()) {
        LevelScope scope(level);
        for (const Case& c : cases) {
            std::vector<uint32_t> texels(static_cast<size_t>(c.width) * c.height, 0x000000);
            texels[c.expectedIndex] = 0xFFFFFF;
            Texture texture{texels.data(), c.width, c.height};
            OwnedFrameBuffer target(40, 30);
            DrawTriangle(&target.fb, Corner(2, 2, 500, 0xFFFFFF, c.texU, c.texV),
                         Corner(30, 2, 500, 0xFFFFFF, c.texU, c.texV), Corner(2, 25, 500, 0xFFFFFF, c.texU, c.texV),
                         OpaqueMaterial(), true, &texture);
            EXPECT_EQ(target.At(5, 5) & 0xFFFF, 0xFFFFu) << c.width << "x" << c.height << " " << SimdLevelName(level);
        }
    }
}

TEST(Rasteriser, WhiteTexelUnderFullLight) {
    OwnedFrameBuffer target(40, 30);
    DrawTriangle(&target.fb, Corner(2, 2, 500, 0xFFFFFF), Corner(30, 2, 500, 0xFFFFFF), Corner(2, 25, 500, 0xFFFFFF),
                 OpaqueMaterial(), true, &whiteTexture);
    EXPECT_EQ(target.At(5, 5), (500u << 16) | (31u << 11) | (63u << 5) | 31u);
}

TEST(Rasteriser, TexturedTransparentBlendsTexelAndStored) {
    for (SimdLevel level : AvailableLevels()) {
        LevelScope scope(level);
        OwnedFrameBuffer target(40, 30);
        target.Fill((10u << 16) | 0xFFFF);  // stored white: bytes 248, 252, 248
        uint32_t black = 0;
        Texture blackTexture{&black, 1, 1};
        DrawTriangle(&target.fb, Corner(2, 2, 500, 0xFFFFFF), Corner(30, 2, 500, 0xFFFFFF),
                     Corner(2, 25, 500, 0xFFFFFF), TransparentMaterial(0x804020), true, &blackTexture);
        // o = stored byte x filter byte, top bits: red 248*128, green 252*64, blue 248*32.
        const uint32_t red = (248u * 0x80) >> 11, green = (252u * 0x40) >> 10, blue = (248u * 0x20) >> 11;
        EXPECT_EQ(target.At(5, 5), (500u << 16) | (red << 11) | (green << 5) | blue) << SimdLevelName(level);
    }
}

TEST(Rasteriser, ReciprocalsAndInversesOfEveryValueAgree) {
    struct Case {
        int16_t d, q;
    } cases[] = {{0, 32767}, {1, 32766},   {-1, -32766}, {2, 16384},   {-2, -16384}, {3, 10922},
                 {7, 4681},  {-300, -109}, {32767, 1},   {-32768, -1}, {16385, 1},   {16384, 2}};
    for (const Case& c : cases) {
        const int16_t in[4] = {c.d, 0, c.d, 5};
        int16_t out[4], mmx[4];
        Reciprocal15Scalar(in, out);
        Reciprocal15Fast(in, mmx);
        EXPECT_EQ(out[0], c.q) << c.d;
        EXPECT_EQ(out[2], c.q) << c.d;
        EXPECT_EQ(mmx[0], c.q) << c.d;
    }
    for (int d = -32768; d <= 32767; d += 4) {
        const int16_t in[4] = {static_cast<int16_t>(d), static_cast<int16_t>(d + 1), static_cast<int16_t>(d + 2),
                               static_cast<int16_t>(d + 3)};
        int16_t out[4], mmx[4];
        Reciprocal15Scalar(in, out);
        Reciprocal15Fast(in, mmx);
        for (int i = 0; i < 4; ++i) ASSERT_EQ(out[i], mmx[i]) << in[i];
    }
    // The gradients' inverse of the area, from its table and by division.
    for (int32_t cross : {INT32_MIN, INT32_MAX, -4096, 4096}) {
        ASSERT_EQ(raster::InverseCrossQuick(cross), raster::InverseCross(cross)) << cross;
    }
    for (int32_t cross = -3000; cross <= 3000; ++cross) {
        if (cross == 0) continue;
        ASSERT_EQ(raster::InverseCrossQuick(cross), raster::InverseCross(cross)) << cross;
    }
}

TEST(Rasteriser, SliverGradientsUseSaturatedFactors) {
    // cross = -1 and a row difference of -3 give a factor of 98304, which
    // must clamp to 32767 rather than wrap to -32768.
    const ScreenVertex top = Corner(0, 0, 0, 0x000000), middle = Corner(1, 1, 10, 0x00000A),
                       bottom = Corner(2, 3, 0, 0x000000);
    for (SimdLevel level : AvailableLevels()) {
        RasterSetup s{};
        const int32_t cross = RasterKernelsFor(level).setupGradients(s, middle, bottom, top, EdgeColourAndTexture);
        EXPECT_EQ(cross, -1);
        EXPECT_EQ(s.colourPerX[0], (10 * 128 * 32767) >> 15) << SimdLevelName(level);
        EXPECT_EQ(s.colourPerX[1], 0);
        EXPECT_EQ(s.depthPerX, 2 * 10 * 32767) << SimdLevelName(level);
    }
}

TEST(Rasteriser, GradientsMatchThePlane) {
    // Depth rising by 64 per column and 0 per row; blue by 2 per column.
    const ScreenVertex top = Corner(4, 2, 1000, 0x10), middle = Corner(20, 2, 1000 + 16 * 64, 0x30),
                       bottom = Corner(4, 20, 1000, 0x10);
    RasterSetup s{};
    ASSERT_NE(SetupGradientsScalar(s, middle, bottom, top, EdgeColour), 0);
    EXPECT_NEAR(s.depthPerX / 65536.0, 64.0, 0.01);
    EXPECT_NEAR(s.colourPerX[0] / 128.0, 2.0, 0.01);
    EXPECT_EQ(s.colourPerX[1], 0);
}

// Every level's kernels draw random triangles of every fill into frame
// buffers of their own, against the reference kernels drawing every
// triangle in full (without the test that skips triangles covering no
// pixel); the work images must stay identical.
TEST(Rasteriser, EveryLevelMatchesTheFullReferenceOnRandomTriangles) {
    std::mt19937 random(20261209);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    const int viewWidth = 72, viewHeight = 56;
    const std::vector<SimdLevel> levels = AvailableLevels();
    OwnedFrameBuffer reference(viewWidth, viewHeight);
    std::vector<std::unique_ptr<OwnedFrameBuffer>> targets;
    for (size_t l = 0; l < levels.size(); ++l) targets.emplace_back(new OwnedFrameBuffer(viewWidth, viewHeight));
    std::vector<std::vector<uint32_t>> textures;
    for (int t = 0; t < 16; ++t) {
        std::vector<uint32_t> pixels(static_cast<size_t>(uniform(1, 40) * uniform(1, 40)) + 1);
        for (uint32_t& p : pixels) p = static_cast<uint32_t>(random());
        textures.push_back(std::move(pixels));
    }
    auto randomCorner = [&](int cx, int cy, int spread) {
        ScreenVertex v = Corner(std::min(std::max(cx + uniform(-spread, spread), 1), viewWidth - 1),
                                std::min(std::max(cy + uniform(-spread, spread), 0), viewHeight - 1), uniform(0, 32768),
                                static_cast<uint32_t>(random()), uniform(0, 120000), uniform(0, 120000));
        return v;
    };
    const RasterKernels referenceKernels = RasterKernelsFor(SimdScalar);
    const int triangles = 100000, batch = 20;
    for (int i = 0; i < triangles; i += batch) {
        const WorkPixel clear = static_cast<WorkPixel>(random()) & 0x3FFFFFFF;
        reference.Fill(clear);
        for (auto& t : targets) t->Fill(clear);
        for (int k = 0; k < batch; ++k) {
            // Mostly small and thin triangles, as in hair, some large ones.
            const int spread = uniform(0, 7) == 0 ? 40 : uniform(1, 12);
            const int cx = uniform(1, viewWidth - 1), cy = uniform(0, viewHeight - 1);
            const ScreenVertex a = randomCorner(cx, cy, spread), b = randomCorner(cx, cy, spread);
            ScreenVertex c = randomCorner(cx, cy, spread);
            if (uniform(0, 4) == 0) {  // no area: c on the line through a and b, or on one of them
                const int along = uniform(-1, 2);
                const int x = a.screenX + along * (b.screenX - a.screenX),
                          y = a.screenY + along * (b.screenY - a.screenY);
                if (x >= 1 && x < viewWidth && y >= 0 && y < viewHeight) c.screenX = x, c.screenY = y;
            }
            const int fill = uniform(0, 3);
            Material material =
                fill == 1 ? TransparentMaterial(static_cast<uint32_t>(random()) & 0xFFFFFF) : OpaqueMaterial();
            if (fill == 3) material = TransparentMaterial(static_cast<uint32_t>(random()) & 0xFFFFFF);
            const std::vector<uint32_t>& pixels = textures[static_cast<size_t>(uniform(0, 15))];
            const int texels = static_cast<int>(pixels.size() - 1);
            const int width = std::min(uniform(1, 40), texels);
            Texture texture{const_cast<uint32_t*>(pixels.data()), width, texels / width};
            const bool textured = fill >= 2;
            raster::DrawTriangleInFull(referenceKernels, &reference.fb, a, b, c, material, textured, &texture);
            for (size_t l = 0; l < levels.size(); ++l) {
                DrawTriangleWith(RasterKernelsFor(levels[l]), &targets[l]->fb, a, b, c, material, textured, &texture);
            }
        }
        const size_t bytes = static_cast<size_t>(reference.fb.width) * reference.fb.height * sizeof(WorkPixel);
        for (size_t l = 0; l < levels.size(); ++l) {
            ASSERT_EQ(std::memcmp(reference.fb.workPixels, targets[l]->fb.workPixels, bytes), 0)
                << SimdLevelName(levels[l]) << ", batch starting at triangle " << i;
        }
    }
}

}  // namespace
