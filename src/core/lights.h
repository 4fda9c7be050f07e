// The three fixed lights of the preview and the eleven material presets of
// the "Material" menu.
#pragma once

#include <cstdint>

#include "core/mesh.h"

constexpr int LightCount = 3;

struct Light {
    Vec3 direction;  // towards the light, view frame; normalised when switched
    float colour[3];
    int32_t enabled;  // non-zero when on
};

// The light table: writable state, kept for the whole run.
extern Light lights[LightCount];
// Menu texts of the three lights ("&Light 1".."&Light 3").
extern const char* const lightNames[LightCount];

// One material preset: twelve 4-byte values.
struct MaterialPreset {
    float ambientLevel;
    float diffuseLevel;
    float specularLevel;
    float colour[3];
    float specular[3];
    int32_t diffuseExponent;
    int32_t specularExponent;
    int32_t transparency;  // packed grey
};
static_assert(sizeof(MaterialPreset) == 48, "MaterialPreset is twelve 4-byte values");

// Indexed by the material selection; the last one, "Prop Material", makes the
// renderer use the mesh's own materials.
constexpr int MaterialPresetCount = 11;
extern const MaterialPreset materialPresets[MaterialPresetCount];
extern const char* const materialPresetNames[MaterialPresetCount];

// Restores the light table to its start-up contents (light 0 on, its
// direction not yet normalised; lights 1 and 2 off).
void ResetLights();

// Normalises light `index`'s direction in place and stores `value` as its
// enabled field (0 off, anything else on). An index outside 0..2 is ignored.
void SetLight(int index, int32_t value);

// The Material record a preset stands for: ambient and diffuse both the
// preset's colour, no flags (always drawn opaque), reserved values 0.
Material MaterialFromPreset(const MaterialPreset& preset);
