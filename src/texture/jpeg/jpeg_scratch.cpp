// The scratch pool: heap blocks linked newest first through an 8-byte header,
// freed together after every decode.
#include "texture/jpeg/jpeg_scratch.h"

#include <cstring>

#include "core/memory.h"
#include "texture/jpeg/jpeg_context.h"

namespace {
constexpr size_t ScratchHeader = 8;  // holds the link to the previous block
}  // namespace

void* ScratchAlloc(JpegContext& jc, size_t size) {
    if (size > SIZE_MAX - ScratchHeader - 7) return nullptr;
    size = (size + 7) & ~static_cast<size_t>(7);
    void* block = AllocateBytes(size + ScratchHeader);
    if (!block) return nullptr;
    std::memcpy(block, &jc.scratchHead, sizeof(void*));
    jc.scratchHead = block;
    return static_cast<uint8_t*>(block) + ScratchHeader;
}

uint8_t** ScratchAllocRows(JpegContext& jc, size_t rowBytes, size_t rowCount) {
    if (rowCount != 0 && rowBytes > SIZE_MAX / rowCount) return nullptr;
    uint8_t** rows = static_cast<uint8_t**>(ScratchAlloc(jc, rowCount * sizeof(uint8_t*)));
    if (!rows) return nullptr;
    uint8_t* block = static_cast<uint8_t*>(ScratchAlloc(jc, rowBytes * rowCount));
    if (!block) return nullptr;
    for (size_t i = 0; i < rowCount; ++i) rows[i] = block + i * rowBytes;
    return rows;
}

void ResetScratchPool(JpegContext& jc) { jc.scratchHead = nullptr; }

void FreeScratchPool(JpegContext& jc) {
    void* block = jc.scratchHead;
    jc.scratchHead = nullptr;
    while (block) {
        void* previous;
        std::memcpy(&previous, block, sizeof(void*));
        ReleaseBytes(block);
        block = previous;
    }
}
