// Heap allocation for mesh storage and decoder scratch.
//
// Every allocation that can be large goes through these functions so that
// tests can make the Nth allocation fail and prove that each failure comes
// back as a failure result with nothing leaked.
#pragma once

#include <cstddef>
#include <cstdint>

// A block of `size` bytes (a size of 0 still gives a distinct block), or
// null when the heap or the test hook refuses. The contents are undefined.
// Blocks from here go back through ReleaseBytes, never free(), so that the
// live count stays true. The counters are plain globals: one thread only.
void* AllocateBytes(size_t size);
// `block` resized to `size` bytes, its contents kept up to the smaller size;
// a null block allocates. On failure returns null and `block` is untouched and
// still owned by the caller, so `p = ReallocateBytes(p, n)` would leak it.
void* ReallocateBytes(void* block, size_t size);
// Null is ignored.
void ReleaseBytes(void* block);

// Byte size of an array of `count` elements of `elementSize` bytes, or failure
// (returns 0) when the count is negative, passes the signed 32-bit range or the
// byte size does not fit in size_t.
int ArrayByteSize(int64_t count, size_t elementSize, size_t* bytes);

// Test hook: the allocation `n` calls from now (1 = the next one) fails;
// 0 turns the hook off. Reallocations count as allocations.
void FailAllocationAfter(long n);
// Allocations attempted since start (successful or not), and blocks alive.
long AllocationCallCount();
long LiveAllocationCount();
