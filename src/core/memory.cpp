#include "core/memory.h"

#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <malloc.h>
#elif defined(__linux__)
#include <sys/mman.h>
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

#if defined(__linux__)
// A large block is asked for in huge pages: its first writes then fault in
// 2 MB at a time instead of 4 KB, which is most of what a large mesh's fresh
// storage costs (a groom's ribbons are hundreds of megabytes written once),
// and its walks miss the translation cache less. Only whole pages inside the
// block are advised; the heap's small blocks are left alone.
constexpr size_t HugePageAdviceFrom = size_t(4) << 20;

void* AdviseHugePages(void* block, size_t size) {
    if (!block || size < HugePageAdviceFrom) return block;
    const uintptr_t page = 4096, at = reinterpret_cast<uintptr_t>(block);
    const uintptr_t start = (at + page - 1) & ~(page - 1), end = (at + size) & ~(page - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    return block;
}
#else
void* AdviseHugePages(void* block, size_t) { return block; }
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
    void* block = AdviseHugePages(std::malloc(size == 0 ? 1 : size), size);
    if (block) ++liveBlocks;
    return block;
}

void* ReallocateBytes(void* block, size_t size) {
    if (!block) return AllocateBytes(size);
    if (ShouldFail()) return nullptr;
    return AdviseHugePages(ResizeBlock(block, size == 0 ? 1 : size), size);
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
