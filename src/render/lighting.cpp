// Vertex lighting and colour packing. Single-precision arithmetic in a fixed
// order, so shades are the same on every target.
#include "render/lighting.h"

#include <cmath>

#include "core/lights.h"
#include "core/math3d.h"

float ScaledPower(float x, int32_t n, float k) {
    // NaN counts as below zero whatever its sign bit: which NaN a sum or a
    // product passes on depends on its operands' order, which the compiler
    // may swap, so only this keeps the shade of an infinite normal the same
    // on every build.
    if (std::signbit(x) || x != x) return 0.0f;
    const uint32_t exponent = static_cast<uint32_t>(n);
    float r = k;
    if (exponent & 1) r *= x;
    if (exponent > 1) {
        // Square and multiply over the remaining bit positions; a 64-bit bit
        // value so that exponents of 2^31 and above end too.
        float p = x * x;
        for (uint64_t bit = 2; bit <= exponent; bit <<= 1) {
            if (exponent & bit) r *= p;
            p *= p;
        }
    }
    return r;
}

MaterialBase MaterialLightBase(const Material& material) {
    MaterialBase base{material.ambientLevel * material.ambient[0], material.ambientLevel * material.ambient[1],
                      material.ambientLevel * material.ambient[2], 0.0f, 1.0f};
    if (material.materialFlags & MaterialTransparent) {
        // What shows through is added by the transparent fill; the surface's
        // own light is darkened by the same share.
        base.coverage = 1.0f;
        base.share = 1.0f - static_cast<float>(material.transparency & 0xFF) / 255.0f;
        base.red *= base.share;
        base.green *= base.share;
        base.blue *= base.share;
    }
    return base;
}

LitColour LightVertex(const Vec3& n, const Material& material) {
    const MaterialBase base = MaterialLightBase(material);
    float red = base.red, green = base.green, blue = base.blue;
    const float coverage = base.coverage, f = base.share;
    for (const Light& light : lights) {
        if (!light.enabled) continue;
        const float c = DotProduct(light.direction, n);
        const float halfLambert = 1.0f + c;
        const float w = halfLambert * halfLambert * 0.25f;
        const float kd = ScaledPower(w, material.diffuseExponent, material.diffuseLevel) * f;
        float sumR = kd * material.diffuse[0];
        float sumG = kd * material.diffuse[1];
        float sumB = kd * material.diffuse[2];
        // The light direction mirrored about the normal, seen from +z.
        const float twoC = 2.0f * c;
        const Vec3 mirrored{twoC * n.x - light.direction.x, twoC * n.y - light.direction.y,
                            twoC * n.z - light.direction.z};
        const float s = DotProduct(mirrored, Vec3{0.0f, 0.0f, 1.0f});
        if (s > 0.0f) {
            const float ks = ScaledPower(s, material.specularExponent, material.specularLevel);
            sumR += ks * material.specular[0];
            sumG += ks * material.specular[1];
            sumB += ks * material.specular[2];
        }
        red += sumR * light.colour[0];
        green += sumG * light.colour[1];
        blue += sumB * light.colour[2];
    }
    return LitColour{blue, green, red, coverage};
}

uint32_t PackChannel(float v) {
    if (v < 0.0f) return 0;
    if (v >= 1.0f) return 255;
    if (!(v == v)) return 0;
    // 256 v is exact; the floor is in 0..255.
    return static_cast<uint32_t>(std::floor(256.0f * v));
}

uint32_t PackColour(const LitColour& colour) {
    return PackChannel(colour.blue) | (PackChannel(colour.green) << 8) | (PackChannel(colour.red) << 16) |
           (PackChannel(colour.coverage) << 24);
}
