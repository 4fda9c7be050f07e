// The application's side of a preview frame: what the renderer is given.
#include "app/preview_frame.h"

#include "app/app_state.h"
#include "app/view.h"
#include "render/frame_driver.h"

DrawSettings CurrentDrawSettings() {
    return DrawSettings{appState.viewFlags,       appState.background,    appState.zoom,
                        appState.rotation,        appState.propMaterial,  appState.presetMaterial,
                        appState.textureMaterial, appState.currentTexture};
}

void DrawFrameInto(FrameBuffer* fb, int32_t viewWidth, int32_t viewHeight, Scene& scene) {
    if (!fb->workPixels || !fb->imagePixels) return;
    const bool fullRedraw = appState.fullRedraw != 0;
    appState.fullRedraw = 0;
    if (appState.spinning) ApplySpinStep();
    Mesh* mesh = scene.meshes[0];
    if (appState.showHair && scene.meshCount == 2) mesh = scene.meshes[1];
    DrawMeshFrame(fb, viewWidth, viewHeight, mesh, CurrentDrawSettings(), fullRedraw);
}

void DrawFrame(int32_t viewWidth, int32_t viewHeight, Scene& scene) {
    DrawFrameInto(&frameBuffer, viewWidth, viewHeight, scene);
}
