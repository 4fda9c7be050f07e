// Per-vertex lighting of the preview: ambient, a squared half-Lambert diffuse
// term with an integer exponent, a specular term with the viewer on +z, and
// the darkening of transparent materials; and the packing of the result into
// a vertex's shade word.
#pragma once

#include <cstdint>

#include "core/mesh.h"

// Blue, green, red, coverage: unclamped light (coverage 1 for transparent
// materials, else 0).
struct LitColour {
    float blue, green, red, coverage;
};

// What lighting takes from the material alone: the ambient colour
// (darkened by `share` for a transparent material), the share of a
// transparent material's own light that is left (1 for opaque ones), and the
// coverage value (1 transparent, 0 opaque).
struct MaterialBase {
    float red, green, blue, coverage, share;
};
MaterialBase MaterialLightBase(const Material& material);

// Lights the eye-space normal `n` (reversed for back faces by the caller)
// with `material` under the enabled lights of the light table.
LitColour LightVertex(const Vec3& n, const Material& material);

// k x x^n for x >= 0 (k when n is 0), 0 when x has its sign bit set or is
// NaN. The exponent is read as unsigned; every exponent terminates.
float ScaledPower(float x, int32_t n, float k);

// Byte i of the result from value i (blue, green, red, coverage): 0 below 0,
// 255 from 1 up, floor(256 v) between; a value that is not a number gives 0.
uint32_t PackColour(const LitColour& colour);
// One byte of PackColour.
uint32_t PackChannel(float v);
