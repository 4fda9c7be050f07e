#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/lights.h"
#include "render/lighting.h"

namespace {

// Only light 0, pointing along `direction`; restores the table afterwards.
class OneLight {
  public:
    explicit OneLight(Vec3 direction) {
        ResetLights();
        lights[0].direction = direction;
        lights[0].enabled = 1;
        lights[1].enabled = 0;
        lights[2].enabled = 0;
    }
    ~OneLight() { ResetLights(); }
};

Material Plain(float diffuseLevel, int32_t diffuseExponent, float specularLevel) {
    Material m{};
    for (int i = 0; i < 3; ++i) {
        m.diffuse[i] = 1.0f;
        m.specular[i] = 1.0f;
    }
    m.diffuseLevel = diffuseLevel;
    m.diffuseExponent = diffuseExponent;
    m.specularLevel = specularLevel;
    m.specularExponent = 1;
    return m;
}

TEST(Lighting, ScaledPower) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float x;
        int32_t n;
        float k;
        float expected;
        // clang-format off
    } cases[] = {
        {2.0f, 0, 3.0f, 3.0f},       {0.0f, 0, 5.0f, 5.0f},        {0.0f, 3, 5.0f, 0.0f},
        {-0.0f, 0, 1.0f, 0.0f},      {-1.0f, 2, 1.0f, 0.0f},       {0.5f, 3, 2.0f, 0.25f},
        {0.5f, 10, 1.0f, 1.0f / 1024}, {3.0f, 5, 1.0f, 243.0f},    {1.0f, -1, 0.75f, 0.75f},
        {1.0f, std::numeric_limits<int32_t>::min(), 2.0f, 2.0f}, {0.5f, -1, 1.0f, 0.0f},
        {-nan, 1, 1.0f, 0.0f},
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(ScaledPower(c.x, c.n, c.k), c.expected) << c.x << "^" << c.n << " x " << c.k;
    }
}

TEST(Lighting, DiffuseFollowsTheSquaredHalfLambert) {
    struct Case {
        const char* name;
        Vec3 light;
        int32_t exponent;
        float expected;  // per channel, diffuse level 0.5
        // clang-format off
    } cases[] = {
        {"straight on, any exponent", {0, 0, 1}, 7, 0.5f},
        {"grazing, exponent 1", {1, 0, 0}, 1, 0.125f},
        {"grazing, exponent 2", {0, 1, 0}, 2, 0.03125f},
        {"from behind", {0, 0, -1}, 1, 0.0f},
        {"from behind, exponent 0", {0, 0, -1}, 0, 0.5f},
    };
    // clang-format on
    for (const Case& c : cases) {
        OneLight light(c.light);
        const LitColour lit = LightVertex(Vec3{0, 0, 1}, Plain(0.5f, c.exponent, 0.0f));
        EXPECT_FLOAT_EQ(lit.red, c.expected) << c.name;
        EXPECT_FLOAT_EQ(lit.green, c.expected) << c.name;
        EXPECT_FLOAT_EQ(lit.blue, c.expected) << c.name;
        EXPECT_EQ(lit.coverage, 0.0f);
    }
}

TEST(Lighting, AmbientAloneWithEveryLightOff) {
    OneLight light(Vec3{0, 0, 1});
    lights[0].enabled = 0;
    Material m = Plain(1.0f, 1, 1.0f);
    m.ambientLevel = 0.5f;
    m.ambient[0] = 0.2f, m.ambient[1] = 0.4f, m.ambient[2] = 0.8f;
    const LitColour lit = LightVertex(Vec3{0, 0, 1}, m);
    EXPECT_FLOAT_EQ(lit.red, 0.1f);
    EXPECT_FLOAT_EQ(lit.green, 0.2f);
    EXPECT_FLOAT_EQ(lit.blue, 0.4f);
}

TEST(Lighting, SpecularOnlyWhereTheMirroredLightFacesTheViewer) {
    struct Case {
        Vec3 light, normal;
        bool highlight;
        // clang-format off
    } cases[] = {
        {{0, 0, 1}, {0, 0, 1}, true},     // mirrored straight to the viewer
        {{1, 0, 0}, {0, 0, 1}, false},    // mirrored to (-1, 0, 0): s = 0
        {{0, 0.6f, 0.8f}, {0, 0, 1}, true},
        {{0, 0.8f, -0.6f}, {0, 0, 1}, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        OneLight light(c.light);
        const LitColour lit = LightVertex(c.normal, Plain(0.0f, 1, 0.5f));
        EXPECT_EQ(lit.red > 0.0f, c.highlight) << c.light.x << " " << c.light.y << " " << c.light.z;
    }
}

TEST(Lighting, FullyTransparentKeepsOnlyHighlights) {
    OneLight light(Vec3{0, 0, 1});
    Material m = Plain(1.0f, 1, 0.5f);
    m.ambientLevel = 1.0f;
    m.ambient[0] = m.ambient[1] = m.ambient[2] = 1.0f;
    m.materialFlags = MaterialTransparent;
    m.transparency = 0xFFFFFF;
    const LitColour lit = LightVertex(Vec3{0, 0, 1}, m);
    EXPECT_FLOAT_EQ(lit.red, 0.5f);  // specular level only
    EXPECT_EQ(lit.coverage, 1.0f);
    EXPECT_EQ(PackColour(lit) >> 24, 255u);

    m.transparency = 0x000033;  // a fifth through: ambient and diffuse x 0.8
    m.specularLevel = 0.0f;
    EXPECT_FLOAT_EQ(LightVertex(Vec3{0, 0, 1}, m).green, 1.6f);
}

TEST(Lighting, PackColourSaturatesAndFloors) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float v;
        uint32_t byte;
    } cases[] = {{1.0f, 255},     {2.5f, 255},  {0.999f, 255}, {0.5f, 128}, {0.5f - 1e-6f, 127},
                 {1.0f / 256, 1}, {0.0039f, 0}, {0.0f, 0},     {-0.25f, 0}, {nan, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(PackColour(LitColour{c.v, 0, 0, 0}), c.byte) << c.v;
        EXPECT_EQ(PackColour(LitColour{0, 0, c.v, 0}), c.byte << 16) << c.v;
    }
    EXPECT_EQ(PackColour(LitColour{0.25f, 0.5f, 0.75f, 1.0f}), 0xFFC08040u);
}

}  // namespace
