// The vertices of one frame as the face passes and the rasteriser see them:
// a compact record per mesh vertex, filled by the projection and lighting
// kernels and read by the face passes, so that drawing streams 32 bytes per
// vertex instead of the whole mesh record.
#pragma once

#include <cstdint>

struct ScreenVertex {
    int32_t screenX;  // pixel position in the view
    int32_t screenY;
    int32_t depth;     // 0..32768, larger is nearer
    int32_t clipCode;  // 0 inside the view volume
    int32_t texV;      // v of the corner being drawn, times 32767
    int32_t texU;      // u of the corner being drawn, times 32767
    int32_t shade;     // packed lit colour
    int32_t shadeKey;  // the key `shade` was lit under; 0 not yet lit this frame
};
static_assert(sizeof(ScreenVertex) == 32, "ScreenVertex is eight 4-byte values");

// The screen vertices of the mesh projected last. The block is kept from
// frame to frame and grown only when a mesh has more vertices, so a frame
// allocates nothing once its mesh fits; `count` is 0 when growing failed.
struct ScreenVertexArray {
    ScreenVertex* vertices;  // 64-byte aligned inside `block`
    int32_t count;
    int32_t capacity;
    void* block;
};
extern ScreenVertexArray screenVertices;

// Makes room for `count` screen vertices; false (and count 0) when the
// memory is not there.
bool ReserveScreenVertices(int32_t count);
