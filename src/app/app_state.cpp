// The application's one appState, with the start-up values of its records
// and the rule that picks the mesh the user works on.
#include "app/app_state.h"

#include <cstring>

#include "core/lights.h"
#include "core/memory.h"
#include "app/view.h"

const int32_t backgroundTable[2] = {0x528A, 0x9492};

AppState appState;

void ResetAppState() {
    ClearScene(&appState.model.scene);
    std::memset(static_cast<void*>(&appState.model.scene), 0, sizeof(appState.model.scene));
    for (Texture& texture : appState.texturing.textures) {
        ReleaseBytes(texture.pixels);
        texture = Texture{nullptr, 0, 0};
    }

    appState.view.spinning = 0;
    appState.view.fullRedraw = 1;
    appState.view.viewFlags = ViewBackculled;
    appState.view.background = backgroundTable[0];
    appState.view.zoom = 1.0f;
    appState.model.showHair = 0;
    appState.shading.propMaterial = 0;
    appState.hairControls.hair = HairSettings{BaseRadius, 0.0f, 1, 0};
    appState.texturing.textures[TextureUser] = Texture{nullptr, 1, 1};
    appState.texturing.currentTexture = &appState.texturing.textures[TextureWood];
    ApplyMaterialPreset(0, 0);
    SetStartupView(-30.0f);

    appState.view.redrawPending = 0;
    appState.view.viewWidth = 620;
    appState.view.viewHeight = 520;
    ResetLights();
    appState.shading.lightMask = 1;
    appState.shading.materialSelection = 0;
    appState.texturing.textureSelection = 0;
    appState.view.backgroundSelection = 0;
    appState.model.hairAvailable = 0;
    appState.hairControls.radiusStep = RadiusStepStart;
    appState.hairControls.stretchStep = 0;
    appState.hairControls.baseRadius = BaseRadius;
    CopyName(appState.model.meshFileName, "computer", MeshFileNameSize);
    appState.texturing.userTextureName[0] = '\0';
    ResetDragStates();
}

Mesh* CurrentMesh() {
    if (appState.model.showHair && appState.model.scene.meshCount == 2) return appState.model.scene.meshes[1];
    return appState.model.scene.meshes[0];
}

void ApplyMaterialPreset(int selection, int texturePreset) {
    if (selection < 0 || selection >= MaterialPresetCount) return;
    if (texturePreset < 0 || texturePreset >= MaterialPresetCount) return;
    appState.shading.propMaterial = selection == PropMaterialPreset ? 1 : 0;
    appState.shading.presetMaterial = MaterialFromPreset(materialPresets[selection]);
    appState.shading.textureMaterial = MaterialFromPreset(materialPresets[texturePreset]);
}

void RequestRedraw() {
    appState.view.fullRedraw = 1;
    appState.view.redrawPending = 1;
}
