// One preview frame as the application draws it: the spin advanced, the
// mesh the user works on, drawn with the current view settings.
#pragma once

#include <cstdint>

#include "core/mesh.h"
#include "render/face_passes.h"
#include "render/frame_buffer.h"

// The renderer's settings from appState (flags, background, zoom, rotation,
// materials, current texture).
DrawSettings CurrentDrawSettings();

// One frame of `scene` into `fb` for a view of viewWidth x viewHeight: takes
// and clears appState.view.fullRedraw, applies the spin step while spinning, then
// draws slot 1 when the hair view is chosen and `scene` has two meshes, else
// slot 0. A frame buffer without storage leaves everything as it was.
void DrawFrameInto(FrameBuffer* fb, int32_t viewWidth, int32_t viewHeight, Scene& scene);
// The same into the program's frameBuffer.
void DrawFrame(int32_t viewWidth, int32_t viewHeight, Scene& scene);

// "Save Image": the view part (viewWidth x viewHeight, cut to what the frame
// buffer serves) of the last frame presented from frameBuffer, through
// SaveImageFile with the proposal from meshFileName. A fallback frame buffer,
// which keeps only the last presented rectangle, is converted whole from its
// work image first. Returns SaveImageFile's result, or 0 when there is no
// memory for that conversion.
int SaveViewImage();
