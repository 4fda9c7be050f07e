// One frame of the preview: clear what the last frame drew, draw the current
// mesh, and present the union of the old and new areas (the spin is the
// application's, applied before the frame is drawn).
#pragma once

#include <cstdint>

#include "core/mesh.h"
#include "render/face_passes.h"
#include "render/frame_buffer.h"

// Draws one frame of `mesh` (null: nothing) with `settings` into `fb` for a
// view of viewWidth x viewHeight and presents the changed rectangle through
// PresentFrameRect: the area the last frame drew (the whole view when
// `fullRedraw`) is cleared to the background, the mesh drawn, and the union
// of both converted. A view larger than the frame buffer is drawn in the
// part that fits; a frame buffer without storage draws nothing.
void DrawMeshFrame(FrameBuffer* fb, int32_t viewWidth, int32_t viewHeight, Mesh* mesh, const DrawSettings& settings,
                   bool fullRedraw);

// Inclusive bounds of what the last frame drew (all zero at start).
ScreenRect FrameDirtyRect();
// Back to the start-up state (tests, a new frame buffer).
void ResetFrameDriver();

// The present rectangle for the union of two drawn rectangles: x bounds
// aligned to whole groups of 4 pixels, maxX exclusive, maxY inclusive.
// Returns false when the union is inverted (nothing was drawn in either).
bool PresentRect(const ScreenRect& previous, const ScreenRect& drawn, ScreenRect* present);
