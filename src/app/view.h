// The view controls: the virtual trackball of left-button drags, the spin
// that keeps turning the model after a fling, the right-button zoom drag, and
// the start-up and reset views. They change appState.view.rotation, spinStep,
// zoom and spinning, and ask for frames through redrawPending.
#pragma once

#include <cstdint>

#include "core/math3d.h"

enum MouseEvent { MousePress = 0, MouseMove = 1, MouseRelease = 2 };

struct TrackballState {
    float radius;         // half the larger side of the display, pixels
    float radiusSquared;  // radius * radius, or 0.001 when that is 0
    float centreX;
    float centreY;
    Vec3 start;    // ball vector where the drag began
    Vec3 average;  // running average of the ball vectors of the drag
    Vec3 current;  // ball vector of the latest position
    Vec3 axis;     // last rotation axis
    int32_t dragging;
    Matrix4 savedRotation;  // rotation when the drag began
};

struct ZoomDragState {
    int32_t active;
    float reference;  // press y times the zoom at the press
};

extern TrackballState trackball;
extern ZoomDragState zoomDrag;

// Ends both drags (start-up, a new model, the main window minimised).
void ResetDragStates();

// rotation = a turn of `degrees` about the x axis, spinStep = identity.
// Start-up uses -30.
void SetStartupView(float degrees);

// A left-button event at pixel (x, y) of the display. A press starts a drag
// and stops the spin; moves turn the model as it was at the press; the
// release sets the spin step from the last movement and starts spinning when
// that step is above 0.017 radians. The drag ends at its release: a release
// or move without a press does nothing.
void TrackballEvent(MouseEvent event, int x, int y);

// A right-button event at pixel row y: dragging up enlarges the view in
// proportion; the zoom never goes below 1.
void ZoomEvent(MouseEvent event, int y);

// rotation = spinStep x rotation (once per frame while spinning).
void ApplySpinStep();

// Identity rotation and spin step, spin off, zoom 1, then a full redraw.
void ResetView();

// Turns the view by `degrees` about the axis (x, y, z), after its present
// rotation, as the start-up tilt is made (x:-30 from the identity is the
// start-up view). The axis is used as given, not normalised.
void TurnView(float degrees, float x, float y, float z);
