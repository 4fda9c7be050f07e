// The application's side of a preview frame: what the renderer is given.
#include "app/preview_frame.h"

#include "app/app_state.h"
#include "app/view.h"
#include "core/memory.h"
#include "formats/bmp_writer.h"
#include "render/frame_driver.h"

DrawSettings CurrentDrawSettings() {
    return DrawSettings{
        appState.view.viewFlags,          appState.view.background,         appState.view.zoom,
        appState.view.rotation,           appState.shading.propMaterial,    appState.shading.presetMaterial,
        appState.shading.textureMaterial, appState.texturing.currentTexture};
}

void DrawFrameInto(FrameBuffer* fb, int32_t width, int32_t height, Scene& shown) {
    if (!fb->workPixels || !fb->imagePixels) return;
    const bool fullRedraw = appState.view.fullRedraw != 0;
    appState.view.fullRedraw = 0;
    if (appState.view.spinning) ApplySpinStep();
    Mesh* mesh = shown.meshes[0];
    if (appState.model.showHair && shown.meshCount == 2) mesh = shown.meshes[1];
    DrawMeshFrame(fb, width, height, mesh, CurrentDrawSettings(), fullRedraw);
}

void DrawFrame(int32_t width, int32_t height, Scene& shown) { DrawFrameInto(&frameBuffer, width, height, shown); }

int SaveViewImage() {
    int32_t width = appState.view.viewWidth, height = appState.view.viewHeight;
    if (width > FrameBufferViewWidth(frameBuffer)) width = FrameBufferViewWidth(frameBuffer);
    if (height > FrameBufferViewHeight(frameBuffer)) height = FrameBufferViewHeight(frameBuffer);
    const int32_t rowBytes = frameBuffer.width * 3;
    if (frameBuffer.isDibSection) {
        return SaveImageFile(OwnerMainWindow, Image24{frameBuffer.imagePixels, width, height, rowBytes},
                             appState.model.meshFileName);
    }
    const size_t bytes = static_cast<size_t>(rowBytes) * static_cast<size_t>(frameBuffer.height);
    auto* picture = static_cast<uint8_t*>(AllocateBytes(bytes));
    if (!picture) return 0;
    ConvertWorkToRgb24(frameBuffer.width, frameBuffer.height, picture, frameBuffer.workPixels,
                       static_cast<ptrdiff_t>(frameBuffer.width) * 4, rowBytes);
    const int saved =
        SaveImageFile(OwnerMainWindow, Image24{picture, width, height, rowBytes}, appState.model.meshFileName);
    ReleaseBytes(picture);
    return saved;
}
