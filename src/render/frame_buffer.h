// The off-screen surface the preview is drawn into: a 32-bit work image
// (RGB565 colour in the low half of each pixel, depth in the high half) in
// which all drawing happens, and a 24-bit image that is shown and saved.
//
// The portable code here owns the work image, the rectangle clear and the
// conversion. The window system's objects stay in the shell: the Windows
// shell creates its DIB section and hands the section's memory over as
// `imagePixels` (AttachDibImage); without a DIB section it uses an owned
// fallback block (AllocateFallbackImage).
#pragma once

#include <cstddef>
#include <cstdint>

// bits 0-15 colour (red 11-15, green 5-10, blue 0-4); bits 16-31 depth,
// larger is nearer, 0 is the background and loses every depth test.
using WorkPixel = uint32_t;

struct FrameBuffer {
    WorkPixel* workPixels;    // width x height, top row first, owned
    uint8_t* imagePixels;     // 24-bit image, blue green red, width * 3 bytes per row
    int32_t isDibSection;     // 1: imagePixels is the whole picture, top row first
                              // 0: fallback, holds the last presented rectangle bottom-up
    int32_t height;           // view height + 64
    int32_t width;            // ((view width + 64) & ~3) + 4
    int32_t ownsImagePixels;  // imagePixels was allocated here and is freed here
};

// The one frame buffer of the program (zero until created).
extern FrameBuffer frameBuffer;

// Views up to this size (each side) are accepted; larger sizes fail creation.
constexpr int32_t MaxFrameBufferView = 16384;

int32_t FrameBufferWidth(int32_t viewWidth);
int32_t FrameBufferHeight(int32_t viewHeight);
// The largest view a frame buffer serves (every view pixel lies inside it).
int32_t FrameBufferViewWidth(const FrameBuffer& fb);
int32_t FrameBufferViewHeight(const FrameBuffer& fb);

// Sets the size for a view of viewWidth x viewHeight and allocates the work
// image (zero-filled). imagePixels stays null. Returns 1, or 0 (nothing left
// allocated) for a view outside 1..MaxFrameBufferView or when memory is short.
int AllocateWorkImage(FrameBuffer* fb, int32_t viewWidth, int32_t viewHeight);
// DIB mode with memory the caller owns (the window system's section).
void AttachDibImage(FrameBuffer* fb, uint8_t* pixels);
// Fallback mode: an owned block of width * height * 3 bytes. Returns 0 when
// it cannot be allocated (the work image stays; the caller releases it).
int AllocateFallbackImage(FrameBuffer* fb);
// The portable front ends' surface: work image plus an owned 24-bit image in
// DIB layout (whole picture, top row first). Returns 1, or 0 with nothing
// allocated.
int CreateMemoryFrameBuffer(FrameBuffer* fb, int32_t viewWidth, int32_t viewHeight);
// Frees the work image and an owned 24-bit image (memory attached with
// AttachDibImage is its owner's to release). Leaves the record zeroed.
void ReleaseFrameBufferImages(FrameBuffer* fb);

// Fills whole pixel pairs: columns (minX & ~1) to (maxX & ~1) + 1, rows minY
// to maxY, with `value`. Nothing when the columns or rows are empty.
void ClearWorkRect(WorkPixel* work, int32_t minX, int32_t minY, int32_t maxX, int32_t maxY, int32_t rowBytes,
                   WorkPixel value);

// Converts rowCount rows of pixelCount work pixels (a multiple of 4; at least
// one group of four per row) to blue, green, red bytes, each 5- or 6-bit
// value shifted to the top of its byte (white is 248, 252, 248). The source
// steps by sourceRowBytes (negative walks upwards), the destination by
// destinationRowBytes.
void ConvertWorkToRgb24(int32_t pixelCount, int32_t rowCount, uint8_t* destination, const WorkPixel* source,
                        ptrdiff_t sourceRowBytes, ptrdiff_t destinationRowBytes);
