// Trackball, spin and zoom drag over the view state of the application.
#include "app/view.h"

#include <cmath>

#include "app/app_state.h"

TrackballState trackball;
ZoomDragState zoomDrag;

namespace {

// Turns below this (radians) at the end of a drag do not start a spin.
constexpr float SpinThreshold = 0.017f;
// Axis lengths at or below this mean the pointer did not move on the ball.
constexpr float MinimumAxisLength = 0.0001f;

// The point of the virtual ball under pixel (x, y): a unit vector whose z is
// large at the centre and falls off smoothly outside the ball's radius.
Vec3 BallVector(int x, int y) {
    const float dx = static_cast<float>(x) - trackball.centreX;
    const float dy = trackball.centreY - static_cast<float>(y);  // ball y grows upwards
    const float r2 = trackball.radiusSquared;
    Vec3 v{dx, dy, trackball.radius * r2 / (r2 + dx * dx + dy * dy)};
    Normalise(&v);
    return v;
}

Vec3 Midpoint(const Vec3& a, const Vec3& b) { return Vec3{(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f, (a.z + b.z) * 0.5f}; }

// The turn carrying `from` to `current`, about the (normalised) axis stored in
// trackball.axis: the arcsine of the cross product's length, taken past a
// quarter turn when the pointer has travelled to the far side. Returns 0 and
// an identity matrix when the axis is too short to trust.
float TurnBetween(const Vec3& current, const Vec3& from, const Vec3& heading, Matrix4* out) {
    CrossProduct(current, from, &trackball.axis);
    float s = Normalise(&trackball.axis);
    if (!(s > MinimumAxisLength)) {
        SetIdentity(out);
        return 0.0f;
    }
    // Rounding can push the length of a cross product of unit vectors just
    // past 1, where the arcsine is undefined.
    if (s > 1.0f) s = 1.0f;
    float theta = std::asin(s);
    if (DotProduct(current, heading) < 0.0f) theta = ViewPi - theta;
    AxisAngleMatrix(theta, trackball.axis.x, trackball.axis.y, trackball.axis.z, out);
    return theta;
}

}  // namespace

void ResetDragStates() {
    trackball = TrackballState{};
    SetIdentity(&trackball.savedRotation);
    zoomDrag = ZoomDragState{};
}

void SetStartupView(float degrees) {
    Vec3 axis{1.0f, 0.0f, 0.0f};
    Normalise(&axis);
    SetIdentity(&appState.view.rotation);
    SetIdentity(&appState.view.spinStep);
    AxisAngleMatrix(degrees * ViewPi * (1.0f / 180.0f), axis.x, axis.y, axis.z, &appState.view.rotation);
}

void TrackballEvent(MouseEvent event, int x, int y) {
    switch (event) {
        case MousePress: {
            trackball.dragging = 1;
            trackball.centreX = static_cast<float>(appState.view.viewWidth) * 0.5f;
            trackball.centreY = static_cast<float>(appState.view.viewHeight) * 0.5f;
            trackball.radius =
                appState.view.viewWidth < appState.view.viewHeight ? trackball.centreY : trackball.centreX;
            trackball.radiusSquared = trackball.radius * trackball.radius;
            if (trackball.radiusSquared == 0.0f) trackball.radiusSquared = 0.001f;
            trackball.start = BallVector(x, y);
            trackball.average = trackball.start;
            trackball.current = trackball.start;
            CopyMatrix(&trackball.savedRotation, appState.view.rotation);
            appState.view.spinning = 0;
            break;
        }
        case MouseMove: {
            if (!trackball.dragging) return;
            trackball.average = Midpoint(trackball.current, trackball.average);
            trackball.current = BallVector(x, y);
            TurnBetween(trackball.current, trackball.start, trackball.average, &appState.view.rotation);
            MultiplyMatrices(trackball.savedRotation, appState.view.rotation, &appState.view.rotation);
            appState.view.redrawPending = 1;
            break;
        }
        case MouseRelease: {
            if (!trackball.dragging) return;
            trackball.average = Midpoint(trackball.current, trackball.average);
            Normalise(&trackball.average);
            trackball.current = BallVector(x, y);
            const float theta =
                TurnBetween(trackball.current, trackball.average, trackball.average, &appState.view.spinStep);
            ApplySpinStep();
            appState.view.spinning = theta > SpinThreshold ? 1 : 0;
            appState.view.redrawPending = 1;
            // The drag ends here, so a stray release later (the closing click of
            // a file dialog) cannot spin a newly opened model.
            trackball.dragging = 0;
            break;
        }
    }
}

void ZoomEvent(MouseEvent event, int y) {
    switch (event) {
        case MousePress:
            zoomDrag.active = 1;
            zoomDrag.reference = static_cast<float>(y) * appState.view.zoom;
            break;
        case MouseMove:
            if (!zoomDrag.active) return;
            if (y > 0) appState.view.zoom = zoomDrag.reference / static_cast<float>(y);
            if (!(appState.view.zoom >= 1.0f)) appState.view.zoom = 1.0f;
            appState.view.redrawPending = 1;
            break;
        case MouseRelease:
            appState.view.redrawPending = 1;
            zoomDrag.active = 0;
            break;
    }
}

void ApplySpinStep() { MultiplyMatrices(appState.view.rotation, appState.view.spinStep, &appState.view.rotation); }

void ResetView() {
    SetIdentity(&appState.view.rotation);
    SetIdentity(&appState.view.spinStep);
    appState.view.spinning = 0;
    appState.view.zoom = 1.0f;
    RequestRedraw();
}

void TurnView(float degrees, float x, float y, float z) {
    Matrix4 matrix;
    AxisAngleMatrix(degrees * ViewPi * (1.0f / 180.0f), x, y, z, &matrix);
    MultiplyMatrices(appState.view.rotation, matrix, &appState.view.rotation);
}
