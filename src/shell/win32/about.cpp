// The About box: the banner drawn into an owner-drawn button, blue texts on
// light grey, and an OK button.
#include <windows.h>

#include "app/ui_ids.h"
#include "shell/win32/shell.h"

namespace {

bool DrawBanner(const DRAWITEMSTRUCT& item) {
    if (item.itemAction != ODA_DRAWENTIRE) return false;
    BITMAP info = {};
    GetObjectA(aboutBitmap, sizeof info, &info);
    HDC memory = CreateCompatibleDC(item.hDC);
    HGDIOBJ previous = SelectObject(memory, aboutBitmap);
    BitBlt(item.hDC, 0, 0, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    return true;
}

}  // namespace

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return TRUE;
        case WM_DRAWITEM: return DrawBanner(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)) ? TRUE : FALSE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_ABOUT_OK) EndDialog(dialog, 0);
            return FALSE;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_CLOSE) EndDialog(dialog, 0);
            return FALSE;
        case WM_CTLCOLORSTATIC: {
            HDC context = reinterpret_cast<HDC>(wParam);
            SetBkColor(context, DialogGrey);
            SetTextColor(context, StaticTextBlue);
            return reinterpret_cast<INT_PTR>(dialogBrush);
        }
        case WM_CTLCOLORDLG: return reinterpret_cast<INT_PTR>(dialogBrush);
        default: return FALSE;
    }
}
