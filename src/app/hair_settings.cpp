// Radius and stretch values of the hair settings' steps.
#include "app/hair_settings.h"

#include <cmath>

float HairRadiusForStep(float base, int step) {
    // 2^(e/2) as a power of two times, for an odd e, the square root of two:
    // ldexp and sqrt round exactly on every platform, where pow need not.
    const int e = step - 10;
    const int half = e >= 0 ? e / 2 : -((1 - e) / 2);  // floor(e / 2)
    double factor = std::ldexp(1.0, half);
    if (e - 2 * half == 1) factor *= std::sqrt(2.0);
    return static_cast<float>(static_cast<double>(base) * factor);
}

float HairStretchForStep(int step) { return static_cast<float>(step * 0.1); }

namespace {
int Clamp(int value, int low, int high) { return value < low ? low : (value > high ? high : value); }
}  // namespace

int NextRadiusStep(int step, int direction) {
    return Clamp(step + (direction > 0 ? 1 : -1), RadiusStepMin, RadiusStepMax);
}

int NextStretchStep(int step, int direction) {
    return Clamp(step + (direction > 0 ? 1 : -1), StretchStepMin, StretchStepMax);
}

bool IsValidRadiusStep(int step) { return step >= RadiusStepMin && step <= RadiusStepMax; }

bool IsValidStretchStep(int step) { return step >= StretchStepMin && step <= StretchStepMax; }

HairSettings HairSettingsFor(float base, int radiusAt, int stretchAt, int onlyDynamic, int reduce) {
    HairSettings settings;
    settings.radius = HairRadiusForStep(base, radiusAt);
    settings.stretch = HairStretchForStep(stretchAt);
    settings.onlyDynamic = onlyDynamic;
    settings.reduce = reduce;
    return settings;
}

HairSettings DefaultHairSettings() { return HairSettingsFor(BaseRadius, RadiusStepStart, 0, 1, 0); }
