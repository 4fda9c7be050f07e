// The main window: the menu commands, and what minimising, activation and
// closing do to the view.
#include <windows.h>
#include <shellapi.h>

#include "app/app_state.h"
#include "app/commands.h"
#include "app/menu_commands.h"
#include "app/ui_ids.h"
#include "app/view.h"
#include "shell/win32/providers.h"
#include "shell/win32/shell.h"

namespace {

void ShowAbout() {
    const int32_t wasSpinning = appState.view.spinning;
    DialogBoxParamA(appInstance, "AboutDialog", mainWindow, AboutProc, 0);
    appState.view.spinning = wasSpinning;
}

// "Exit" and "About" are the window's own; every other command is the
// application's. Returns false when the command asks for no redraw.
bool RunCommand(HWND window, int id) {
    switch (id) {
        case IDM_EXIT: DestroyWindow(window); return false;
        case IDM_ABOUT: ShowAbout(); return true;
        default: return RunMenuCommand(id) != 0;
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
                appState.view.spinning = 0;
                ResetDragStates();
            } else {
                RequestRedraw();
            }
            return 0;
        case WM_ACTIVATE:
            if (wParam == WA_INACTIVE) appState.view.spinning = 0;
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
            if (RunCommand(window, id)) RequestRedraw();
            return 0;
        }
        default: break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
