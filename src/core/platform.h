// What the application asks of the window system: message boxes, the open and
// save dialogs, the window title, embedded resources. Three implementations
// are chosen at link time: the Win32 shell, the command-line tool, and the
// recording fake used by tests.
#pragma once

#include <cstddef>

// Who owns a message box or dialog.
enum PlatformOwner {
    OwnerNone = 0,  // no owner window
    OwnerMainWindow = 1,
    OwnerToolBar = 2,
};

// Message box styles, with the values of the Win32 MB_ flags they stand for.
constexpr unsigned MessageOk = 0x00;
constexpr unsigned MessageIconError = 0x10;

void ShowMessageBox(PlatformOwner owner, const char* text, const char* caption, unsigned style);

// One open or save dialog. Strings that are null mean "none".
struct FileDialogRequest {
    const char* filterDescription;
    const char* filterPattern;
    const char* title;
    const char* defaultExtension;  // without the dot
    int overwritePrompt;           // ask before replacing; hide the read-only box
};

// Shows the dialog. `path` (pathSize bytes) holds the proposed name on entry
// for a save dialog and the chosen full path on return; `fileTitle`, when not
// null, receives the chosen name without its folder. Returns 1 when the user
// chose a file, 0 on cancel.
int AskOpenFileName(PlatformOwner owner, const FileDialogRequest& request, char* path, size_t pathSize, char* fileTitle,
                    size_t fileTitleSize);
int AskSaveFileName(PlatformOwner owner, const FileDialogRequest& request, char* path, size_t pathSize, char* fileTitle,
                    size_t fileTitleSize);

// Full path length the dialogs' buffers hold.
constexpr size_t PlatformPathSize = 1024;

void SetMainWindowTitle(const char* title);

// The tool bar's controls and the menu's items, by the ids of app/ui_ids.h:
// tick or untick a check box, enable or grey a control, set a field's text;
// check or uncheck a menu item, set its text, enable or grey it.
void SetToolBarCheck(int controlId, int checked);
void EnableToolBarControl(int controlId, int enabled);
void SetToolBarText(int controlId, const char* text);
void SetMenuCheck(int commandId, int checked);
void SetMenuText(int commandId, const char* text);
void EnableMenuCommand(int commandId, int enabled);

// The bytes of an embedded resource ("model", "wood", "metal", "pattern"),
// or 0 when there is none. The bytes belong to the program: read-only, never
// freed, valid for the whole run.
int FindEmbeddedResource(const char* name, const unsigned char** data, size_t* size);

// Shows a rectangle of the preview's 24-bit picture (blue, green, red bytes)
// in the display window: x, y (view pixels), width x height. With `packed` 0
// the rectangle sits at its place in `pixels`, the whole picture, which is
// the display surface the front end itself made; with `packed` 1 its rows
// lie bottom row first at the start of `pixels`, width * 3 bytes each. The
// command-line tool shows nothing.
void PresentFrameRect(const unsigned char* pixels, int packed, int x, int y, int width, int height);
