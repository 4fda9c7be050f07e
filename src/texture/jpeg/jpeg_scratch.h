// The scratch pool: all working memory of one decode (tables, coefficient
// blocks, sample rows, pointer lists) is taken from it and released together
// when the decode ends, successful or not. The texture's pixels never are.
#pragma once

#include <cstddef>
#include <cstdint>

struct JpegContext;

// `size` bytes (rounded up to 8) from the general heap, linked into the pool;
// null when the heap is exhausted or the size cannot be represented.
void* ScratchAlloc(JpegContext& jc, size_t size);
// A sample array: rowCount row pointers into one block of rowBytes x rowCount
// bytes; null when either allocation fails or the product overflows.
uint8_t** ScratchAllocRows(JpegContext& jc, size_t rowBytes, size_t rowCount);
// Forgets the pool without freeing it (before a decode, on a zeroed context).
void ResetScratchPool(JpegContext& jc);
// Frees every block of the pool.
void FreeScratchPool(JpegContext& jc);
