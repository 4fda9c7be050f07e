// The application's one AppState record and the globals beside it, with their
// start-up values and the rule that picks the mesh the user works on.
#include "app/app_state.h"

#include <cstring>

#include "core/lights.h"
#include "core/memory.h"
#include "app/view.h"

const int32_t backgroundTable[2] = {0x528A, 0x9492};

AppState appState;
Scene scene;
int32_t redrawPending;
int32_t viewWidth = 620;
int32_t viewHeight = 520;
int32_t lightMask = 1;
int32_t materialSelection;
int32_t textureSelection;
int32_t backgroundSelection;
int32_t hairAvailable;
int32_t radiusStep = RadiusStepStart;
int32_t stretchStep;
float baseRadius = BaseRadius;
char meshFileName[MeshFileNameSize] = "computer";
char userTextureName[UserTextureNameSize];

void ResetAppState() {
    ClearScene(&scene);
    std::memset(static_cast<void*>(&scene), 0, sizeof(scene));
    for (Texture& texture : appState.textures) {
        ReleaseBytes(texture.pixels);
        texture = Texture{nullptr, 0, 0};
    }

    appState.spinning = 0;
    appState.fullRedraw = 1;
    appState.viewFlags = ViewBackculled;
    appState.background = backgroundTable[0];
    appState.zoom = 1.0f;
    appState.showHair = 0;
    appState.propMaterial = 0;
    appState.hair = HairSettings{BaseRadius, 0.0f, 1, 0};
    appState.textures[TextureUser] = Texture{nullptr, 1, 1};
    appState.currentTexture = &appState.textures[TextureWood];
    ApplyMaterialPreset(0, 0);
    SetStartupView(-30.0f);

    redrawPending = 0;
    viewWidth = 620;
    viewHeight = 520;
    ResetLights();
    lightMask = 1;
    materialSelection = 0;
    textureSelection = 0;
    backgroundSelection = 0;
    hairAvailable = 0;
    radiusStep = RadiusStepStart;
    stretchStep = 0;
    baseRadius = BaseRadius;
    CopyName(meshFileName, "computer", MeshFileNameSize);
    userTextureName[0] = '\0';
    ResetDragStates();
}

Mesh* CurrentMesh() {
    if (appState.showHair && scene.meshCount == 2) return scene.meshes[1];
    return scene.meshes[0];
}

void ApplyMaterialPreset(int selection, int texturePreset) {
    if (selection < 0 || selection >= MaterialPresetCount) return;
    if (texturePreset < 0 || texturePreset >= MaterialPresetCount) return;
    appState.propMaterial = selection == PropMaterialPreset ? 1 : 0;
    appState.presetMaterial = MaterialFromPreset(materialPresets[selection]);
    appState.textureMaterial = MaterialFromPreset(materialPresets[texturePreset]);
}

void RequestRedraw() {
    appState.fullRedraw = 1;
    redrawPending = 1;
}
