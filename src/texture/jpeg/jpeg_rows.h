// The decoder's driver and row output: starts decompression, keeps each
// component's samples in band buffers refilled one band at a time, and hands
// each output row to the upsampler and the colour conversion. Memory is
// bounded by a few bands whatever the image height.
#pragma once

#include <cstdint>

struct JpegContext;

enum ContextState { ContextPrepare, ContextProcess, ContextPostponed };

// Refuses arithmetic and progressive frames, allocates the buffers and starts
// the scan.
int StartDecompression(JpegContext& jc);
// The whole decompression into outputWidth x outputHeight pixels, rows
// bottom-up as a texture stores them.
int DecodeAllRows(JpegContext& jc, uint32_t* pixels);
