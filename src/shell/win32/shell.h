// The Windows program's own state: its windows, GDI objects and the frame
// buffer of the display, shared by the window procedures of this folder.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr int ClassNameSize = 32;
constexpr COLORREF DialogGrey = 0xC0C0C0;
constexpr COLORREF StaticTextBlue = 0xFF0000;  // blue in the platform's 0x00BBGGRR order
constexpr int InitialViewWidth = 620;
constexpr int InitialViewHeight = 520;
constexpr int ToolBarViewGap = 4;  // client width beyond the view and the tool bar

extern HINSTANCE appInstance;
extern HWND mainWindow;
extern HWND toolBar;
extern HWND displayWindow;
extern HBRUSH dialogBrush;
extern HBITMAP aboutBitmap;
extern int32_t displayReady;
extern char className[ClassNameSize];

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ToolBarProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK DisplayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The GDI objects behind the display's frame buffer: a memory device context
// with the DIB section that holds the picture selected into it, or without a
// section the context alone, into which each present selects a bitmap of its
// own. Zero until the frame buffer is created.
struct DisplaySurface {
    HDC memoryDc;
    HBITMAP dibSection;  // null in the fallback
    HGDIOBJ previousBitmap;
};
extern DisplaySurface displaySurface;

// The display's frame buffer (DIB section with a GDI fallback).
int CreateDisplayFrameBuffer(HWND window);
void DestroyDisplayFrameBuffer();
// Draws one frame of the scene into the display at the current view size,
// first growing the frame buffer when the display has outgrown it.
void DrawDisplayFrame();
