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

void DrawFrameInto(FrameBuffer* fb, int32_t width, int32_t height, Scene& shown) {
    if (!fb->workPixels || !fb->imagePixels) return;
    const bool fullRedraw = appState.fullRedraw != 0;
    appState.fullRedraw = 0;
    if (appState.spinning) ApplySpinStep();
    Mesh* mesh = shown.meshes[0];
    if (appState.showHair && shown.meshCount == 2) mesh = shown.meshes[1];
    DrawMeshFrame(fb, width, height, mesh, CurrentDrawSettings(), fullRedraw);
}

void DrawFrame(int32_t width, int32_t height, Scene& shown) { DrawFrameInto(&frameBuffer, width, height, shown); }
