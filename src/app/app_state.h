// All settings and working data of the application: one appState, grouped
// into one record per part of the program that owns the values (the view,
// the model, the hair controls, the textures, the shading). Everything runs
// on the user-interface thread.
#pragma once

#include <cstdint>

#include "core/math3d.h"
#include "core/mesh.h"
#include "core/texture.h"
#include "render/face_passes.h"
#include "ribbon/ribbon_builder.h"

constexpr int TextureSlotCount = 4;
enum TextureSlot { TextureWood = 0, TextureMetal = 1, TexturePattern = 2, TextureUser = 3 };

constexpr int MeshFileNameSize = 320;
constexpr int UserTextureNameSize = 256;
constexpr int PresetCount = 11;
constexpr int PropMaterialPreset = 10;
constexpr int RadiusStepMin = 1, RadiusStepMax = 20, RadiusStepStart = 10;
constexpr int StretchStepMin = -10, StretchStepMax = 10;
constexpr float BaseRadius = 0.0005f;

// Background fill values (RGB565) of "Background grey1" and "Background grey2".
constexpr int32_t backgroundTable[2] = {0x528A, 0x9492};

// Each field below starts with its start-up value: the one place those
// values are written, for the program's start and for ResetAppState. The
// start-up rotation, the current texture and the materials are set by
// ResetAppState, which computes them.

// What the preview shows and how: the view controls (app/view), the frame
// schedule of the message loop (app/frame_loop), the background menu and the
// display's size as the window system reports it.
struct ViewState {
    int32_t spinning = 0;
    int32_t fullRedraw = 1;
    int32_t redrawPending = 0;
    ViewFlags viewFlags = ViewBackculled;
    int32_t background = backgroundTable[0];
    int32_t backgroundSelection = 0;
    float zoom = 1.0f;
    Matrix4 rotation;
    Matrix4 spinStep;
    int32_t viewWidth = 620;
    int32_t viewHeight = 520;
};

// The model the user works on: the scene's meshes (app/commands opens and
// replaces them), which of them is on show, and the model file's name.
struct ModelState {
    Scene scene{};
    int32_t showHair = 0;
    int32_t hairAvailable = 0;
    char meshFileName[MeshFileNameSize] = "computer";
};

// The hair builder's settings and the tool bar's radius and stretch arrows
// they are derived from (app/hair_settings).
struct HairControls {
    HairSettings hair = {BaseRadius, 0.0f, 1, 0};
    int32_t radiusStep = RadiusStepStart;
    int32_t stretchStep = 0;
    float baseRadius = BaseRadius;
};

// The texture slots, which one is drawn, the "&Texture" menu's choice and the
// name of the user texture (texture/texture_slots loads them).
struct TextureState {
    // The user slot is 1 x 1 while empty.
    Texture textures[TextureSlotCount] = {{}, {}, {}, {nullptr, 1, 1}};
    Texture* currentTexture = nullptr;
    int32_t textureSelection = 0;
    char userTextureName[UserTextureNameSize] = "";
};

// What the faces are shaded with: the lights switched on (the light table
// itself is core/lights') and the materials of the "Material" menu.
struct ShadingState {
    int32_t lightMask = 1;
    int32_t materialSelection = 0;
    int32_t propMaterial = 0;
    Material presetMaterial;
    Material textureMaterial;
};

struct AppState {
    ViewState view;
    ModelState model;
    HairControls hairControls;
    TextureState texturing;
    ShadingState shading;
};

extern AppState appState;

// Gives appState its start-up values, and the light table and the drag
// states theirs: InitialiseAppState starts with it before it loads textures
// and the model; tests call it to start from a clean state. Frees the
// scene's meshes and the texture slots' pixels (blocks of AllocateBytes)
// first.
void ResetAppState();

// The mesh the user is working on: slot 1 when the hair view is chosen and a
// hair mesh exists, else slot 0 (may be null before start-up).
Mesh* CurrentMesh();

// Sets appState.shading.propMaterial (selection 10) and rebuilds its
// presetMaterial from preset `selection` and textureMaterial from preset
// `texturePreset`. Indices outside 0..10 are ignored.
void ApplyMaterialPreset(int selection, int texturePreset);

// Sets fullRedraw and redrawPending.
void RequestRedraw();
