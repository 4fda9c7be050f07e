#include "core/memory.h"

#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <malloc.h>
#endif

namespace {
long failCountdown = 0;
long callCount = 0;
long liveBlocks = 0;

#if defined(_WIN32)
// The Windows heap of the 32-bit program, as Wine runs it, moves a block that
// cannot grow in place one byte at a time; the C library's memcpy moves it
// many times faster. A block that can grow or shrink in place stays.
void* ResizeBlock(void* block, size_t size) {
    if (void* same = _expand(block, size)) return same;
    void* moved = std::malloc(size);
    if (!moved) return nullptr;
    const size_t kept = _msize(block);
    std::memcpy(moved, block, kept < size ? kept : size);
    std::free(block);
    return moved;
}
#else
void* ResizeBlock(void* block, size_t size) { return std::realloc(block, size); }
#endif

bool ShouldFail() {
    ++callCount;
    if (failCountdown <= 0) return false;
    if (--failCountdown == 0) return true;
    return false;
}
}  // namespace

void* AllocateBytes(size_t size) {
    if (ShouldFail()) return nullptr;
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block) ++liveBlocks;
    return block;
}

void* ReallocateBytes(void* block, size_t size) {
    if (!block) return AllocateBytes(size);
    if (ShouldFail()) return nullptr;
    return ResizeBlock(block, size == 0 ? 1 : size);
}

void ReleaseBytes(void* block) {
    if (!block) return;
    --liveBlocks;
    std::free(block);
}

int ArrayByteSize(int64_t count, size_t elementSize, size_t* bytes) {
    if (count < 0 || count > INT32_MAX) return 0;
    if (elementSize != 0 && static_cast<uint64_t>(count) > SIZE_MAX / elementSize) return 0;
    *bytes = static_cast<size_t>(count) * elementSize;
    return 1;
}

void FailAllocationAfter(long n) { failCountdown = n; }
long AllocationCallCount() { return callCount; }
long LiveAllocationCount() { return liveBlocks; }
