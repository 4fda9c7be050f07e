// The texture decoder on arbitrary bytes: it must decode or fail, never read
// or write outside its buffers, never leak.
#include <cstddef>
#include <cstdint>

#include "core/memory.h"
#include "texture/texture_slots.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const long live = LiveAllocationCount();
    Texture texture{nullptr, 0, 0};
    if (DecodeJpegMemory(data, size, &texture, nullptr, nullptr)) {
        // Touch the corners: the whole buffer must be there.
        volatile uint32_t sink = texture.pixels[0] ^
                                 texture.pixels[static_cast<size_t>(texture.width) * texture.height - 1];
        (void)sink;
    }
    ReleaseTexturePixels(&texture);
    if (LiveAllocationCount() != live) __builtin_trap();
    return 0;
}
