// Radius and stretch values of the hair settings' steps.
#include "app/hair_settings.h"

#include <cmath>

float HairRadiusForStep(float baseRadius, int radiusStep) {
    // 2^(e/2) as a power of two times, for an odd e, the square root of two:
    // ldexp and sqrt round exactly on every platform, where pow need not.
    const int e = radiusStep - 10;
    const int half = e >= 0 ? e / 2 : -((1 - e) / 2);  // floor(e / 2)
    double factor = std::ldexp(1.0, half);
    if (e - 2 * half == 1) factor *= std::sqrt(2.0);
    return static_cast<float>(static_cast<double>(baseRadius) * factor);
}

float HairStretchForStep(int stretchStep) { return static_cast<float>(stretchStep * 0.1); }

namespace {
int Clamp(int value, int low, int high) { return value < low ? low : (value > high ? high : value); }
}  // namespace

int NextRadiusStep(int radiusStep, int direction) {
    return Clamp(radiusStep + (direction > 0 ? 1 : -1), RadiusStepMin, RadiusStepMax);
}

int NextStretchStep(int stretchStep, int direction) {
    return Clamp(stretchStep + (direction > 0 ? 1 : -1), StretchStepMin, StretchStepMax);
}

bool IsValidRadiusStep(int radiusStep) { return radiusStep >= RadiusStepMin && radiusStep <= RadiusStepMax; }

bool IsValidStretchStep(int stretchStep) { return stretchStep >= StretchStepMin && stretchStep <= StretchStepMax; }

HairSettings HairSettingsFor(float baseRadius, int radiusStep, int stretchStep, int onlyDynamic, int reduce) {
    HairSettings settings;
    settings.radius = HairRadiusForStep(baseRadius, radiusStep);
    settings.stretch = HairStretchForStep(stretchStep);
    settings.onlyDynamic = onlyDynamic;
    settings.reduce = reduce;
    return settings;
}

HairSettings DefaultHairSettings() { return HairSettingsFor(BaseRadius, RadiusStepStart, 0, 1, 0); }
