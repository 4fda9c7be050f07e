// The main window: the menu commands, and what minimising, activation and
// closing do to the view.
#include <windows.h>
#include <shellapi.h>

#include "app/app_state.h"
#include "app/commands.h"
#include "core/lights.h"
#include "app/ui_ids.h"
#include "app/view.h"
#include "shell/win32/providers.h"
#include "shell/win32/shell.h"

namespace {

void CheckMenuCommand(int id, bool checked) { SetMenuCheck(id, checked ? 1 : 0); }
void TickToolBarBox(int id, bool ticked) { SetToolBarCheck(id, ticked ? 1 : 0); }

void WireframeOff() {
    appState.viewFlags &= ~ViewWireframe;
    TickToolBarBox(IDC_WIREFRAME, false);
}

void TexturedOn() {
    appState.viewFlags |= ViewTextured;
    TickToolBarBox(IDC_TEXTURED, true);
    WireframeOff();
}

// The radio-like menus: the old item loses its mark before the new one gets
// it, so choosing the checked item keeps it checked.
void SelectTexture(int slot) {
    CheckMenuCommand(IDM_TEXTURE_WOOD + textureSelection, false);
    CheckMenuCommand(IDM_TEXTURE_WOOD + slot, true);
    textureSelection = slot;
    appState.currentTexture = &appState.textures[slot];
    TexturedOn();
}

void SelectBackground(int selection) {
    CheckMenuCommand(IDM_BACKGROUND_GREY1 + backgroundSelection, false);
    CheckMenuCommand(IDM_BACKGROUND_GREY1 + selection, true);
    backgroundSelection = selection;
    appState.background = backgroundTable[selection];
}

void ShowAbout() {
    const int32_t wasSpinning = appState.spinning;
    DialogBoxParamA(appInstance, "AboutDialog", mainWindow, AboutProc, 0);
    appState.spinning = wasSpinning;
}

// Returns false when the command asks for no redraw.
bool RunMenuCommand(HWND window, int id) {
    switch (id) {
        case IDM_EXIT: DestroyWindow(window); return false;
        case IDM_ABOUT: ShowAbout(); return true;
        case IDM_OPEN_MESH:
            OpenMeshCommand();  // on success also "Prop Material", wireframe off
            return true;
        case IDM_EXPORT_OBJ: ExportMesh(); return true;
        case IDM_LOAD_TEXTURE: {
            if (!LoadTextureFile(OwnerMainWindow, &appState.textures[TextureUser], userTextureName,
                                 sizeof userTextureName)) {
                return false;
            }
            SetMenuText(IDM_TEXTURE_USER, userTextureName);
            EnableMenuCommand(IDM_TEXTURE_USER, 1);
            SelectTexture(TextureUser);
            return true;
        }
        case IDM_SAVE_IMAGE: SaveDisplayImage(); return true;
        case IDM_RESET_VIEW: ResetView(); return true;
        default: break;
    }
    if (id >= IDM_TEXTURE_WOOD && id <= IDM_TEXTURE_USER) {
        SelectTexture(id - IDM_TEXTURE_WOOD);
    } else if (id >= IDM_LIGHT1 && id <= IDM_LIGHT3) {
        const int32_t bit = 1 << (id - IDM_LIGHT1);
        lightMask ^= bit;
        CheckMenuCommand(id, (lightMask & bit) != 0);
        SetLight(id - IDM_LIGHT1, lightMask & bit);
    } else if (id >= IDM_MATERIAL_FIRST && id <= IDM_MATERIAL_PROP) {
        SelectMaterialPreset(id - IDM_MATERIAL_FIRST);  // texturing and wireframe off
    } else if (id == IDM_BACKGROUND_GREY1 || id == IDM_BACKGROUND_GREY2) {
        SelectBackground(id - IDM_BACKGROUND_GREY1);
    }
    return true;
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

// Files dropped on the window: the first one opens as "Open mesh File"
// would open it. A name longer than the open dialog's buffer is not opened,
// as that dialog would not return it.
void OpenDroppedFile(HDROP drop) {
    char path[PlatformPathSize];
    const UINT length = DragQueryFileA(drop, 0, nullptr, 0);
    const bool fits = length > 0 && length < sizeof path && DragQueryFileA(drop, 0, path, sizeof path) == length;
    DragFinish(drop);
    if (fits) OpenDroppedMesh(path);
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: return 0;
        case WM_DESTROY: PostQuitMessage(0); break;
        case WM_SIZE:
            if (wParam == SIZE_MINIMIZED) {
                SetWindowTextA(window, className);
                appState.spinning = 0;
                ResetDragStates();
            } else {
                RequestRedraw();
            }
            return 0;
        case WM_ACTIVATE:
            if (wParam == WA_INACTIVE) appState.spinning = 0;
            RequestRedraw();
            if (displayReady) DrawDisplayFrame();
            return 0;
        case WM_SYSCOMMAND:
            if (wParam == SC_CLOSE) {
                DestroyWindow(window);
                return 0;
            }
            break;
        case WM_DROPFILES: OpenDroppedFile(reinterpret_cast<HDROP>(wParam)); return 0;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (!IsMenuCommand(id)) break;
            if (RunMenuCommand(window, id)) RequestRedraw();
            return 0;
        }
        default: break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
