// The tool bar: hair settings, view options and the statistics of the mesh
// on show, mirrored into the application state.
#include <windows.h>

#include "app/app_state.h"
#include "app/ui_ids.h"
#include "shell/win32/providers.h"
#include "shell/win32/shell.h"

namespace {

bool Ticked(HWND dialog, int id) { return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void SetViewFlag(ViewFlags flag, bool on) {
    if (on) {
        appState.viewFlags |= flag;
    } else {
        appState.viewFlags &= ~flag;
    }
}

void ShowHair(HWND dialog, bool hair) {
    appState.showHair = hair ? 1 : 0;
    CheckDlgButton(dialog, IDC_HAIR, hair ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_ORIGINAL, hair ? BST_UNCHECKED : BST_CHECKED);
    UpdateStatistics();
}

// Handles a control's command; returns false for ids the tool bar ignores
// and for the Enter key, which ask for no redraw.
bool RunControl(HWND dialog, int id) {
    switch (id) {
        case IDC_ONLY_DYNAMIC: appState.hair.onlyDynamic = Ticked(dialog, id) ? 1 : 0; return true;
        case IDC_REDUCE: appState.hair.reduce = Ticked(dialog, id) ? 1 : 0; return true;
        case IDC_CREATE: CreateHair(); return true;
        case IDC_WIREFRAME: SetViewFlag(ViewWireframe, Ticked(dialog, id)); return true;
        case IDC_BACKCULLED: SetViewFlag(ViewBackculled, Ticked(dialog, id)); return true;
        case IDC_TEXTURED:
            if (Ticked(dialog, id)) {
                SetViewFlag(ViewTextured, true);
                SetViewFlag(ViewWireframe, false);
                CheckDlgButton(dialog, IDC_WIREFRAME, BST_UNCHECKED);
            } else {
                SetViewFlag(ViewTextured, false);
            }
            return true;
        case IDC_ORIGINAL: ShowHair(dialog, !Ticked(dialog, id)); return true;
        case IDC_HAIR: ShowHair(dialog, Ticked(dialog, id)); return true;
        case IDC_INVERT: InvertCurrentMesh(); return true;
        case IDOK: SetFocus(dialog); return false;
        default: return false;
    }
}

}  // namespace

INT_PTR CALLBACK ToolBarProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            // The commands reach the controls through the tool bar's handle,
            // which CreateDialogParamA has not returned yet.
            toolBar = dialog;
            InitialiseToolBarControls();
            return TRUE;
        case WM_VSCROLL: {
            const int code = LOWORD(wParam);
            if (code != SB_LINEUP && code != SB_LINEDOWN) return FALSE;
            const int up = code == SB_LINEUP ? 1 : 0;
            const HWND bar = reinterpret_cast<HWND>(lParam);
            if (bar == GetDlgItem(dialog, IDC_RADIUS_SCROLL)) {
                StepHairRadius(up);
                UpdateHairFields();
            } else if (bar == GetDlgItem(dialog, IDC_STRETCH_SCROLL)) {
                StepHairStretch(up);
                UpdateHairFields();
            }
            return FALSE;
        }
        case WM_COMMAND:
            if (RunControl(dialog, LOWORD(wParam))) RequestRedraw();
            return FALSE;
        default: return FALSE;
    }
}
