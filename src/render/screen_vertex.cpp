// The frame's screen-vertex block.
#include "render/screen_vertex.h"

#include <cstdint>
#include <cstdlib>

ScreenVertexArray screenVertices;

bool ReserveScreenVertices(int32_t count) {
    const int32_t wanted = count > 0 ? count : 0;
    // A mesh much smaller than the block gives most of it back.
    if (wanted <= screenVertices.capacity && wanted >= screenVertices.capacity / 4) {
        screenVertices.count = wanted;
        return true;
    }
    std::free(screenVertices.block);
    screenVertices = ScreenVertexArray{};
    if (wanted == 0) return true;
    const uint64_t bytes = static_cast<uint64_t>(wanted) * sizeof(ScreenVertex) + 63;
    if (bytes > SIZE_MAX) return false;
    void* block = std::malloc(static_cast<size_t>(bytes));
    if (!block) return false;
    // Aligned to a cache line, so that no record straddles two.
    const uintptr_t aligned = (reinterpret_cast<uintptr_t>(block) + 63) & ~static_cast<uintptr_t>(63);
    screenVertices = ScreenVertexArray{reinterpret_cast<ScreenVertex*>(aligned), wanted, wanted, block};
    return true;
}
