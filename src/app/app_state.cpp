// The application's one appState, with the start-up values of its records
// and the rule that picks the mesh the user works on.
#include "app/app_state.h"

#include "core/lights.h"
#include "core/memory.h"
#include "app/view.h"

AppState appState;

void ResetAppState() {
    ClearScene(&appState.model.scene);
    for (Texture& texture : appState.texturing.textures) ReleaseBytes(texture.pixels);
    appState = AppState{};
    appState.texturing.currentTexture = &appState.texturing.textures[TextureWood];
    ApplyMaterialPreset(0, 0);
    SetStartupView(-30.0f);
    ResetLights();
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
