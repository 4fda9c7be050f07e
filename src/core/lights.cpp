// The light table and the material presets, and how a preset becomes the
// Material records the renderer reads.
#include "core/lights.h"

#include "core/math3d.h"

namespace {

const Light startupLights[LightCount] = {
    {{-1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f}, 1},
    {{2.0f, 2.0f, 1.0f}, {1.0f, 1.0f, 1.0f}, 0},
    {{0.0f, -1.0f, 0.0f}, {1.0f, 1.0f, 1.0f}, 0},
};

}  // namespace

Light lights[LightCount] = {startupLights[0], startupLights[1], startupLights[2]};

const char* const lightNames[LightCount] = {"&Light 1", "&Light 2", "&Light 3"};

// ambient, diffuse, specular level; colour; specular colour; diffuse and
// specular exponent; transparency.
const MaterialPreset materialPresets[MaterialPresetCount] = {
    {0.1f, 0.4f, 0.5f, {0.8f, 0.4f, 0.1f}, {1.0f, 0.8f, 0.4f}, 1, 3, 0},
    {0.1f, 1.0f, 1.0f, {0.84f, 0.61f, 0.53f}, {0.5f, 0.5f, 0.5f}, 1, 10, 0},
    {0.1f, 0.3f, 0.5f, {0.7f, 0.7f, 0.9f}, {1.0f, 1.0f, 1.0f}, 2, 3, 0},
    {0.2f, 0.6f, 1.0f, {0.8f, 0.8f, 0.85f}, {0.8f, 0.9f, 0.9f}, 4, 16, 0},
    {0.15f, 0.6f, 0.5f, {0.95f, 0.55f, 0.1f}, {1.0f, 0.8f, 0.3f}, 1, 3, 0},
    {0.1f, 1.0f, 1.0f, {0.73f, 0.88f, 0.61f}, {0.5f, 0.5f, 0.5f}, 2, 10, 0},
    {0.3f, 0.6f, 0.0f, {1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f}, 2, 1, 0},
    {0.1f, 1.0f, 1.0f, {1.0f, 0.54f, 0.5f}, {0.2f, 0.2f, 0.2f}, 1, 6, 0},
    {0.3f, 0.2f, 0.6f, {0.6f, 0.6f, 1.0f}, {1.0f, 1.0f, 1.0f}, 4, 16, 0x888888},
    {0.1f, 1.0f, 0.8f, {1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f}, 1, 10, 0},
    {0.0f, 1.0f, 0.5f, {1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f}, 1, 10, 0},
};

const char* const materialPresetNames[MaterialPresetCount] = {
    "Brass", "Wood", "Pewter", "Silver", "Gold", "Green", "Chalk", "Brick", "Crystal", "White", "Prop Material",
};

void ResetLights() {
    for (int i = 0; i < LightCount; ++i) lights[i] = startupLights[i];
}

void SetLight(int index, int32_t value) {
    if (index < 0 || index >= LightCount) return;
    Normalise(&lights[index].direction);
    lights[index].enabled = value;
}

Material MaterialFromPreset(const MaterialPreset& preset) {
    Material m{};
    for (int i = 0; i < 3; ++i) {
        m.ambient[i] = preset.colour[i];
        m.diffuse[i] = preset.colour[i];
        m.specular[i] = preset.specular[i];
    }
    m.ambientLevel = preset.ambientLevel;
    m.diffuseLevel = preset.diffuseLevel;
    m.specularLevel = preset.specularLevel;
    m.diffuseExponent = preset.diffuseExponent;
    m.specularExponent = preset.specularExponent;
    m.materialFlags = 0;
    m.transparency = preset.transparency;
    return m;
}
