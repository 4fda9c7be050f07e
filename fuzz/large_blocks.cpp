// Reuse of large freed blocks for the fuzz targets. AddressSanitizer maps
// every block above its size classes (128 KB) afresh and the kernel clears
// each page on first touch, which made the Mesh record and the readers'
// reservations cost most of an input's time (half of it system time for the
// Poser reader, whose reservations follow the counts a file announces and
// grow and shrink by realloc). Linked with
// -Wl,--wrap=malloc,--wrap=free,--wrap=realloc, so only the calls made by the
// linked objects come here. A freed large block is poisoned and kept; a
// request that fits one (at most four times smaller) gets it back with only
// the requested bytes unpoisoned, so that the rest still catches an overrun. Its
// redzones stay the allocator's, and a use after free is a use of poisoned
// memory. A new large block is made a power of two in size, its tail
// poisoned the same way, so that a reader's run of reservations grown by
// realloc stays in place (unpoisoning its new part) instead of being copied
// whole at every step, as the allocator's own realloc does; a larger step
// moves into a block from here.
#include <dlfcn.h>
#include <sanitizer/allocator_interface.h>
#include <sanitizer/asan_interface.h>
#include <cstddef>
#include <cstdlib>

extern "C" void* __real_malloc(size_t size);
extern "C" void* __real_realloc(void* block, size_t size);
extern "C" void __real_free(void* block);

namespace {

constexpr size_t LargeBlock = 128 * 1024;
// Poisoning writes a shadow byte per 8 bytes: a block of gigabytes (a file
// announcing a huge count reserves that much, untouched) would cost seconds
// and the shadow's memory, so only blocks up to this size are kept.
constexpr size_t LargestKept = 16 * 1024 * 1024;
constexpr int KeptBlocks = 32;

struct KeptBlock {
    void* block;
    size_t size;
};
KeptBlock kept[KeptBlocks];
int keptCount = 0;

// A kept block is poisoned from its first byte; a live large one is not.
bool IsKept(void* block) { return __asan_address_is_poisoned(block) != 0; }

void Forget(int i) {
    for (int j = i + 1; j < keptCount; ++j) kept[j - 1] = kept[j];
    --keptCount;
}

void ReleaseOldest() {
    ASAN_UNPOISON_MEMORY_REGION(kept[0].block, kept[0].size);
    __real_free(kept[0].block);
    Forget(0);
}

// The smallest kept block that holds `size` bytes without being more than
// four times larger (its poisoning on free costs by its whole size), or -1.
int BestFit(size_t size) {
    int best = -1;
    for (int i = 0; i < keptCount; ++i) {
        if (kept[i].size < size || kept[i].size / 4 > size) continue;
        if (best < 0 || kept[i].size < kept[best].size) best = i;
    }
    return best;
}

// The C library's own copy: a moved block may end in poisoned bytes (the
// part of a reused block beyond its request), which the sanitizer's memcpy
// would report, although realloc leaves them indeterminate anyway.
void CopyBytes(void* to, const void* from, size_t size) {
    using Copy = void* (*)(void*, const void*, size_t);
    static const Copy copy = reinterpret_cast<Copy>(dlsym(RTLD_NEXT, "memcpy"));
    copy(to, from, size);
}

// Hands out the first `size` bytes of `block`, whose allocated size is
// `allocated`: the rest is poisoned.
void* HandOut(void* block, size_t size, size_t allocated) {
    ASAN_UNPOISON_MEMORY_REGION(block, size);
    ASAN_POISON_MEMORY_REGION(static_cast<char*>(block) + size, allocated - size);
    return block;
}

// A new block for a large request: a power of two, unless the request is
// past what is kept.
void* MakeLarge(size_t size) {
    if (size > LargestKept / 2) return __real_malloc(size);
    size_t rounded = LargeBlock;
    while (rounded < size) rounded *= 2;
    void* block = __real_malloc(rounded);
    return block ? HandOut(block, size, rounded) : nullptr;
}

}  // namespace

extern "C" void* __wrap_malloc(size_t size) {
    if (size >= LargeBlock) {
        const int i = BestFit(size);
        if (i >= 0) {
            const KeptBlock fit = kept[i];
            Forget(i);
            return HandOut(fit.block, size, fit.size);
        }
        return MakeLarge(size);
    }
    return __real_malloc(size);
}

extern "C" void __wrap_free(void* block) {
    if (!block) return;
    // The size the block was made with, whatever part of it was handed out.
    const size_t size = __sanitizer_get_allocated_size(block);
    if (size < LargeBlock) {
        __real_free(block);
        return;
    }
    if (IsKept(block)) __builtin_trap();  // freed twice
    if (size > LargestKept) {
        __real_free(block);
        return;
    }
    if (keptCount == KeptBlocks) ReleaseOldest();
    ASAN_POISON_MEMORY_REGION(block, size);
    kept[keptCount++] = KeptBlock{block, size};
}

extern "C" void* __wrap_realloc(void* block, size_t size) {
    if (!block) return __wrap_malloc(size);
    const size_t old = __sanitizer_get_allocated_size(block);
    if (old < LargeBlock && size < LargeBlock) return __real_realloc(block, size);
    if (IsKept(block)) __builtin_trap();  // used after free
    if (size <= old && old / 4 <= size) return HandOut(block, size, old);
    void* moved = __wrap_malloc(size);
    if (!moved) return nullptr;
    CopyBytes(moved, block, old < size ? old : size);
    __wrap_free(block);
    return moved;
}
