// Reuse of large freed blocks for the fuzz targets. AddressSanitizer maps
// every block above its size classes (128 KB) afresh and the kernel clears
// each page on first touch, which made the Mesh record and the readers'
// first reservations cost most of an input's time. Linked with
// -Wl,--wrap=malloc,--wrap=free,--wrap=realloc, so only the calls made by
// the linked objects come here. A freed large block is poisoned and kept; a
// request of exactly its size gets it back unpoisoned. Its redzones stay the
// allocator's, so overruns are still caught, and a use after free is a use
// of poisoned memory.
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

void ReleaseOldest() {
    ASAN_UNPOISON_MEMORY_REGION(kept[0].block, kept[0].size);
    __real_free(kept[0].block);
    for (int i = 1; i < keptCount; ++i) kept[i - 1] = kept[i];
    --keptCount;
}

}  // namespace

extern "C" void* __wrap_malloc(size_t size) {
    if (size >= LargeBlock) {
        for (int i = keptCount - 1; i >= 0; --i) {
            if (kept[i].size != size) continue;
            void* block = kept[i].block;
            for (int j = i + 1; j < keptCount; ++j) kept[j - 1] = kept[j];
            --keptCount;
            ASAN_UNPOISON_MEMORY_REGION(block, size);
            return block;
        }
    }
    return __real_malloc(size);
}

extern "C" void __wrap_free(void* block) {
    if (!block) return;
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
    if (__sanitizer_get_allocated_size(block) >= LargeBlock && IsKept(block)) __builtin_trap();  // used after free
    return __real_realloc(block, size);
}
