// One frame of the preview: clear what the last frame drew, spin, draw the
// current mesh, and present the union of the old and new areas.
#pragma once

#include <cstdint>

#include "core/mesh.h"
#include "render/frame_buffer.h"

// Draws one frame of `scene` into the program's frameBuffer for a view of
// viewWidth x viewHeight and presents the changed rectangle through
// PresentFrameRect. A view larger than the frame buffer is drawn in the part
// that fits.
void DrawFrame(int32_t viewWidth, int32_t viewHeight, Scene& scene);
// The same into a given frame buffer.
void DrawFrameInto(FrameBuffer* fb, int32_t viewWidth, int32_t viewHeight, Scene& scene);

// Inclusive bounds of what the last frame drew (all zero at start).
ScreenRect FrameDirtyRect();
// Back to the start-up state (tests, a new frame buffer).
void ResetFrameDriver();

// The present rectangle for the union of two drawn rectangles: x bounds
// aligned to whole groups of 4 pixels, maxX exclusive, maxY inclusive.
// Returns false when the union is inverted (nothing was drawn in either).
bool PresentRect(const ScreenRect& previous, const ScreenRect& drawn, ScreenRect* present);
