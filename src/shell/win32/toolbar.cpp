// The tool bar: hair settings, view options and the statistics of the mesh
// on show, mirrored into the application state.
#include <windows.h>

#include "app/app_state.h"
#include "app/menu_commands.h"
#include "app/ui_ids.h"
#include "shell/win32/providers.h"
#include "shell/win32/shell.h"

namespace {

bool Ticked(HWND dialog, int id) { return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// The Enter key keeps the focus on the tool bar and asks for no redraw;
// every control is the application's command. Returns false when there is
// nothing to redraw.
bool RunControl(HWND dialog, int id) {
    if (id == IDOK) {
        SetFocus(dialog);
        return false;
    }
    return RunToolBarControl(id, Ticked(dialog, id) ? 1 : 0) != 0;
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
