// The recording platform used by tests: every message box, dialog and title
// is recorded; dialogs answer from a script.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "core/platform.h"

struct FakeMessage {
    int owner;
    std::string text;
    std::string caption;
    unsigned style;
};

struct FakeDialog {
    bool save;
    int owner;
    FileDialogRequest request;  // strings valid only during the call
    std::string filterDescription, filterPattern, title, defaultExtension;
    std::string proposedName;  // the buffer's contents when the dialog opened
    size_t pathSize;
    size_t fileTitleSize;
};

struct FakePresent {
    int x, y, width, height;
};

struct FakePlatform {
    std::vector<FakeMessage> messages;
    std::vector<FakeDialog> dialogs;
    std::deque<std::string> dialogAnswers;  // "" answers cancel
    std::vector<std::string> titles;
    // The last state set for each tool bar control and menu item, by id.
    std::map<int, int> toolBarChecks, toolBarEnabled;
    std::map<int, std::string> toolBarTexts;
    std::map<int, int> menuChecks, menuEnabled;
    std::map<int, std::string> menuTexts;
    std::vector<FakePresent> presents;  // rectangles shown by PresentFrameRect
};

FakePlatform& Fake();
// Clears every record and answer.
void ResetFake();
