#include <gtest/gtest.h>

#include <cstring>

#include "app/app_state.h"
#include "core/lights.h"

namespace {

class LightsTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetAppState(); }
    void TearDown() override { ResetAppState(); }
};

TEST_F(LightsTest, SwitchingNormalisesOnceAndKeepsTheDirection) {
    EXPECT_FLOAT_EQ(lights[1].direction.x, 2.0f);  // stored unnormalised
    SetLight(1, 2);
    EXPECT_NEAR(lights[1].direction.x, 0.6667f, 1e-4f);
    EXPECT_NEAR(lights[1].direction.y, 0.6667f, 1e-4f);
    EXPECT_NEAR(lights[1].direction.z, 0.3333f, 1e-4f);
    EXPECT_EQ(lights[1].enabled, 2);
    SetLight(1, 0);
    EXPECT_NEAR(lights[1].direction.x, 0.6667f, 1e-4f);
    EXPECT_EQ(lights[1].enabled, 0);

    SetLight(0, 1);
    EXPECT_NEAR(lights[0].direction.x, -0.57735f, 1e-5f);
    EXPECT_EQ(lights[2].enabled, 0);
    SetLight(3, 1);  // no such light
    SetLight(-1, 1);
    ResetLights();
    EXPECT_FLOAT_EQ(lights[1].direction.x, 2.0f);
    EXPECT_EQ(lights[0].enabled, 1);
}

TEST_F(LightsTest, PresetTable) {
    struct Row {
        const char* name;
        float colourR, specularLevel;
        int32_t specularExponent, transparency;
    };
    // clang-format off
    const Row rows[MaterialPresetCount] = {
        {"Brass", 0.8f, 0.5f, 3, 0},       {"Wood", 0.84f, 1.0f, 10, 0},
        {"Pewter", 0.7f, 0.5f, 3, 0},      {"Silver", 0.8f, 1.0f, 16, 0},
        {"Gold", 0.95f, 0.5f, 3, 0},       {"Green", 0.73f, 1.0f, 10, 0},
        {"Chalk", 1.0f, 0.0f, 1, 0},       {"Brick", 1.0f, 1.0f, 6, 0},
        {"Crystal", 0.6f, 0.6f, 16, 0x888888}, {"White", 1.0f, 0.8f, 10, 0},
        {"Prop Material", 1.0f, 0.5f, 10, 0},
    };
    // clang-format on
    for (int i = 0; i < MaterialPresetCount; ++i) {
        EXPECT_STREQ(materialPresetNames[i], rows[i].name);
        EXPECT_EQ(materialPresets[i].colour[0], rows[i].colourR) << rows[i].name;
        EXPECT_EQ(materialPresets[i].specularLevel, rows[i].specularLevel) << rows[i].name;
        EXPECT_EQ(materialPresets[i].specularExponent, rows[i].specularExponent) << rows[i].name;
        EXPECT_EQ(materialPresets[i].transparency, rows[i].transparency) << rows[i].name;
    }
    EXPECT_STREQ(lightNames[1], "&Light 2");
}

TEST_F(LightsTest, ApplyMaterialPresetFillsBothMaterials) {
    for (int selection = 0; selection < MaterialPresetCount; ++selection) {
        ApplyMaterialPreset(selection, 0);
        const MaterialPreset& p = materialPresets[selection];
        const Material& m = appState.shading.presetMaterial;
        EXPECT_EQ(appState.shading.propMaterial, selection == 10 ? 1 : 0);
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(m.ambient[c], p.colour[c]);
            EXPECT_EQ(m.diffuse[c], p.colour[c]);
            EXPECT_EQ(m.specular[c], p.specular[c]);
            EXPECT_EQ(m.reserved0[c], 0.0f);
        }
        EXPECT_EQ(m.ambientLevel, p.ambientLevel);
        EXPECT_EQ(m.diffuseLevel, p.diffuseLevel);
        EXPECT_EQ(m.diffuseExponent, p.diffuseExponent);
        EXPECT_EQ(m.materialFlags, 0);  // "Crystal" too: always drawn opaque
        EXPECT_EQ(m.transparency, p.transparency);
        // The texture material is always "Brass".
        EXPECT_EQ(appState.shading.textureMaterial.diffuse[0], 0.8f);
        EXPECT_EQ(appState.shading.textureMaterial.specularExponent, 3);
        EXPECT_EQ(appState.shading.textureMaterial.ambientLevel, 0.1f);
    }
    ApplyMaterialPreset(10, 0);
    ApplyMaterialPreset(11, 0);  // out of range: nothing changes
    EXPECT_EQ(appState.shading.propMaterial, 1);
}

}  // namespace
