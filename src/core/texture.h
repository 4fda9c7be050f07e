// A decoded image: 0x00RRGGBB pixels (bytes blue, green, red, 0 in memory),
// rows stored bottom-up without padding: pixel (x, row) is row * width + x.
#pragma once

#include <cstdint>

struct Texture {
    // width * height pixels from AllocateBytes, owned by whoever holds the
    // record (freed through ReleaseBytes); null when the slot is empty.
    uint32_t* pixels;
    int32_t width;
    int32_t height;
};
