#include <gtest/gtest.h>

#include <cmath>

#include "app/app_state.h"
#include "app/view.h"

namespace {

class ViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetAppState();
        SetIdentity(&appState.view.rotation);
    }
    void TearDown() override { ResetAppState(); }
};

bool IsIdentity(const Matrix4& m, float tolerance = 0.0f) {
    for (int i = 0; i < 16; ++i) {
        if (std::fabs(m.m[i] - (i % 5 == 0 ? 1.0f : 0.0f)) > tolerance) return false;
    }
    return true;
}

bool AllFinite(const Matrix4& m) {
    for (float v : m.m) {
        if (!std::isfinite(v)) return false;
    }
    return true;
}

// Angle of the rotation part of m: trace = 1 + 2 cos(angle).
float RotationAngle(const Matrix4& m) {
    float c = (m.m[0] + m.m[5] + m.m[10] - 1.0f) * 0.5f;
    if (c > 1.0f) c = 1.0f;
    if (c < -1.0f) c = -1.0f;
    return std::acos(c);
}

TEST_F(ViewTest, StartupViewTiltsAboutX) {
    appState.view.spinStep.m[1] = 5.0f;
    SetStartupView(-30.0f);
    const float expected[16] = {1, 0, 0, 0, 0, 0.866025f, -0.5f, 0, 0, 0.5f, 0.866025f, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(appState.view.rotation.m[i], expected[i], 1e-6f) << i;
    EXPECT_TRUE(IsIdentity(appState.view.spinStep));
}

TEST_F(ViewTest, ClickWithoutMoveNeitherTurnsNorSpins) {
    const Matrix4 before = appState.view.rotation;
    appState.view.spinning = 1;
    TrackballEvent(MousePress, 400, 100);
    EXPECT_EQ(appState.view.spinning, 0);
    EXPECT_EQ(appState.view.redrawPending, 0);  // a press alone draws nothing
    TrackballEvent(MouseRelease, 400, 100);
    EXPECT_EQ(appState.view.spinning, 0);
    EXPECT_TRUE(IsIdentity(appState.view.spinStep));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(appState.view.rotation.m[i], before.m[i]);
    EXPECT_EQ(appState.view.redrawPending, 1);
}

// The centre and radius of the ball follow the view size; the larger side
// sets the radius.
TEST_F(ViewTest, BallGeometryFollowsTheViewSize) {
    struct Case {
        int width, height;
        float radius;
    };
    const Case cases[] = {{620, 520, 310}, {300, 500, 250}, {10, 10, 5}, {0, 0, 0}};
    for (const Case& c : cases) {
        appState.view.viewWidth = c.width;
        appState.view.viewHeight = c.height;
        TrackballEvent(MousePress, 3, 4);
        EXPECT_EQ(trackball.radius, c.radius);
        EXPECT_EQ(trackball.radiusSquared, c.radius == 0 ? 0.001f : c.radius * c.radius);
        EXPECT_EQ(trackball.centreX, c.width * 0.5f);
        EXPECT_NEAR(std::sqrt(DotProduct(trackball.start, trackball.start)), 1.0f, 1e-6f);
        TrackballEvent(MouseRelease, 3, 4);
    }
}

TEST_F(ViewTest, DragTurnsFromThePressAndFlingSpins) {
    const int cx = 310, cy = 260;
    TrackballEvent(MousePress, cx, cy);
    // Moving right turns the front of the model to the right: about +y.
    for (int x = cx; x <= cx + 100; x += 20) TrackballEvent(MouseMove, x, cy);
    EXPECT_EQ(appState.view.redrawPending, 1);
    const Matrix4 dragged = appState.view.rotation;
    // A point in front of the model (0, 0, 1) moves towards +x.
    EXPECT_GT(dragged.m[2], 0.1f);
    EXPECT_NEAR(dragged.m[5], 1.0f, 1e-5f);
    // Moves are relative to the press, not cumulative: moving back to the
    // press point restores the rotation of the press.
    TrackballEvent(MouseMove, cx, cy);
    EXPECT_TRUE(IsIdentity(appState.view.rotation, 1e-6f));
    TrackballEvent(MouseMove, cx + 100, cy);
    // A fast last step: the release spins by that step, and applies it once.
    TrackballEvent(MouseRelease, cx + 140, cy);
    EXPECT_EQ(appState.view.spinning, 1);
    EXPECT_GT(RotationAngle(appState.view.spinStep), 0.017f);
    EXPECT_TRUE(AllFinite(appState.view.spinStep));
    EXPECT_FALSE(IsIdentity(appState.view.rotation, 1e-3f));
    // Every frame turns by the same step.
    const Matrix4 start = appState.view.rotation;
    ApplySpinStep();
    Matrix4 expected;
    MultiplyMatrices(start, appState.view.spinStep, &expected);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(appState.view.rotation.m[i], expected.m[i]);
}

TEST_F(ViewTest, SlowLastStepStopsWithoutSpinning) {
    TrackballEvent(MousePress, 310, 260);
    for (int x = 310; x <= 410; ++x) TrackballEvent(MouseMove, x, 260);
    TrackballEvent(MouseRelease, 410, 260);
    EXPECT_EQ(appState.view.spinning, 0);
}

// The drag ends at its release: a stray release or move afterwards (the last
// click of a double-click in a file dialog) does not turn or spin the model.
TEST_F(ViewTest, ReleaseWithoutPressDoesNothing) {
    TrackballEvent(MousePress, 310, 260);
    TrackballEvent(MouseMove, 350, 260);
    TrackballEvent(MouseRelease, 350, 260);
    EXPECT_EQ(trackball.dragging, 0);
    SetIdentity(&appState.view.rotation);
    appState.view.spinning = 0;
    appState.view.redrawPending = 0;
    TrackballEvent(MouseRelease, 600, 10);
    TrackballEvent(MouseMove, 0, 500);
    EXPECT_TRUE(IsIdentity(appState.view.rotation));
    EXPECT_EQ(appState.view.spinning, 0);
    EXPECT_EQ(appState.view.redrawPending, 0);

    ResetAppState();
    TrackballEvent(MouseRelease, 600, 10);
    EXPECT_EQ(appState.view.spinning, 0);
}

// Opposite edges and far outside the ball: cross products of nearly unit
// vectors may pass 1 by rounding; the rotation must stay finite.
TEST_F(ViewTest, ExtremeDragsStayFinite) {
    // (-3000, 260) to (310, -3000) are perpendicular on the ball and their
    // cross product comes out at 1.00000012.
    const int points[][2] = {{0, 0},       {619, 519},  {-3000, 260}, {310, -3000},
                             {-5000, 260}, {5000, 260}, {310, -9000}, {310, 260}};
    for (const auto& from : points) {
        for (const auto& to : points) {
            ResetAppState();
            TrackballEvent(MousePress, from[0], from[1]);
            TrackballEvent(MouseMove, to[0], to[1]);
            EXPECT_TRUE(AllFinite(appState.view.rotation));
            TrackballEvent(MouseRelease, to[0] + 1, to[1]);
            EXPECT_TRUE(AllFinite(appState.view.rotation));
            EXPECT_TRUE(AllFinite(appState.view.spinStep));
        }
    }
}

TEST_F(ViewTest, ZoomDrag) {
    struct Case {
        float zoomBefore;
        int press;
        int moves[3];
        float zoom;
    };
    const Case cases[] = {
        {1.0f, 200, {150, 100, 100}, 2.0f},  // up to half the row: twice the size
        {1.0f, 200, {300, 400, 250}, 1.0f},  // below the starting row: never under 1
        {2.0f, 200, {200, 200, 100}, 4.0f},  // relative to the zoom at the press
        {1.5f, 100, {0, 0, 0}, 1.5f},        // row 0 leaves the zoom as it is
        {1.0f, 100, {-20, 50, -1}, 2.0f},    // negative rows are ignored
    };
    for (const Case& c : cases) {
        appState.view.zoom = c.zoomBefore;
        ZoomEvent(MousePress, c.press);
        for (int y : c.moves) ZoomEvent(MouseMove, y);
        ZoomEvent(MouseRelease, c.moves[2]);
        EXPECT_FLOAT_EQ(appState.view.zoom, c.zoom) << c.press;
        // After the release, moves change nothing.
        ZoomEvent(MouseMove, 1);
        EXPECT_FLOAT_EQ(appState.view.zoom, c.zoom);
    }
}

TEST_F(ViewTest, ResetViewAndDragReset) {
    SetStartupView(-30.0f);
    appState.view.spinStep.m[0] = 0.5f;
    appState.view.spinning = 1;
    appState.view.zoom = 3.0f;
    appState.view.fullRedraw = 0;
    ResetView();
    EXPECT_TRUE(IsIdentity(appState.view.rotation));
    EXPECT_TRUE(IsIdentity(appState.view.spinStep));
    EXPECT_EQ(appState.view.spinning, 0);
    EXPECT_EQ(appState.view.zoom, 1.0f);
    EXPECT_EQ(appState.view.fullRedraw, 1);
    EXPECT_EQ(appState.view.redrawPending, 1);

    TrackballEvent(MousePress, 1, 1);
    ZoomEvent(MousePress, 1);
    ResetDragStates();
    EXPECT_EQ(trackball.dragging, 0);
    EXPECT_EQ(zoomDrag.active, 0);
}

}  // namespace
