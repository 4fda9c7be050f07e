// The menu's and the tool bar's commands on the application state.
#include "app/menu_commands.h"

#include "app/app_state.h"
#include "app/commands.h"
#include "app/preview_frame.h"
#include "app/ui_ids.h"
#include "app/view.h"
#include "core/lights.h"
#include "core/platform.h"
#include "texture/texture_slots.h"

namespace {

void SetViewFlag(ViewFlags flag, bool on) {
    if (on) {
        appState.view.viewFlags |= flag;
    } else {
        appState.view.viewFlags &= ~flag;
    }
}

void WireframeOff() {
    SetViewFlag(ViewWireframe, false);
    SetToolBarCheck(IDC_WIREFRAME, 0);
}

// "Original" / "Hair": which mesh is on show.
void ShowHair(bool hair) {
    appState.model.showHair = hair ? 1 : 0;
    SetToolBarCheck(IDC_HAIR, hair ? 1 : 0);
    SetToolBarCheck(IDC_ORIGINAL, hair ? 0 : 1);
    UpdateStatistics();
}

}  // namespace

void SelectTexture(int slot) {
    if (slot < 0 || slot >= TextureSlotCount) return;
    SetMenuCheck(IDM_TEXTURE_WOOD + appState.texturing.textureSelection, 0);
    SetMenuCheck(IDM_TEXTURE_WOOD + slot, 1);
    appState.texturing.textureSelection = slot;
    appState.texturing.currentTexture = &appState.texturing.textures[slot];
    SetViewFlag(ViewTextured, true);
    SetToolBarCheck(IDC_TEXTURED, 1);
    WireframeOff();
}

int LoadUserTexture() {
    if (!LoadTextureFile(OwnerMainWindow, &appState.texturing.textures[TextureUser], appState.texturing.userTextureName,
                         UserTextureNameSize)) {
        return 0;
    }
    SetMenuText(IDM_TEXTURE_USER, appState.texturing.userTextureName);
    EnableMenuCommand(IDM_TEXTURE_USER, 1);
    SelectTexture(TextureUser);
    return 1;
}

void SelectBackground(int selection) {
    if (selection < 0 || selection > 1) return;
    SetMenuCheck(IDM_BACKGROUND_GREY1 + appState.view.backgroundSelection, 0);
    SetMenuCheck(IDM_BACKGROUND_GREY1 + selection, 1);
    appState.view.backgroundSelection = selection;
    appState.view.background = backgroundTable[selection];
}

void ToggleLight(int index) {
    if (index < 0 || index >= LightCount) return;
    const int32_t bit = 1 << index;
    appState.shading.lightMask ^= bit;
    SetMenuCheck(IDM_LIGHT1 + index, (appState.shading.lightMask & bit) != 0 ? 1 : 0);
    SetLight(index, appState.shading.lightMask & bit);
}

void SetHairControls(int radius, int stretch, int onlyDynamic, int reduce) {
    appState.hairControls.radiusStep = radius;
    appState.hairControls.stretchStep = stretch;
    UpdateHairFields();
    appState.hairControls.hair.onlyDynamic = onlyDynamic;
    appState.hairControls.hair.reduce = reduce;
}

bool IsMenuCommand(int id) {
    switch (id) {
        case IDM_EXIT:
        case IDM_ABOUT:
        case IDM_OPEN_MESH:
        case IDM_EXPORT_OBJ:
        case IDM_LOAD_TEXTURE:
        case IDM_SAVE_IMAGE:
        case IDM_RESET_VIEW:
        case IDM_BACKGROUND_GREY1:
        case IDM_BACKGROUND_GREY2: return true;
        default:
            return (id >= IDM_TEXTURE_WOOD && id <= IDM_TEXTURE_USER) || (id >= IDM_LIGHT1 && id <= IDM_LIGHT3) ||
                   (id >= IDM_MATERIAL_FIRST && id <= IDM_MATERIAL_PROP);
    }
}

int RunMenuCommand(int id) {
    switch (id) {
        case IDM_OPEN_MESH: OpenMeshCommand(); return 1;  // on success also "Prop Material", wireframe off
        case IDM_EXPORT_OBJ: ExportMesh(); return 1;
        case IDM_LOAD_TEXTURE: return LoadUserTexture();
        case IDM_SAVE_IMAGE: SaveViewImage(); return 1;
        case IDM_RESET_VIEW: ResetView(); return 1;
        default: break;
    }
    if (id >= IDM_TEXTURE_WOOD && id <= IDM_TEXTURE_USER) {
        SelectTexture(id - IDM_TEXTURE_WOOD);
    } else if (id >= IDM_LIGHT1 && id <= IDM_LIGHT3) {
        ToggleLight(id - IDM_LIGHT1);
    } else if (id >= IDM_MATERIAL_FIRST && id <= IDM_MATERIAL_PROP) {
        SelectMaterialPreset(id - IDM_MATERIAL_FIRST);  // texturing and wireframe off
    } else if (id == IDM_BACKGROUND_GREY1 || id == IDM_BACKGROUND_GREY2) {
        SelectBackground(id - IDM_BACKGROUND_GREY1);
    } else {
        return 0;
    }
    return 1;
}

int RunToolBarControl(int id, int ticked) {
    switch (id) {
        case IDC_ONLY_DYNAMIC: appState.hairControls.hair.onlyDynamic = ticked ? 1 : 0; return 1;
        case IDC_REDUCE: appState.hairControls.hair.reduce = ticked ? 1 : 0; return 1;
        case IDC_CREATE: CreateHair(); return 1;
        case IDC_WIREFRAME: SetViewFlag(ViewWireframe, ticked != 0); return 1;
        case IDC_BACKCULLED: SetViewFlag(ViewBackculled, ticked != 0); return 1;
        case IDC_TEXTURED:
            SetViewFlag(ViewTextured, ticked != 0);
            if (ticked) WireframeOff();
            return 1;
        case IDC_ORIGINAL: ShowHair(!ticked); return 1;
        case IDC_HAIR: ShowHair(ticked != 0); return 1;
        case IDC_INVERT: InvertCurrentMesh(); return 1;
        default: return 0;
    }
}
