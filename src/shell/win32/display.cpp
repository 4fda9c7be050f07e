// The display: keeps the view size in step with the window, repaints, and
// turns mouse input into trackball turns and zoom.
#include <windows.h>

#include "app/app_state.h"
#include "app/view.h"
#include "shell/win32/shell.h"

namespace {

// Mouse positions come from the cursor, not from the message, in client
// pixels of the display.
POINT CursorInDisplay(HWND window) {
    POINT point = {};
    GetCursorPos(&point);
    ScreenToClient(window, &point);
    return point;
}

constexpr int MinimumViewSide = 10;

}  // namespace

LRESULT CALLBACK DisplayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: appState.view.fullRedraw = 1; return 0;
        case WM_SIZE: {
            const int width = LOWORD(lParam);
            const int height = HIWORD(lParam);
            appState.view.viewWidth = width < MinimumViewSide ? MinimumViewSide : width;
            appState.view.viewHeight = height < MinimumViewSide ? MinimumViewSide : height;
            RequestRedraw();
            return 0;
        }
        case WM_ERASEBKGND:
            // The frame covers every pixel of the client area. Erasing to the
            // class brush would come after the frame is drawn (the default
            // painting erases when it validates) and leave a blank where a
            // closed window or dialog uncovered the preview.
            return 1;
        case WM_PAINT:
            appState.view.fullRedraw = 1;
            if (displayReady) DrawDisplayFrame();
            break;
        case WM_MOUSEMOVE: {
            const POINT p = CursorInDisplay(window);
            if (wParam & MK_LBUTTON) {
                TrackballEvent(MouseMove, p.x, p.y);
            } else if (wParam & MK_RBUTTON) {
                ZoomEvent(MouseMove, p.y);
            }
            return 0;
        }
        case WM_LBUTTONDOWN: {
            const POINT p = CursorInDisplay(window);
            TrackballEvent(MousePress, p.x, p.y);
            return 0;
        }
        case WM_LBUTTONUP: {
            const POINT p = CursorInDisplay(window);
            TrackballEvent(MouseRelease, p.x, p.y);
            return 0;
        }
        case WM_RBUTTONDOWN:
            appState.view.spinning = 0;
            ZoomEvent(MousePress, CursorInDisplay(window).y);
            return 0;
        case WM_RBUTTONUP:
            ZoomEvent(MouseRelease, CursorInDisplay(window).y);
            appState.view.redrawPending = 1;
            return 0;
        default: break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
