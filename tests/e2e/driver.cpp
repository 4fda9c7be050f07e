// A small Win32 automation driver for the end-to-end tests. It runs under
// the same Wine server as the program, reads one command per line on stdin
// and answers with one line on stdout ("ok ...", or "error ..."). A word in
// double quotes may hold blanks.
//
//   wait CLASS|- TITLE|- MS        a top-level window appears; answers its handle
//   gone CLASS|- TITLE|- MS        no such window any more
//   count CLASS                    number of top-level windows of that class
//   attach                         finds the main window, tool bar and display
//   title / class                  the main window's title / class
//   layout                         client sizes and positions (see Layout())
//   text ID / check ID / enabled ID   a tool bar control's text / state
//   rect ID                        a tool bar control's screen rectangle
//   click ID                       clicks a tool bar button (posted)
//   menu ID / post ID              a menu command, posted as the menu posts it
//   sync                           answers once the program waits for messages
//   popup MS                       an open popup menu's screen rectangle
//   dialog TITLE MS                waits for a dialog box of that title
//   texts TITLE                    the static texts of a dialog box, joined by |
//   press TITLE ID                 presses a dialog box's button
//   answer TITLE PATH              types PATH into a file dialog and presses OK
//   drop PATH...                   drops the files on the main window's display
//   resize main|display W H        sets a window's outer size
//   minimise / restore / close / foreground / iconic
//   quit
#include <shlobj.h>
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

HWND mainWindow, toolBar, display;

std::string Line() {
    std::string line;
    int c;
    while ((c = std::getchar()) != EOF && c != '\n') {
        if (c != '\r') line.push_back(static_cast<char>(c));
    }
    if (c == EOF && line.empty()) return "quit";
    return line;
}

void Answer(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::printf("\n");
    std::fflush(stdout);
}

// Splits off the first word of `rest`.
std::string Word(std::string& rest) {
    size_t start = rest.find_first_not_of(' ');
    if (start == std::string::npos) {
        rest.clear();
        return "";
    }
    if (rest[start] == '"') {  // a quoted word may hold blanks
        size_t close = rest.find('"', start + 1);
        std::string word = rest.substr(start + 1, close == std::string::npos ? std::string::npos : close - start - 1);
        rest = close == std::string::npos ? "" : rest.substr(close + 1);
        const size_t next = rest.find_first_not_of(' ');
        rest = next == std::string::npos ? "" : rest.substr(next);
        return word;
    }
    size_t end = rest.find(' ', start);
    std::string word = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
    rest = end == std::string::npos ? "" : rest.substr(end + 1);
    return word;
}

const char* OrNull(const std::string& s) { return s == "-" ? nullptr : s.c_str(); }

HWND WaitFor(const std::string& cls, const std::string& title, int ms) {
    for (int waited = 0;; waited += 50) {
        HWND found = FindWindowA(OrNull(cls), OrNull(title));
        if (found && IsWindowVisible(found)) return found;
        if (waited >= ms) return nullptr;
        Sleep(50);
    }
}

struct CountContext {
    const char* cls;
    int count;
};

BOOL CALLBACK CountWindows(HWND window, LPARAM parameter) {
    auto* context = reinterpret_cast<CountContext*>(parameter);
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::strcmp(name, context->cls) == 0) ++context->count;
    return TRUE;
}

std::string WindowText(HWND window) {
    char text[1024] = {};
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        &result);
    return text;
}

std::string ClassOf(HWND window) {
    char name[128] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct ChildList {
    std::vector<HWND> children;
};

BOOL CALLBACK CollectChild(HWND window, LPARAM parameter) {
    reinterpret_cast<ChildList*>(parameter)->children.push_back(window);
    return TRUE;
}

std::vector<HWND> Children(HWND parent) {
    ChildList list;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&list));
    return list.children;
}

bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result = nullptr) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 20000, result ? result : &ignored) !=
           0;
}

void Layout() {
    RECT client = {}, bar = {}, shown = {}, shownClient = {}, outer = {};
    GetClientRect(mainWindow, &client);
    GetWindowRect(mainWindow, &outer);
    GetWindowRect(toolBar, &bar);
    GetWindowRect(display, &shown);
    GetClientRect(display, &shownClient);
    POINT barAt = {bar.left, bar.top}, shownAt = {shown.left, shown.top}, origin = {0, 0};
    ScreenToClient(mainWindow, &barAt);
    ScreenToClient(mainWindow, &shownAt);
    ClientToScreen(display, &origin);
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    Answer(
        "ok client=%ldx%ld toolbar=%ld,%ld,%ldx%ld display=%ld,%ld,%ldx%ld view=%ldx%ld "
        "origin=%ld,%ld outer=%ld,%ld,%ldx%ld workarea=%ld,%ld,%ldx%ld",
        client.right, client.bottom, barAt.x, barAt.y, bar.right - bar.left, bar.bottom - bar.top, shownAt.x, shownAt.y,
        shown.right - shown.left, shown.bottom - shown.top, shownClient.right, shownClient.bottom, origin.x, origin.y,
        outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top, work.left, work.top,
        work.right - work.left, work.bottom - work.top);
}

// The file name field of a file dialog: the edit control (alone or inside
// the combo box) that is visible and enabled.
HWND FileNameEdit(HWND dialog) {
    HWND best = nullptr;
    for (HWND child : Children(dialog)) {
        if (ClassOf(child) != "Edit" || !IsWindowVisible(child)) continue;
        const int id = GetDlgCtrlID(child);
        HWND parent = GetParent(child);
        const int parentId = parent == dialog ? 0 : GetDlgCtrlID(parent);
        if (id == 0x480 || parentId == 0x47c) return child;
        if (!best) best = child;
    }
    return best;
}

// Drops `paths` on the main window as the shell does: a DROPFILES record
// (wide names, each ending in a 0, then one more 0) that the program's
// DragQueryFile reads and DragFinish releases. The record is written into
// the program's own memory, since the handle posted with WM_DROPFILES must
// be valid there; a fixed block's address is what such a handle is.
bool DropFiles(const std::vector<std::string>& paths) {
    std::vector<wchar_t> names;
    for (const std::string& path : paths) {
        const int n = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
        const size_t at = names.size();
        names.resize(at + n);
        MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, names.data() + at, n);
    }
    names.push_back(L'\0');
    DROPFILES header = {};
    header.pFiles = sizeof header;
    header.pt = {40, 40};  // in the display, in client coordinates
    header.fWide = TRUE;
    std::vector<char> record(sizeof header + names.size() * sizeof(wchar_t));
    std::memcpy(record.data(), &header, sizeof header);
    std::memcpy(record.data() + sizeof header, names.data(), names.size() * sizeof(wchar_t));

    DWORD processId = 0;
    GetWindowThreadProcessId(mainWindow, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
    if (!process) return false;
    void* remote = VirtualAllocEx(process, nullptr, record.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    const bool written = remote && WriteProcessMemory(process, remote, record.data(), record.size(), nullptr);
    CloseHandle(process);
    return written && PostMessageA(mainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
}

void Run() {
    for (;;) {
        std::string rest = Line();
        const std::string command = Word(rest);
        if (command == "quit") {
            Answer("ok");
            return;
        } else if (command == "wait" || command == "gone") {
            const std::string cls = Word(rest), title = Word(rest);
            const int ms = std::atoi(Word(rest).c_str());
            if (command == "wait") {
                HWND found = WaitFor(cls, title, ms);
                if (found) {
                    Answer("ok %p", static_cast<void*>(found));
                } else {
                    Answer("error not found");
                }
            } else {
                int waited = 0;
                while (FindWindowA(OrNull(cls), OrNull(title)) && waited < ms) {
                    Sleep(50);
                    waited += 50;
                }
                Answer(FindWindowA(OrNull(cls), OrNull(title)) ? "error still there" : "ok");
            }
        } else if (command == "count") {
            CountContext context = {rest.c_str(), 0};
            EnumWindows(CountWindows, reinterpret_cast<LPARAM>(&context));
            Answer("ok %d", context.count);
        } else if (command == "attach") {
            mainWindow = FindWindowA("Quillmere", nullptr);
            toolBar = mainWindow ? FindWindowExA(mainWindow, nullptr, "#32770", nullptr) : nullptr;
            display = mainWindow ? FindWindowExA(mainWindow, nullptr, "display", nullptr) : nullptr;
            if (mainWindow && toolBar && display) {
                Answer("ok");
            } else {
                Answer("error main %p tool bar %p display %p", static_cast<void*>(mainWindow),
                       static_cast<void*>(toolBar), static_cast<void*>(display));
            }
        } else if (command == "title") {
            Answer("ok %s", WindowText(mainWindow).c_str());
        } else if (command == "class") {
            Answer("ok %s", ClassOf(mainWindow).c_str());
        } else if (command == "displaytitle") {
            Answer("ok %s", WindowText(display).c_str());
        } else if (command == "layout") {
            Layout();
        } else if (command == "text") {
            HWND control = GetDlgItem(toolBar, std::atoi(rest.c_str()));
            Answer(control ? "ok %s" : "error no control", WindowText(control).c_str());
        } else if (command == "rect") {
            // rect ID: a tool bar control's screen rectangle
            HWND control = GetDlgItem(toolBar, std::atoi(rest.c_str()));
            RECT r = {};
            if (control && GetWindowRect(control, &r)) {
                Answer("ok %ld,%ld,%ldx%ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
            } else {
                Answer("error no control");
            }
        } else if (command == "check") {
            DWORD_PTR state = 0;
            Send(GetDlgItem(toolBar, std::atoi(rest.c_str())), BM_GETCHECK, 0, 0, &state);
            Answer("ok %d", static_cast<int>(state));
        } else if (command == "enabled") {
            Answer("ok %d", IsWindowEnabled(GetDlgItem(toolBar, std::atoi(rest.c_str()))) ? 1 : 0);
        } else if (command == "click") {
            // Posted, as a real click is: a message sent from another process
            // would be handled inside the program's wait for messages, and its
            // loop would not see the redraw the click asks for.
            HWND control = GetDlgItem(toolBar, std::atoi(rest.c_str()));
            Answer(control && PostMessageA(control, BM_CLICK, 0, 0) ? "ok" : "error click");
        } else if (command == "scroll") {
            // scroll ID up|down: one press of a scroll bar arrow
            const int id = std::atoi(Word(rest).c_str());
            const WPARAM code = rest == "up" ? SB_LINEUP : SB_LINEDOWN;
            HWND bar = GetDlgItem(toolBar, id);
            Answer(Send(toolBar, WM_VSCROLL, code, reinterpret_cast<LPARAM>(bar)) ? "ok" : "error");
        } else if (command == "menu" || command == "post") {
            PostMessageA(mainWindow, WM_COMMAND, std::atoi(rest.c_str()), 0);
            Answer("ok");
        } else if (command == "dialog") {
            const std::string title = Word(rest);
            HWND found = WaitFor("#32770", title, std::atoi(rest.c_str()));
            Answer(found ? "ok" : "error no dialog");
        } else if (command == "anydialog") {
            // anydialog MS: the title of a dialog or message box open within MS
            HWND found = WaitFor("#32770", "-", std::atoi(rest.c_str()));
            Answer(found ? "ok %s" : "error no dialog", WindowText(found).c_str());
        } else if (command == "texts") {
            HWND dialog = FindWindowA("#32770", Word(rest).c_str());
            std::string joined;
            for (HWND child : Children(dialog)) {
                if (ClassOf(child) != "Static") continue;
                const std::string text = WindowText(child);
                if (text.empty()) continue;
                if (!joined.empty()) joined += "|";
                joined += text;
            }
            Answer(dialog ? "ok %s" : "error no dialog", joined.c_str());
        } else if (command == "press") {
            const std::string title = Word(rest);
            HWND dialog = WaitFor("#32770", title, 5000);
            HWND button = dialog ? GetDlgItem(dialog, std::atoi(rest.c_str())) : nullptr;
            if (button) {
                PostMessageA(button, BM_CLICK, 0, 0);
                Answer("ok");
            } else {
                Answer("error no button");
            }
        } else if (command == "answer") {
            const std::string title = Word(rest);
            HWND dialog = WaitFor("#32770", title, 10000);
            HWND edit = dialog ? FileNameEdit(dialog) : nullptr;
            if (!edit) {
                Answer("error no file dialog");
                continue;
            }
            Send(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(rest.c_str()));
            Sleep(100);
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
            Answer("ok");
        } else if (command == "drop") {
            std::vector<std::string> paths;
            while (!rest.empty()) paths.push_back(Word(rest));
            Answer(DropFiles(paths) ? "ok" : "error drop");
        } else if (command == "cancel") {
            HWND dialog = WaitFor("#32770", Word(rest), 10000);
            if (dialog) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            Answer(dialog ? "ok" : "error no dialog");
        } else if (command == "popup") {
            // popup MS: an open popup menu's screen rectangle
            HWND popup = WaitFor("#32768", "-", std::atoi(rest.c_str()));
            RECT r = {};
            if (popup) GetWindowRect(popup, &r);
            if (popup) {
                Answer("ok %ld,%ld,%ldx%ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
            } else {
                Answer("error no popup menu");
            }
        } else if (command == "resize") {
            // resize main|display W H: a new outer size, as a window manager may set
            HWND window = Word(rest) == "main" ? mainWindow : display;
            const int width = std::atoi(Word(rest).c_str());
            const int height = std::atoi(rest.c_str());
            Answer(SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE)
                       ? "ok"
                       : "error resize");
        } else if (command == "minimise") {
            PostMessageA(mainWindow, WM_SYSCOMMAND, SC_MINIMIZE, 0);
            Answer("ok");
        } else if (command == "restore") {
            PostMessageA(mainWindow, WM_SYSCOMMAND, SC_RESTORE, 0);
            Answer("ok");
        } else if (command == "close") {
            PostMessageA(mainWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
            Answer("ok");
        } else if (command == "iconic") {
            Answer("ok %d", IsIconic(mainWindow) ? 1 : 0);
        } else if (command == "foreground") {
            Answer("ok %d", GetForegroundWindow() == mainWindow ? 1 : 0);
        } else if (command == "sync") {
            // A sent message is handled once the program is back in its loop.
            Answer(Send(mainWindow, WM_NULL, 0, 0) ? "ok" : "error hung");
        } else {
            Answer("error unknown command %s", command.c_str());
        }
    }
}

}  // namespace

int main() {
    Run();
    return 0;
}
