// All settings and working data of the application: one AppState record and
// the globals beside it. Everything runs on the user-interface thread.
#pragma once

#include <cstdint>

#include "core/math3d.h"
#include "core/mesh.h"
#include "core/texture.h"
#include "render/face_passes.h"
#include "ribbon/ribbon_builder.h"

constexpr int TextureSlotCount = 4;
enum TextureSlot { TextureWood = 0, TextureMetal = 1, TexturePattern = 2, TextureUser = 3 };

struct AppState {
    int32_t spinning;
    int32_t fullRedraw;
    ViewFlags viewFlags;
    int32_t background;
    float zoom;
    int32_t showHair;
    int32_t propMaterial;
    HairSettings hair;
    Matrix4 rotation;
    Matrix4 spinStep;
    Texture textures[TextureSlotCount];
    Texture* currentTexture;
    Material presetMaterial;
    Material textureMaterial;
};

constexpr int MeshFileNameSize = 320;
constexpr int UserTextureNameSize = 256;
constexpr int PresetCount = 11;
constexpr int PropMaterialPreset = 10;
constexpr int RadiusStepMin = 1, RadiusStepMax = 20, RadiusStepStart = 10;
constexpr int StretchStepMin = -10, StretchStepMax = 10;
constexpr float BaseRadius = 0.0005f;

// Background fill values (RGB565) of "Background grey1" and "Background grey2".
extern const int32_t backgroundTable[2];

extern AppState appState;
extern Scene scene;
extern int32_t redrawPending;
extern int32_t viewWidth;
extern int32_t viewHeight;
extern int32_t lightMask;
extern int32_t materialSelection;
extern int32_t textureSelection;
extern int32_t backgroundSelection;
extern int32_t hairAvailable;
extern int32_t radiusStep;
extern int32_t stretchStep;
extern float baseRadius;
extern char meshFileName[MeshFileNameSize];
extern char userTextureName[UserTextureNameSize];

// Sets every value above to its start-up value, including the light table
// and the drag states: the one place those values are written, which
// InitialiseAppState starts with before it loads textures and the model;
// tests call it to start from a clean state. Frees the scene's meshes
// and the texture slots' pixels (blocks of AllocateBytes) first.
void ResetAppState();

// The mesh the user is working on: slot 1 when the hair view is chosen and a
// hair mesh exists, else slot 0 (may be null before start-up).
Mesh* CurrentMesh();

// Sets appState.propMaterial (selection 10) and rebuilds presetMaterial from
// preset `selection` and textureMaterial from preset `texturePreset`. Indices
// outside 0..10 are ignored.
void ApplyMaterialPreset(int selection, int texturePreset);

// Sets fullRedraw and redrawPending.
void RequestRedraw();
