#include "support/platform_fake.h"

#include <cstdio>
#include <cstring>

#include "core/embedded.h"

namespace {
FakePlatform fake;

std::string Text(const char* s) { return s ? s : ""; }

int Answer(bool save, PlatformOwner owner, const FileDialogRequest& request, char* path, size_t pathSize,
           char* fileTitle, size_t fileTitleSize) {
    FakeDialog d{save,
                 owner,
                 request,
                 Text(request.filterDescription),
                 Text(request.filterPattern),
                 Text(request.title),
                 Text(request.defaultExtension),
                 Text(path),
                 pathSize,
                 fileTitleSize};
    fake.dialogs.push_back(d);
    if (fake.dialogAnswers.empty()) return 0;
    const std::string answer = fake.dialogAnswers.front();
    fake.dialogAnswers.pop_front();
    if (answer.empty() || answer.size() >= pathSize) return 0;
    std::memcpy(path, answer.c_str(), answer.size() + 1);
    if (fileTitle && fileTitleSize > 0) {
        const size_t slash = answer.find_last_of("/\\");
        const std::string title = slash == std::string::npos ? answer : answer.substr(slash + 1);
        std::snprintf(fileTitle, fileTitleSize, "%s", title.c_str());
    }
    return 1;
}
}  // namespace

FakePlatform& Fake() { return fake; }
void ResetFake() { fake = FakePlatform{}; }

void ShowMessageBox(PlatformOwner owner, const char* text, const char* caption, unsigned style) {
    fake.messages.push_back(FakeMessage{owner, Text(text), Text(caption), style});
}

int AskOpenFileName(PlatformOwner owner, const FileDialogRequest& request, char* path, size_t pathSize, char* fileTitle,
                    size_t fileTitleSize) {
    if (pathSize > 0) path[0] = '\0';
    return Answer(false, owner, request, path, pathSize, fileTitle, fileTitleSize);
}

int AskSaveFileName(PlatformOwner owner, const FileDialogRequest& request, char* path, size_t pathSize, char* fileTitle,
                    size_t fileTitleSize) {
    return Answer(true, owner, request, path, pathSize, fileTitle, fileTitleSize);
}

void SetMainWindowTitle(const char* title) { fake.titles.push_back(Text(title)); }

void SetToolBarCheck(int controlId, int checked) { fake.toolBarChecks[controlId] = checked; }
void EnableToolBarControl(int controlId, int enabled) { fake.toolBarEnabled[controlId] = enabled; }
void SetToolBarText(int controlId, const char* text) { fake.toolBarTexts[controlId] = Text(text); }
void SetMenuCheck(int commandId, int checked) { fake.menuChecks[commandId] = checked; }
void SetMenuText(int commandId, const char* text) { fake.menuTexts[commandId] = Text(text); }
void EnableMenuCommand(int commandId, int enabled) { fake.menuEnabled[commandId] = enabled; }

void PresentFrameRect(const unsigned char*, int, int x, int y, int width, int height) {
    fake.presents.push_back(FakePresent{x, y, width, height});
}

int FindEmbeddedResource(const char* name, const unsigned char** data, size_t* size) {
    return LookupEmbeddedBytes(name, data, size);
}
