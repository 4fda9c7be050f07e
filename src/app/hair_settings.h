// The hair builder's settings as the tool bar's arrows set them: the radius
// and stretch values that belong to the two steps, and the clamped stepping.
// The tool bar commands and the command-line tool both go through these.
#pragma once

#include "app/app_state.h"

// Ribbon half-width at `radiusStep`: baseRadius * 2^((radiusStep - 10) / 2),
// so each step changes the width by a factor of the square root of two.
// Computed in double (a power of two, times the square root of two for an
// odd step - 10) and rounded to single precision at the end; step 10 gives
// baseRadius itself, 20 gives 32 times it.
float HairRadiusForStep(float baseRadius, int radiusStep);

// Taper at `stretchStep`: stretchStep * 0.1, computed in double and rounded
// once (-10 gives -1.0, 10 gives 1.0).
float HairStretchForStep(int stretchStep);

// The radius step after one arrow press (direction +1 up, -1 down), clamped
// to RadiusStepMin..RadiusStepMax.
int NextRadiusStep(int radiusStep, int direction);

// The stretch step after one arrow press, clamped to StretchStepMin..StretchStepMax.
int NextStretchStep(int stretchStep, int direction);

// Whether a step given from outside (the command line) is in range.
bool IsValidRadiusStep(int radiusStep);
bool IsValidStretchStep(int stretchStep);

// Settings for the given steps and flags, with `radius` and `stretch` derived
// from the steps as above.
HairSettings HairSettingsFor(float baseRadius, int radiusStep, int stretchStep, int onlyDynamic, int reduce);

// The start-up settings: radius 0.0005 (step 10), stretch 0 (step 0), only
// dynamic on, reduce off.
HairSettings DefaultHairSettings();
