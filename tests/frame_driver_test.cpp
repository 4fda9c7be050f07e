#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "app/app_state.h"
#include "core/lights.h"
#include "core/math3d.h"
#include "core/memory.h"
#include "render/frame_buffer.h"
#include "app/preview_frame.h"
#include "render/frame_driver.h"
#include "support/platform_fake.h"
#include "support/render_helpers.h"

namespace {

using MeshPtr = std::unique_ptr<Mesh, MeshDeleter>;

TEST(FrameBuffer, SizeRules) {
    struct Case {
        int viewWidth, viewHeight, width, height;
    } cases[] = {{620, 520, 688, 584}, {618, 518, 684, 582}, {1, 1, 68, 65}, {623, 10, 688, 74}, {624, 10, 692, 74}};
    for (const Case& c : cases) {
        OwnedFrameBuffer target(c.viewWidth, c.viewHeight);
        EXPECT_EQ(target.fb.width, c.width) << c.viewWidth;
        EXPECT_EQ(target.fb.height, c.height) << c.viewHeight;
        EXPECT_GE(FrameBufferViewWidth(target.fb), c.viewWidth);
        EXPECT_EQ(target.fb.isDibSection, 1);
    }
    FrameBuffer fb{};
    EXPECT_EQ(CreateMemoryFrameBuffer(&fb, 0, 10), 0);
    EXPECT_EQ(CreateMemoryFrameBuffer(&fb, 10, MaxFrameBufferView + 1), 0);
    EXPECT_EQ(fb.workPixels, nullptr);
}

TEST(FrameBuffer, FailedCreationLeavesNothingAllocated) {
    const long live = LiveAllocationCount();
    for (long n = 1; n <= 2; ++n) {
        FrameBuffer fb{};
        FailAllocationAfter(n);
        EXPECT_EQ(CreateMemoryFrameBuffer(&fb, 64, 48), 0) << n;
        FailAllocationAfter(0);
        EXPECT_EQ(LiveAllocationCount(), live) << n;
    }
}

TEST(FrameBuffer, ClearWorksInPixelPairs) {
    struct Case {
        int minX, minY, maxX, maxY;
        int firstColumn, lastColumn, rows;
    } cases[] = {{5, 2, 8, 3, 4, 9, 2},
                 {4, 0, 4, 0, 4, 5, 1},
                 {7, 1, 6, 1, 6, 7, 1},
                 {9, 1, 6, 1, 0, -1, 0},
                 {2, 5, 3, 4, 0, -1, 0}};
    for (const Case& c : cases) {
        OwnedFrameBuffer target(20, 10);
        ClearWorkRect(target.fb.workPixels, c.minX, c.minY, c.maxX, c.maxY, target.fb.width * 4, 0x528A);
        int cleared = 0;
        for (int y = 0; y < target.fb.height; ++y) {
            for (int x = 0; x < target.fb.width; ++x) {
                const bool inside = x >= c.firstColumn && x <= c.lastColumn && y >= c.minY && y <= c.maxY;
                EXPECT_EQ(target.At(x, y), inside ? 0x528Au : 0u) << x << "," << y;
                cleared += inside;
            }
        }
        EXPECT_EQ(cleared, (c.lastColumn - c.firstColumn + 1) * c.rows);
    }
}

TEST(FrameBuffer, ConversionExpandsTo24Bits) {
    struct Case {
        WorkPixel pixel;
        uint8_t blue, green, red;
    } cases[] = {{0x528A, 80, 80, 80}, {0x9492, 144, 144, 144}, {0xFFFF, 248, 252, 248}, {0xABCD0000, 0, 0, 0},
                 {0x001F, 248, 0, 0},  {0x07E0, 0, 252, 0},     {0xF800, 0, 0, 248}};
    WorkPixel row[8];
    uint8_t out[24];
    for (const Case& c : cases) {
        std::fill(row, row + 8, c.pixel);
        ConvertWorkToRgb24(4, 1, out, row, 0, 0);
        EXPECT_EQ(out[9], c.blue) << std::hex << c.pixel;
        EXPECT_EQ(out[10], c.green) << std::hex << c.pixel;
        EXPECT_EQ(out[11], c.red) << std::hex << c.pixel;
    }
    // Rows walked upwards with a negative step, packed 12 bytes per row.
    WorkPixel image[3][4] = {{0x001F, 0, 0, 0}, {0x07E0, 0, 0, 0}, {0xF800, 0, 0, 0}};
    uint8_t packed[36];
    ConvertWorkToRgb24(4, 3, packed, &image[2][0], -16, 12);
    EXPECT_EQ(packed[2], 248);   // bottom row first: red
    EXPECT_EQ(packed[13], 252);  // then green
    EXPECT_EQ(packed[24], 248);  // then blue
    // A pixel count below four still converts one group.
    std::memset(out, 1, sizeof out);
    std::fill(row, row + 8, 0u);
    ConvertWorkToRgb24(0, 1, out, row, 0, 0);
    EXPECT_EQ(out[11], 0);
    EXPECT_EQ(out[12], 1);
}

TEST(PresentRectangle, AlignsToGroupsOfFour) {
    struct Case {
        ScreenRect previous, drawn;
        bool any;
        ScreenRect present;
    } cases[] = {
        {{0, 0, 619, 519}, {100, 50, 300, 200}, true, {0, 0, 620, 519}},
        {{61, 10, 559, 510}, {61, 10, 559, 510}, true, {60, 10, 560, 510}},
        {{61, 10, 560, 510}, {70, 20, 80, 30}, true, {60, 10, 564, 510}},
        {{300, 100, 310, 110}, {10, 200, 20, 210}, true, {8, 100, 312, 210}},
        {{619, 519, 0, 0}, {100, 50, 300, 200}, true, {100, 50, 304, 200}},
        {{619, 519, 0, 0}, {619, 519, 0, 0}, false, {}},
    };
    for (const Case& c : cases) {
        ScreenRect present{};
        EXPECT_EQ(PresentRect(c.previous, c.drawn, &present), c.any);
        if (!c.any) continue;
        EXPECT_EQ(present.minX, c.present.minX);
        EXPECT_EQ(present.minY, c.present.minY);
        EXPECT_EQ(present.maxX, c.present.maxX);
        EXPECT_EQ(present.maxY, c.present.maxY);
    }
}

class FrameDriver : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetAppState();
        SetLight(0, 1);
        SetIdentity(&appState.view.rotation);
        ResetFrameDriver();
        ResetFake();
        scene = Scene{};
    }
    void TearDown() override {
        ResetAppState();
        ResetFrameDriver();
    }
    // A square facing the viewer covering the middle of the view.
    static Mesh* Square(float half, float dx = 0.0f) {
        Mesh* mesh =
            BuildMesh({{-half + dx, -half, 0}, {half + dx, -half, 0}, {half + dx, half, 0}, {-half + dx, half, 0}},
                      {{0, 1, 2, 3}});
        // Bounds of a unit box, so the square is not scaled up to fill the view.
        mesh->centre = Vec3{0, 0, 0};
        mesh->radius = 1.0f;
        return mesh;
    }
    Scene scene{};
};

const uint8_t* ImagePixel(const FrameBuffer& fb, int x, int y) { return fb.imagePixels + (y * fb.width + x) * 3; }

TEST_F(FrameDriver, FirstFrameClearsAndPresentsTheWholeView) {
    MeshPtr mesh(Square(0.5f));
    scene.meshCount = 1;
    scene.meshes[0] = mesh.get();
    OwnedFrameBuffer target(620, 520);
    target.Fill(0xFFFFFFFF);
    DrawFrameInto(&target.fb, 620, 520, scene);
    EXPECT_EQ(appState.view.fullRedraw, 0);
    ASSERT_EQ(Fake().presents.size(), 1u);
    const FakePresent& p = Fake().presents[0];
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
    EXPECT_EQ(p.width, 620);
    EXPECT_EQ(p.height, 520);
    EXPECT_EQ(target.At(0, 0), 0x528Au);
    EXPECT_EQ(target.At(619, 519), 0x528Au);
    EXPECT_EQ(target.At(620, 0), 0xFFFFFFFFu) << "the margin is left alone";
    EXPECT_EQ(ImagePixel(target.fb, 5, 5)[1], 80);
    EXPECT_NE(target.At(310, 260) >> 16, 0u) << "the square is drawn";
    const ScreenRect dirty = FrameDirtyRect();
    EXPECT_EQ(dirty.minX, 185);
    EXPECT_EQ(dirty.maxX, 435);
}

TEST_F(FrameDriver, MovingMeshClearsItsOldArea) {
    MeshPtr left(Square(0.2f, -0.5f)), right(Square(0.2f, 0.5f));
    scene.meshCount = 1;
    scene.meshes[0] = left.get();
    OwnedFrameBuffer target(620, 520);
    DrawFrameInto(&target.fb, 620, 520, scene);
    ASSERT_NE(target.At(185, 260) >> 16, 0u);
    scene.meshes[0] = right.get();
    DrawFrameInto(&target.fb, 620, 520, scene);
    EXPECT_EQ(target.At(185, 260), 0x528Au) << "old area cleared";
    EXPECT_EQ(ImagePixel(target.fb, 185, 260)[0], 80) << "and shown cleared";
    EXPECT_NE(target.At(435, 260) >> 16, 0u);
    ASSERT_EQ(Fake().presents.size(), 2u);
    const FakePresent& p = Fake().presents[1];
    EXPECT_EQ(p.x, 132);            // old minX 135 aligned down
    EXPECT_EQ(p.x + p.width, 488);  // new maxX 485 aligned up, exclusive
    EXPECT_EQ(p.y, 210);
    EXPECT_EQ(p.height, 102);  // rows 210..311: -0.2 x 250 floors to -51
}

TEST_F(FrameDriver, HairViewDrawsSlotOneOnlyWhenItExists) {
    MeshPtr original(Square(0.2f, -0.5f)), hair(Square(0.2f, 0.5f));
    struct Case {
        int showHair, meshCount;
        int expectedMinX;
    } cases[] = {{0, 2, 135}, {1, 2, 385}, {1, 1, 135}};
    for (const Case& c : cases) {
        scene.meshCount = c.meshCount;
        scene.meshes[0] = original.get();
        scene.meshes[1] = c.meshCount == 2 ? hair.get() : nullptr;
        appState.model.showHair = c.showHair;
        OwnedFrameBuffer target(620, 520);
        appState.view.fullRedraw = 1;
        DrawFrameInto(&target.fb, 620, 520, scene);
        EXPECT_EQ(FrameDirtyRect().minX, c.expectedMinX) << c.showHair << " " << c.meshCount;
    }
}

TEST_F(FrameDriver, EmptySlotPresentsTheOldAreaThenNothing) {
    MeshPtr mesh(Square(0.2f));
    scene.meshCount = 1;
    scene.meshes[0] = mesh.get();
    OwnedFrameBuffer target(620, 520);
    DrawFrameInto(&target.fb, 620, 520, scene);
    scene.meshes[0] = nullptr;
    DrawFrameInto(&target.fb, 620, 520, scene);
    DrawFrameInto(&target.fb, 620, 520, scene);
    ASSERT_EQ(Fake().presents.size(), 2u) << "the third frame has nothing to show";
    EXPECT_EQ(Fake().presents[1].x, 256);  // columns 259..360 of the last drawn square
    EXPECT_EQ(Fake().presents[1].width, 108);
    EXPECT_EQ(target.At(310, 260), 0x528Au);
}

TEST_F(FrameDriver, SpinTurnsTheModelEachFrame) {
    MeshPtr mesh(Square(0.2f));
    scene.meshCount = 1;
    scene.meshes[0] = mesh.get();
    AxisAngleMatrix(0.1f, 0, 0, 1, &appState.view.spinStep);
    appState.view.spinning = 1;
    OwnedFrameBuffer target(620, 520);
    DrawFrameInto(&target.fb, 620, 520, scene);
    DrawFrameInto(&target.fb, 620, 520, scene);
    Matrix4 expected;
    SetIdentity(&expected);
    MultiplyMatrices(expected, appState.view.spinStep, &expected);
    MultiplyMatrices(expected, appState.view.spinStep, &expected);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(appState.view.rotation.m[i], expected.m[i]);
}

TEST_F(FrameDriver, FallbackPacksTheRectangleBottomUp) {
    MeshPtr mesh(Square(0.3f));
    scene.meshCount = 1;
    scene.meshes[0] = mesh.get();
    OwnedFrameBuffer dib(100, 80), fallback(100, 80);
    fallback.fb.isDibSection = 0;
    DrawFrameInto(&dib.fb, 100, 80, scene);
    ResetFrameDriver();
    appState.view.fullRedraw = 1;
    DrawFrameInto(&fallback.fb, 100, 80, scene);
    ASSERT_EQ(Fake().presents.size(), 2u);
    const FakePresent& p = Fake().presents[1];
    for (int row = 0; row < p.height; ++row) {
        const uint8_t* packed = fallback.fb.imagePixels + row * p.width * 3;
        const uint8_t* placed = ImagePixel(dib.fb, p.x, p.y + p.height - 1 - row);
        ASSERT_EQ(std::memcmp(packed, placed, static_cast<size_t>(p.width) * 3), 0) << row;
    }
}

TEST_F(FrameDriver, ViewLargerThanTheBufferStaysInside) {
    MeshPtr mesh(Square(0.9f));
    scene.meshCount = 1;
    scene.meshes[0] = mesh.get();
    OwnedFrameBuffer target(64, 48);
    target.Fill(0xDEADBEEF);
    DrawFrameInto(&target.fb, 5000, 4000, scene);
    ASSERT_EQ(Fake().presents.size(), 1u);
    const FakePresent& p = Fake().presents[0];
    EXPECT_LE(p.x + p.width, target.fb.width);
    EXPECT_LE(p.y + p.height, target.fb.height);
    EXPECT_EQ(target.At(target.fb.width - 1, target.fb.height - 1), 0xDEADBEEFu);
}

}  // namespace
