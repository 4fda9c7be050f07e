// Entry point of Quillmere.exe: one running instance, the MMX check, the
// windows and their layout, the message loop that also schedules frames, and
// the release of everything at the end.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#ifdef _MSC_VER
#include <intrin.h>
#else
#include <cpuid.h>
#endif

#include "app/app_state.h"
#include "app/frame_loop.h"
#include "core/mesh.h"
#include "shell/win32/providers.h"
#include "shell/win32/shell.h"

HINSTANCE appInstance;
HWND mainWindow;
HWND toolBar;
HWND displayWindow;
HBRUSH dialogBrush;
HBITMAP aboutBitmap;
int32_t displayReady;
char className[ClassNameSize];

namespace {

bool ProcessorHasMmx() {
#ifdef _MSC_VER
    int regs[4];
    __cpuid(regs, 1);
    return (regs[3] & (1 << 23)) != 0;
#else
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    return (edx & (1u << 23)) != 0;
#endif
}

// Centres the window in the work area (the desktop without the task bar) and
// keeps its top-left corner on screen when it is larger than the work area.
void CentreInWorkArea(HWND window, int width, int height) {
    RECT area;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) {
        GetWindowRect(GetDesktopWindow(), &area);
    }
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    if (x < area.left) x = area.left;
    if (y < area.top) y = area.top;
    MoveWindow(window, x, y, width, height, TRUE);
}

// The message loop's view of the Win32 queue. Only messages the loop waited
// for are offered to the tool bar's keyboard navigation; those taken between
// two frames go straight to their windows.
struct Win32Events {
    MSG message;
    bool waited;
};

int WaitEvent(void* context) {
    auto* events = static_cast<Win32Events*>(context);
    const BOOL result = GetMessageA(&events->message, nullptr, 0, 0);
    events->waited = true;
    return result != -1;  // an invalid call ends the loop like the quit request
}

int PeekEvent(void* context) {
    auto* events = static_cast<Win32Events*>(context);
    events->waited = false;
    return PeekMessageA(&events->message, nullptr, 0, 0, PM_REMOVE) != 0;
}

int IsQuit(void* context) { return static_cast<Win32Events*>(context)->message.message == WM_QUIT; }

void Dispatch(void* context) {
    auto* events = static_cast<Win32Events*>(context);
    if (events->waited && toolBar && IsDialogMessageA(toolBar, &events->message)) return;
    TranslateMessage(&events->message);
    DispatchMessageA(&events->message);
}

int DisplayIsReady(void*) { return displayReady; }
void DrawOneFrame(void*) { DrawDisplayFrame(); }

bool RegisterWindowClass(const char* name, WNDPROC procedure, const char* menu) {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = appInstance;
    windowClass.hIcon = LoadIconA(appInstance, "appIcon");
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = menu;
    windowClass.lpszClassName = name;
    return RegisterClassA(&windowClass) != 0;
}

// Only one copy runs: a second start brings the first one back instead.
// Returns true when another copy was found.
bool BringBackRunningCopy() {
    HWND running = FindWindowA(className, nullptr);
    if (!running) return false;
    if (IsIconic(running)) ShowWindow(running, SW_RESTORE);
    SetForegroundWindow(running);
    return true;
}

bool CreateMainWindow(HINSTANCE instance) {
    if (!RegisterWindowClass(className, MainWindowProc, "AppMenu")) return false;
    mainWindow =
        CreateWindowExA(0, className, className,
                        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                        CW_USEDEFAULT, CW_USEDEFAULT, appState.view.viewWidth + 163, appState.view.viewHeight + 50,
                        nullptr, nullptr, instance, nullptr);
    return mainWindow != nullptr;
}

// Sizes the main window so that its client area holds the view, the tool
// bar and the gaps around them exactly, and puts the tool bar beside the view.
void LayOutMainWindow() {
    RECT toolBarRect = {}, client = {}, outer = {};
    GetWindowRect(toolBar, &toolBarRect);
    GetClientRect(mainWindow, &client);
    GetWindowRect(mainWindow, &outer);
    const int toolBarWidth = toolBarRect.right - toolBarRect.left;
    int outerWidth = outer.right - outer.left;
    int outerHeight = outer.bottom - outer.top;
    outerWidth += (toolBarWidth + appState.view.viewWidth + ToolBarViewGap) - (client.right - client.left);
    outerHeight += (appState.view.viewHeight + 2) - (client.bottom - client.top);
    CentreInWorkArea(mainWindow, outerWidth, outerHeight);
    MoveWindow(toolBar, appState.view.viewWidth + 3, 1, toolBarWidth, appState.view.viewHeight, TRUE);
}

// The display window and its frame buffer; false (after the message) when
// the frame buffer cannot be made.
bool CreateDisplay(HINSTANCE instance, int showCommand) {
    if (!RegisterWindowClass("display", DisplayProc, nullptr)) return false;
    displayWindow =
        CreateWindowExA(WS_EX_TOPMOST, "display", "hola", WS_CHILD | WS_BORDER, CW_USEDEFAULT, CW_USEDEFAULT,
                        appState.view.viewWidth, appState.view.viewHeight, mainWindow, nullptr, instance, nullptr);
    if (!CreateDisplayFrameBuffer(displayWindow)) {
        MessageBoxA(nullptr, "Failed to create 3D context.", "", MB_OK);
        return false;
    }
    // The view size was 620 x 520 when the frame buffer was made; the display
    // is moved into place with that size and reports its client size.
    MoveWindow(displayWindow, 2, 2, InitialViewWidth, InitialViewHeight, TRUE);
    ShowWindow(displayWindow, showCommand);
    UpdateWindow(displayWindow);
    return true;
}

void RunMessageLoop() {
    Win32Events events = {};
    const EventSource source = {&events, WaitEvent, PeekEvent, IsQuit, Dispatch, DisplayIsReady, DrawOneFrame};
    RunFrameLoop(source);
}

void ReleaseEverything() {
    DestroyDisplayFrameBuffer();
    DestroyWindow(toolBar);
    toolBar = nullptr;
    DeleteObject(aboutBitmap);
    DeleteObject(dialogBrush);
    ReleaseAppState();  // the scene's meshes and the texture slots' pixels
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int showCommand) {
    std::snprintf(className, sizeof className, "%s", "Quillmere");
    if (previous || BringBackRunningCopy()) return 0;
    if (!ProcessorHasMmx()) {
        MessageBoxA(nullptr, "This program requires CPU with MMX technology", "Error", MB_OK);
        return 0;
    }

    appState.view.viewWidth = InitialViewWidth;
    appState.view.viewHeight = InitialViewHeight;
    appInstance = instance;
    aboutBitmap = LoadBitmapA(instance, "about");
    dialogBrush = CreateSolidBrush(DialogGrey);
    if (!CreateMainWindow(instance)) return 0;

    // The start-up state cannot fail except for want of the built-in model,
    // which ends the program.
    if (!InitialiseAppState()) return 1;

    toolBar = CreateDialogParamA(instance, "ToolBarDialog", mainWindow, ToolBarProc, 0);
    LayOutMainWindow();

    displayReady = 0;
    ShowWindow(mainWindow, showCommand);
    UpdateWindow(mainWindow);
    ShowWindow(toolBar, SW_SHOWDEFAULT);
    UpdateWindow(toolBar);
    if (!CreateDisplay(instance, showCommand)) return 0;

    UpdateStatistics();
    SetFocus(displayWindow);
    displayReady = 1;
    // Files dropped anywhere on the window (the display and the tool bar are
    // its children) come to the main window.
    DragAcceptFiles(mainWindow, TRUE);

    RunMessageLoop();
    ReleaseEverything();
    return 1;
}
