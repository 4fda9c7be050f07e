// The display's frame buffer on Win32: the 24-bit image is a DIB section
// selected into a memory device context, so presenting is one BitBlt; where
// no DIB section can be made an owned block and a per-frame bitmap stand in.
#include <windows.h>

#include "app/app_state.h"
#include "core/memory.h"
#include "shell/win32/providers.h"
#include "shell/win32/shell.h"

DisplaySurface displaySurface;

namespace {

// Builds a frame buffer for a view of the given size into `fb` (zeroed), its
// GDI objects into `surface`.
int BuildFrameBuffer(HWND window, FrameBuffer* fb, DisplaySurface* surface, int32_t width, int32_t height) {
    if (!window) return 0;
    if (!AllocateWorkImage(fb, width, height)) return 0;

    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = fb->width;
    header.biHeight = -fb->height;  // top row first
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;

    *surface = DisplaySurface{};
    HDC memory = CreateCompatibleDC(nullptr);
    surface->memoryDc = memory;
    HDC windowDc = GetDC(window);
    void* bits = nullptr;
    HBITMAP section =
        CreateDIBSection(windowDc, reinterpret_cast<const BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(window, windowDc);
    if (section && bits && memory) {
        surface->dibSection = section;
        AttachDibImage(fb, static_cast<uint8_t*>(bits));
        surface->previousBitmap = SelectObject(memory, section);
        return 1;
    }
    if (section) DeleteObject(section);
    if (memory && AllocateFallbackImage(fb)) return 1;
    ReleaseFrameBufferImages(fb);
    if (memory) DeleteDC(memory);
    surface->memoryDc = nullptr;
    return 0;
}

void ReleaseFrameBuffer(FrameBuffer* fb, DisplaySurface* surface) {
    if (fb->isDibSection && surface->dibSection) {
        SelectObject(surface->memoryDc, surface->previousBitmap);
        DeleteObject(surface->dibSection);
    }
    ReleaseFrameBufferImages(fb);
    if (surface->memoryDc) DeleteDC(surface->memoryDc);
    *fb = FrameBuffer{};
    *surface = DisplaySurface{};
}

// A window manager may make the display larger than the frame buffer it was
// made for; a larger one is made before the next frame. When that fails the
// old one stays and the drawing keeps inside it.
void FitFrameBufferToView() {
    if (appState.view.viewWidth <= FrameBufferViewWidth(frameBuffer) &&
        appState.view.viewHeight <= FrameBufferViewHeight(frameBuffer)) {
        return;
    }
    FrameBuffer larger = {};
    DisplaySurface largerSurface = {};
    if (!BuildFrameBuffer(displayWindow, &larger, &largerSurface, appState.view.viewWidth, appState.view.viewHeight))
        return;
    ReleaseFrameBuffer(&frameBuffer, &displaySurface);
    frameBuffer = larger;
    displaySurface = largerSurface;
    appState.view.fullRedraw = 1;
}

}  // namespace

int CreateDisplayFrameBuffer(HWND window) {
    frameBuffer = FrameBuffer{};
    return BuildFrameBuffer(window, &frameBuffer, &displaySurface, appState.view.viewWidth, appState.view.viewHeight);
}

void DestroyDisplayFrameBuffer() { ReleaseFrameBuffer(&frameBuffer, &displaySurface); }

void DrawDisplayFrame() {
    FitFrameBufferToView();
    DrawFrame(appState.view.viewWidth, appState.view.viewHeight, appState.model.scene);
}
