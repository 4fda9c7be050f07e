// The platform seam on Win32: message boxes, the common open and save
// dialogs, the window title, the tool bar's and the menu's states, embedded
// resources, and showing the frame buffer in the display.
#include <windows.h>
#include <commdlg.h>

#include <cstdio>
#include <cstring>

#include "core/platform.h"
#include "shell/win32/providers.h"
#include "shell/win32/shell.h"

namespace {

HWND OwnerWindow(PlatformOwner owner) {
    switch (owner) {
        case OwnerMainWindow: return mainWindow;
        case OwnerToolBar: return toolBar;
        default: return nullptr;
    }
}

// Win32 filters are pairs of strings ending in an empty one: "text\0pattern\0\0".
void BuildFilter(const FileDialogRequest& request, char* filter, size_t size) {
    std::memset(filter, 0, size);
    if (!request.filterDescription || !request.filterPattern) return;
    const size_t description = std::strlen(request.filterDescription);
    const size_t pattern = std::strlen(request.filterPattern);
    if (description + pattern + 3 > size) return;
    std::memcpy(filter, request.filterDescription, description);
    std::memcpy(filter + description + 1, request.filterPattern, pattern);
}

OPENFILENAMEA DialogFields(PlatformOwner owner, const FileDialogRequest& request, char* filter, char* path,
                           size_t pathSize, char* fileTitle, size_t fileTitleSize) {
    OPENFILENAMEA fields = {};
    fields.lStructSize = sizeof fields;
    fields.hwndOwner = OwnerWindow(owner);
    fields.lpstrFilter = filter[0] ? filter : nullptr;
    fields.nFilterIndex = 1;
    fields.lpstrFile = path;
    fields.nMaxFile = static_cast<DWORD>(pathSize);
    fields.lpstrFileTitle = fileTitleSize > 0 ? fileTitle : nullptr;
    fields.nMaxFileTitle = fileTitle ? static_cast<DWORD>(fileTitleSize) : 0;
    fields.lpstrTitle = request.title;
    fields.lpstrDefExt = request.defaultExtension;
    if (request.overwritePrompt) fields.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    return fields;
}

}  // namespace

void ShowMessageBox(PlatformOwner owner, const char* text, const char* caption, unsigned style) {
    MessageBoxA(OwnerWindow(owner), text, caption, style);
}

int AskOpenFileName(PlatformOwner owner, const FileDialogRequest& request, char* path, size_t pathSize, char* fileTitle,
                    size_t fileTitleSize) {
    if (pathSize == 0) return 0;
    char filter[512];
    BuildFilter(request, filter, sizeof filter);
    path[0] = '\0';
    OPENFILENAMEA fields = DialogFields(owner, request, filter, path, pathSize, fileTitle, fileTitleSize);
    return GetOpenFileNameA(&fields) ? 1 : 0;
}

int AskSaveFileName(PlatformOwner owner, const FileDialogRequest& request, char* path, size_t pathSize, char* fileTitle,
                    size_t fileTitleSize) {
    if (pathSize == 0) return 0;
    char filter[512];
    BuildFilter(request, filter, sizeof filter);
    OPENFILENAMEA fields = DialogFields(owner, request, filter, path, pathSize, fileTitle, fileTitleSize);
    return GetSaveFileNameA(&fields) ? 1 : 0;
}

void SetMainWindowTitle(const char* title) { SetWindowTextA(mainWindow, title); }

void SetToolBarCheck(int controlId, int checked) {
    CheckDlgButton(toolBar, controlId, checked ? BST_CHECKED : BST_UNCHECKED);
}

void EnableToolBarControl(int controlId, int enabled) {
    EnableWindow(GetDlgItem(toolBar, controlId), enabled ? TRUE : FALSE);
}

void SetToolBarText(int controlId, const char* text) { SetDlgItemTextA(toolBar, controlId, text); }

void SetMenuCheck(int commandId, int checked) {
    CheckMenuItem(GetMenu(mainWindow), commandId, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void SetMenuText(int commandId, const char* text) {
    ModifyMenuA(GetMenu(mainWindow), commandId, MF_BYCOMMAND | MF_STRING, commandId, text);
}

void EnableMenuCommand(int commandId, int enabled) {
    EnableMenuItem(GetMenu(mainWindow), commandId, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

int FindEmbeddedResource(const char* name, const unsigned char** data, size_t* size) {
    HRSRC found = FindResourceA(appInstance, name, reinterpret_cast<LPCSTR>(RT_RCDATA));
    if (!found) return 0;
    HGLOBAL loaded = LoadResource(appInstance, found);
    if (!loaded) return 0;
    const void* bytes = LockResource(loaded);
    if (!bytes) return 0;
    *data = static_cast<const unsigned char*>(bytes);
    *size = SizeofResource(appInstance, found);
    return 1;
}

void PresentFrameRect(const unsigned char* pixels, int packed, int x, int y, int width, int height) {
    if (!displayWindow || width <= 0 || height <= 0) return;
    HDC memory = displaySurface.memoryDc;
    if (!packed) {
        HDC window = GetDC(displayWindow);
        BitBlt(window, x, y, width, height, memory, x, y, SRCCOPY);
        ReleaseDC(displayWindow, window);
        return;
    }
    // Without a DIB section the rectangle, packed bottom row first at the
    // start of the 24-bit image, becomes a bitmap for this one copy.
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap =
        CreateDIBitmap(screen, &header, CBM_INIT, pixels, reinterpret_cast<const BITMAPINFO*>(&header), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (!bitmap) return;
    HGDIOBJ previous = SelectObject(memory, bitmap);
    HDC window = GetDC(displayWindow);
    BitBlt(window, x, y, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    ReleaseDC(displayWindow, window);
}
