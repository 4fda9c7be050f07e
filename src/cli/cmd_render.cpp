// quillmere-cli render [FILE] -o OUT.bmp [view] [--hair [hair]]: one preview
// frame of the built-in model (start-up state) or of FILE (the state after
// "Open mesh File"), drawn by the renderer and saved as "Save Image" saves it.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/cli.h"
#include "cli/cli_options.h"
#include "app/app_state.h"
#include "app/commands.h"
#include "app/hair_settings.h"
#include "app/preview_frame.h"
#include "core/lights.h"
#include "core/math3d.h"
#include "core/platform.h"
#include "formats/bmp_writer.h"
#include "render/frame_buffer.h"
#include "render/frame_driver.h"
#include "texture/texture_slots.h"

namespace {

// The turns of --rotate applied one after the other to the view, each as the
// start-up tilt is made (x:-30 from the identity is the start-up view).
void ApplyTurns(const std::vector<ViewTurn>& turns) {
    for (const ViewTurn& turn : turns) {
        Matrix4 matrix;
        AxisAngleMatrix(turn.degrees * ViewPi * (1.0f / 180.0f), turn.axis[0], turn.axis[1], turn.axis[2], &matrix);
        MultiplyMatrices(appState.rotation, matrix, &appState.rotation);
    }
}

int Fail(const char* what) {
    std::fprintf(stderr, "quillmere-cli: render: %s\n", what);
    return CliFailure;
}

// Applies the view options in the order the menus would: material first
// (it turns texturing and wireframe off), then texture and flags.
int ApplyView(const RenderOptions& o) {
    if (o.material >= 0) SelectMaterialPreset(o.material);
    if (!o.texture.empty()) {
        static const char* const builtin[] = {"wood", "metal", "pattern"};
        int slot = -1;
        for (int i = 0; i < 3; ++i) {
            if (o.texture == builtin[i]) slot = i;
        }
        if (slot < 0) {
            AnswerDialogsWith(o.texture);
            if (!LoadTextureFile(OwnerMainWindow, &appState.textures[TextureUser], userTextureName,
                                 UserTextureNameSize)) {
                return CliFailure;  // the loader told why
            }
            slot = TextureUser;
        }
        if (!appState.textures[slot].pixels) return Fail("that built-in texture is not in this build");
        appState.currentTexture = &appState.textures[slot];
        textureSelection = slot;
        appState.viewFlags |= ViewTextured;
    }
    if (o.wireframe) appState.viewFlags |= ViewWireframe;
    if (o.noBackcull) appState.viewFlags &= ~ViewBackculled;
    if (o.background) {
        backgroundSelection = o.background - 1;
        appState.background = backgroundTable[backgroundSelection];
    }
    if (o.lights >= 0) {
        // Switch only the lights that change, as the menu does.
        for (int i = 0; i < LightCount; ++i) {
            const int bit = 1 << i;
            if ((lightMask & bit) != (o.lights & bit)) SetLight(i, o.lights & bit);
        }
        lightMask = o.lights;
    }
    ApplyTurns(o.turns);
    if (o.zoom > 0.0f) appState.zoom = o.zoom;
    return CliSuccess;
}

int RenderAndSave(const RenderOptions& o) {
    if (!InitialiseAppState()) return CliFailure;
    int status = CliSuccess;
    if (!o.input.empty()) {
        AnswerDialogsWith(o.input);
        if (!OpenMeshCommand()) status = CliFailure;  // the reader told why
    }
    if (status == CliSuccess && o.hair) {
        radiusStep = o.radiusStep;
        stretchStep = o.stretchStep;
        appState.hair = HairSettingsFor(baseRadius, radiusStep, stretchStep, o.keepFaces ? 0 : 1, o.reduce ? 1 : 0);
        if (!CreateHair()) status = CliFailure;
    }
    if (status == CliSuccess && o.invert) InvertCurrentMesh();
    if (status == CliSuccess) status = ApplyView(o);
    if (status == CliSuccess) {
        viewWidth = o.width;
        viewHeight = o.height;
        if (!CreateMemoryFrameBuffer(&frameBuffer, viewWidth, viewHeight)) {
            ShowMessageBox(OwnerNone, "Failed to create 3D context.", "", MessageOk);
            status = CliFailure;
        }
    }
    if (status == CliSuccess) {
        appState.fullRedraw = 1;
        DrawFrame(viewWidth, viewHeight, scene);
        AnswerDialogsWith(o.output);
        const Image24 image{frameBuffer.imagePixels, viewWidth, viewHeight, frameBuffer.width * 3};
        if (!SaveImageFile(OwnerMainWindow, image, meshFileName)) status = CliFailure;
    }
    ReleaseFrameBufferImages(&frameBuffer);
    ReleaseAppState();
    return status;
}

}  // namespace

int CliRender(const CliArgs& args) {
    RenderOptions options;
    const std::string usage = ParseRenderOptions(args, &options);
    if (!usage.empty()) return CliUsageError(usage.c_str());
    return RenderAndSave(options);
}
