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
#include "app/menu_commands.h"
#include "app/preview_frame.h"
#include "app/view.h"
#include "core/lights.h"
#include "core/platform.h"
#include "render/frame_buffer.h"

namespace {

int Fail(const char* what) {
    std::fprintf(stderr, "quillmere-cli: render: %s\n", what);
    return CliFailure;
}

// --texture: a built-in slot by name, else a JPEG file loaded as "Load
// texture" loads it.
int ApplyTexture(const std::string& name) {
    static const char* const builtin[] = {"wood", "metal", "pattern"};
    for (int slot = 0; slot < 3; ++slot) {
        if (name != builtin[slot]) continue;
        if (!appState.texturing.textures[slot].pixels) return Fail("that built-in texture is not in this build");
        SelectTexture(slot);
        return CliSuccess;
    }
    AnswerDialogsWith(name);
    return LoadUserTexture() ? CliSuccess : CliFailure;  // the loader told why
}

// Applies the view options in the order the menus would: material first
// (it turns texturing and wireframe off), then texture and flags.
int ApplyView(const RenderOptions& o) {
    if (o.material >= 0) SelectMaterialPreset(o.material);
    if (!o.texture.empty() && ApplyTexture(o.texture) != CliSuccess) return CliFailure;
    if (o.wireframe) appState.view.viewFlags |= ViewWireframe;
    if (o.noBackcull) appState.view.viewFlags &= ~ViewBackculled;
    if (o.background) SelectBackground(o.background - 1);
    if (o.lights >= 0) {
        // Switch only the lights that change, as the menu does.
        for (int i = 0; i < LightCount; ++i) {
            if ((appState.shading.lightMask ^ o.lights) & (1 << i)) ToggleLight(i);
        }
    }
    for (const ViewTurn& turn : o.turns) TurnView(turn.degrees, turn.axis[0], turn.axis[1], turn.axis[2]);
    if (o.zoom > 0.0f) appState.view.zoom = o.zoom;
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
        SetHairControls(o.radiusStep, o.stretchStep, o.keepFaces ? 0 : 1, o.reduce ? 1 : 0);
        if (!CreateHair()) status = CliFailure;
    }
    if (status == CliSuccess && o.invert) InvertCurrentMesh();
    if (status == CliSuccess) status = ApplyView(o);
    if (status == CliSuccess) {
        appState.view.viewWidth = o.width;
        appState.view.viewHeight = o.height;
        if (!CreateMemoryFrameBuffer(&frameBuffer, appState.view.viewWidth, appState.view.viewHeight)) {
            ShowMessageBox(OwnerNone, "Failed to create 3D context.", "", MessageOk);
            status = CliFailure;
        }
    }
    if (status == CliSuccess) {
        appState.view.fullRedraw = 1;
        DrawFrame(appState.view.viewWidth, appState.view.viewHeight, appState.model.scene);
        AnswerDialogsWith(o.output);
        if (!SaveViewImage()) status = CliFailure;
    }
    ReleaseFrameBufferImages(&frameBuffer);
    ReleaseAppState();
    return status;
}

}  // namespace

int CliRender(const CliArgs& args) { return RunWithOptions(args, ParseRenderOptions, RenderAndSave); }
