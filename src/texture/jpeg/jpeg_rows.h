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
// Where the output rows go, top row first. `start` is told the output size
// once the header is read; `row` gives the buffer (width pixels) that output
// row r is written into; `done` is told when it is filled. A 0 from `start`
// or `done` stops the decode there.
struct JpegRowSink {
    void* context;
    int (*start)(void* context, int32_t width, int32_t height);
    uint32_t* (*row)(void* context, int32_t r);
    int (*done)(void* context, int32_t r);
};

// The whole decompression, row by row into the sink; 0 when the data fails
// or the sink stops it (then jc.sinkStopped is 1).
int DecodeAllRows(JpegContext& jc, const JpegRowSink& sink);
