// The platform seam for the command-line tool: messages go to stderr as
// "caption: text", dialogs answer with the paths given on the command line.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/cli.h"
#include "core/embedded.h"
#include "core/file_name.h"
#include "core/platform.h"

namespace {
std::string dialogAnswer;

int Answer(char* path, size_t pathSize, char* fileTitle, size_t fileTitleSize) {
    if (dialogAnswer.empty() || dialogAnswer.size() >= pathSize) return 0;
    std::memcpy(path, dialogAnswer.c_str(), dialogAnswer.size() + 1);
    if (fileTitle && fileTitleSize > 0) {
        std::snprintf(fileTitle, fileTitleSize, "%s", FileNameOf(path));
    }
    return 1;
}
}  // namespace

void AnswerDialogsWith(const std::string& path) { dialogAnswer = path; }

void ShowMessageBox(PlatformOwner, const char* text, const char* caption, unsigned) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

int AskOpenFileName(PlatformOwner, const FileDialogRequest&, char* path, size_t pathSize, char* fileTitle,
                    size_t fileTitleSize) {
    return Answer(path, pathSize, fileTitle, fileTitleSize);
}

int AskSaveFileName(PlatformOwner, const FileDialogRequest&, char* path, size_t pathSize, char* fileTitle,
                    size_t fileTitleSize) {
    return Answer(path, pathSize, fileTitle, fileTitleSize);
}

void SetMainWindowTitle(const char*) {}

// The command line has no tool bar and no menu.
void SetToolBarCheck(int, int) {}
void EnableToolBarControl(int, int) {}
void SetToolBarText(int, const char*) {}
void SetMenuCheck(int, int) {}
void SetMenuText(int, const char*) {}
void EnableMenuCommand(int, int) {}

// The command-line tool saves the 24-bit image; there is no window to show it in.
void PresentFrameRect(const unsigned char*, int, int, int, int, int) {}

int FindEmbeddedResource(const char* name, const unsigned char** data, size_t* size) {
    return LookupEmbeddedBytes(name, data, size);
}
