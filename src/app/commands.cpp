// The commands of the menu and the tool bar that replace or change meshes,
// and the start-up sequence that gives the application state its values.
#include "app/commands.h"

#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/hair_settings.h"
#include "core/file_name.h"
#include "core/lights.h"
#include "core/mapping.h"
#include "core/platform.h"
#include "app/ui_ids.h"
#include "app/view.h"
#include "formats/builtin_model.h"
#include "formats/file_source.h"
#include "formats/obj_reader.h"
#include "formats/obj_writer.h"
#include "formats/poser_reader.h"
#include "ribbon/ribbon_builder.h"
#include "texture/texture_slots.h"

const char* const ProgramName = "Quillmere";

namespace {

// Room for the program name, the separators and a whole meshFileName.
constexpr size_t TitleSize = MeshFileNameSize + 64;

void ShowOriginalAndHair(int enabled) {
    SetToolBarCheck(IDC_ORIGINAL, appState.model.showHair ? 0 : 1);
    SetToolBarCheck(IDC_HAIR, appState.model.showHair ? 1 : 0);
    EnableToolBarControl(IDC_ORIGINAL, enabled);
    EnableToolBarControl(IDC_HAIR, enabled);
}

void ShowCount(int controlId, int32_t count) {
    char text[32];
    std::snprintf(text, sizeof text, "%ld", static_cast<long>(count));
    SetToolBarText(controlId, text);
}

}  // namespace

namespace {

// The three built-in textures; one that does not decode leaves its slot
// empty and the program runs without it.
void LoadBuiltinTextures() {
    const char* const textureNames[3] = {"wood", "metal", "pattern"};
    for (int slot = 0; slot < 3; ++slot) LoadTextureResource(&appState.texturing.textures[slot], textureNames[slot]);
}

}  // namespace

Mesh* LoadStartupModel(int32_t* materialsTaken) {
    Mesh* model = CreateMesh("computer");
    if (!model) return nullptr;
    if (!LoadBuiltinModel(model, materialsTaken)) {
        ShowMessageBox(OwnerMainWindow, "Error", "Internal Object error", MessageOk);
        FreeMesh(model);
        return nullptr;
    }
    return model;
}

int InitialiseAppState() {
    // Every value starts where ResetAppState puts it; what follows is only
    // what start-up loads and the menu marks that show it.
    ResetAppState();
    SetMenuCheck(IDM_BACKGROUND_GREY1, 1);
    LoadBuiltinTextures();
    SetMenuCheck(IDM_TEXTURE_WOOD, 1);

    int32_t materialsTaken = 0;
    Mesh* model = LoadStartupModel(&materialsTaken);
    if (!model) return 0;
    appState.shading.materialSelection = materialsTaken ? PropMaterialPreset : 0;
    ApplyMaterialPreset(appState.shading.materialSelection, 0);
    SetMenuCheck(IDM_MATERIAL_FIRST + appState.shading.materialSelection, 1);

    appState.model.scene.meshCount = 1;
    appState.model.scene.meshes[0] = model;
    ComputeSceneBounds(&appState.model.scene);

    SetLight(0, 1);
    SetMenuCheck(IDM_LIGHT1, 1);
    return 1;
}

void ReleaseAppState() {
    ClearScene(&appState.model.scene);
    for (Texture& texture : appState.texturing.textures) ReleaseTexturePixels(&texture);
}

void InitialiseToolBarControls() {
    SetToolBarCheck(IDC_WIREFRAME, (appState.view.viewFlags & ViewWireframe) ? 1 : 0);
    SetToolBarCheck(IDC_BACKCULLED, (appState.view.viewFlags & ViewBackculled) ? 1 : 0);
    SetToolBarCheck(IDC_TEXTURED, (appState.view.viewFlags & ViewTextured) ? 1 : 0);
    SetToolBarCheck(IDC_ONLY_DYNAMIC, appState.hairControls.hair.onlyDynamic ? 1 : 0);
    SetToolBarCheck(IDC_REDUCE, appState.hairControls.hair.reduce ? 1 : 0);
    ShowOriginalAndHair(appState.model.hairAvailable ? 1 : 0);
    EnableToolBarControl(IDC_CREATE, 0);
    UpdateStatistics();
    UpdateHairFields();
}

namespace {

// Reads the file at `path` into `mesh` (taken over: freed on failure) and on
// success makes it the scene's model, as "Open mesh File" does.
int OpenIntoScene(Mesh* mesh, const char* path) {
    const char* name = FileNameOf(path);
    const MeshFileFormat format = MeshFileFormatOf(name);
    if (format == MeshFileUnsupported) {
        ShowMessageBox(OwnerMainWindow, "Not supported file format", name, MessageIconError);
        FreeMesh(mesh);
        return 0;
    }
    const int loaded = format == MeshFileObj ? LoadObjFile(mesh, path) : LoadPoserFile(mesh, path);
    if (!loaded) {
        FreeMesh(mesh);
        return 0;
    }

    ClearScene(&appState.model.scene);
    appState.model.scene.meshes[0] = mesh;
    appState.model.scene.meshCount = 1;
    ComputeSceneBounds(&appState.model.scene);
    CopyName(appState.model.meshFileName, name, MeshFileNameSize);

    appState.model.hairAvailable = 0;
    appState.model.showHair = 0;
    appState.hairControls.hair.reduce = 0;
    appState.hairControls.radiusStep = RadiusStepStart;
    appState.hairControls.stretchStep = 0;
    ShowOriginalAndHair(0);
    SetToolBarCheck(IDC_REDUCE, 0);
    EnableToolBarControl(IDC_CREATE, mesh->lineCount != 0 ? 1 : 0);
    UpdateStatistics();
    UpdateHairFields();

    SetIdentity(&appState.view.rotation);
    SetIdentity(&appState.view.spinStep);
    // The dialog's closing click may reach the display as a lone release; no
    // drag of the old model carries over to the new one.
    ResetDragStates();

    char title[TitleSize];
    std::snprintf(title, sizeof title, "%s:   %s", ProgramName, appState.model.meshFileName);
    SetMainWindowTitle(title);
    return 1;
}

// What the "Open mesh File" command adds to an open: a new model shows its
// own materials, without wireframe; texturing stays as it was.
int ShowOpenedMesh(int opened) {
    if (opened) {
        SetMenuCheck(IDM_MATERIAL_FIRST + appState.shading.materialSelection, 0);
        SetMenuCheck(IDM_MATERIAL_PROP, 1);
        appState.shading.materialSelection = PropMaterialPreset;
        appState.view.viewFlags &= ~ViewWireframe;
        SetToolBarCheck(IDC_WIREFRAME, 0);
        ApplyMaterialPreset(PropMaterialPreset, 0);
    }
    RequestRedraw();
    return opened;
}

}  // namespace

int OpenMeshFile() {
    Mesh* mesh = CreateMesh("prop");
    if (!mesh) return 0;

    // Full-length buffers: a long path must not look like a cancel, and the
    // name and extension are taken from the path itself.
    char path[PlatformPathSize] = "";
    const FileDialogRequest request{"*.obj *.pp2 *.hr2 *.cr2 *.obz *.ppz *.hrz *.crz",
                                    "*.obj;*.pp2;*.hr2;*.cr2;*.obz;*.ppz;*.hrz;*.crz", nullptr, nullptr, 0};
    if (!AskOpenFileName(OwnerMainWindow, request, path, sizeof path, nullptr, 0)) {
        FreeMesh(mesh);
        return 0;
    }
    return OpenIntoScene(mesh, path);
}

int OpenMeshPath(const char* path) {
    Mesh* mesh = CreateMesh("prop");
    return mesh ? OpenIntoScene(mesh, path) : 0;
}

void SelectMaterialPreset(int selection) {
    if (selection < 0 || selection >= MaterialPresetCount) return;
    SetMenuCheck(IDM_MATERIAL_FIRST + appState.shading.materialSelection, 0);
    SetMenuCheck(IDM_MATERIAL_FIRST + selection, 1);
    appState.shading.materialSelection = selection;
    appState.view.viewFlags &= ~(ViewTextured | ViewWireframe);
    SetToolBarCheck(IDC_TEXTURED, 0);
    SetToolBarCheck(IDC_WIREFRAME, 0);
    ApplyMaterialPreset(selection, 0);
}

int OpenMeshCommand() { return ShowOpenedMesh(OpenMeshFile()); }

int OpenDroppedMesh(const char* path) { return ShowOpenedMesh(OpenMeshPath(path)); }

int CreateHair() {
    // The hair mesh this one replaces lends it its storage.
    Mesh* previous = appState.model.scene.meshCount >= 2 ? appState.model.scene.meshes[1] : nullptr;
    Mesh* hair = appState.model.scene.meshCount >= 1 && appState.model.scene.meshes[0]
                     ? BuildHairMesh(appState.model.scene.meshes[0], appState.hairControls.hair, previous)
                     : nullptr;
    if (!hair) {
        ShowMessageBox(OwnerToolBar, "unable to create hair", "error", MessageOk);
        return 0;
    }
    if (appState.model.scene.meshCount >= 2) FreeMesh(appState.model.scene.meshes[1]);
    appState.model.scene.meshes[1] = hair;
    appState.model.scene.meshCount = 2;
    ComputeSceneBounds(&appState.model.scene);
    appState.model.hairAvailable = 1;
    appState.model.showHair = 1;
    ShowOriginalAndHair(1);
    UpdateStatistics();
    return 1;
}

int ExportMesh() {
    const int slot = appState.model.showHair ? 1 : 0;
    Mesh* mesh = slot < appState.model.scene.meshCount ? appState.model.scene.meshes[slot] : nullptr;
    if (!mesh) return 0;
    if (!SaveObjFile(OwnerMainWindow, mesh, appState.model.meshFileName, MeshFileNameSize)) return 0;
    char title[TitleSize];
    std::snprintf(title, sizeof title, "%s:   File %s saved", ProgramName, appState.model.meshFileName);
    SetMainWindowTitle(title);
    return 1;
}

void InvertCurrentMesh() { InvertMesh(CurrentMesh()); }

void UpdateStatistics() {
    const Mesh* mesh = CurrentMesh();
    if (!mesh) return;
    ShowCount(IDC_STAT_VERTICES, mesh->vertexCount);
    ShowCount(IDC_STAT_UV_VERTICES, mesh->texCoordCount);
    ShowCount(IDC_STAT_FACES, mesh->polygonCount);
    ShowCount(IDC_STAT_LINES, mesh->lineCount);
    ShowCount(IDC_STAT_GROUPS, mesh->groupCount);
    ShowCount(IDC_STAT_MATERIALS, mesh->materialCount);
}

int StepHairRadius(int up) {
    appState.hairControls.radiusStep = NextRadiusStep(appState.hairControls.radiusStep, up ? 1 : -1);
    return 1;
}

int StepHairStretch(int up) {
    appState.hairControls.stretchStep = NextStretchStep(appState.hairControls.stretchStep, up ? 1 : -1);
    return 1;
}

void UpdateHairFields() {
    appState.hairControls.hair.radius =
        HairRadiusForStep(appState.hairControls.baseRadius, appState.hairControls.radiusStep);
    appState.hairControls.hair.stretch = HairStretchForStep(appState.hairControls.stretchStep);
    char text[64];
    std::snprintf(text, sizeof text, "%8.6f", static_cast<double>(appState.hairControls.hair.radius));
    SetToolBarText(IDC_RADIUS_VALUE, text);
    std::snprintf(text, sizeof text, "%4.3f", static_cast<double>(appState.hairControls.hair.stretch));
    SetToolBarText(IDC_STRETCH_VALUE, text);
}
