// The work image, its rectangle clear and its conversion to 24 bits.
#include "render/frame_buffer.h"

#include <cstring>

#include "core/memory.h"

FrameBuffer frameBuffer;

int32_t FrameBufferWidth(int32_t viewWidth) { return ((viewWidth + 64) & ~3) + 4; }
int32_t FrameBufferHeight(int32_t viewHeight) { return viewHeight + 64; }

// The width rule adds at least 65 columns (64, minus up to 3 cleared bits,
// plus 4), so a view of width - 65 columns always fits.
int32_t FrameBufferViewWidth(const FrameBuffer& fb) { return fb.width - 65; }
int32_t FrameBufferViewHeight(const FrameBuffer& fb) { return fb.height - 64; }

int AllocateWorkImage(FrameBuffer* fb, int32_t viewWidth, int32_t viewHeight) {
    if (viewWidth < 1 || viewHeight < 1 || viewWidth > MaxFrameBufferView || viewHeight > MaxFrameBufferView) {
        return 0;
    }
    const int32_t width = FrameBufferWidth(viewWidth);
    const int32_t height = FrameBufferHeight(viewHeight);
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    void* work = AllocateBytes(bytes);
    if (!work) return 0;
    std::memset(work, 0, bytes);
    fb->workPixels = static_cast<WorkPixel*>(work);
    fb->imagePixels = nullptr;
    fb->isDibSection = 0;
    fb->ownsImagePixels = 0;
    fb->width = width;
    fb->height = height;
    return 1;
}

void AttachDibImage(FrameBuffer* fb, uint8_t* pixels) {
    fb->imagePixels = pixels;
    fb->isDibSection = 1;
    fb->ownsImagePixels = 0;
}

int AllocateFallbackImage(FrameBuffer* fb) {
    const size_t bytes = static_cast<size_t>(fb->width) * static_cast<size_t>(fb->height) * 3;
    void* image = AllocateBytes(bytes);
    if (!image) return 0;
    std::memset(image, 0, bytes);
    fb->imagePixels = static_cast<uint8_t*>(image);
    fb->isDibSection = 0;
    fb->ownsImagePixels = 1;
    return 1;
}

int CreateMemoryFrameBuffer(FrameBuffer* fb, int32_t viewWidth, int32_t viewHeight) {
    if (!AllocateWorkImage(fb, viewWidth, viewHeight)) return 0;
    if (!AllocateFallbackImage(fb)) {
        ReleaseFrameBufferImages(fb);
        return 0;
    }
    // Same memory layout as a DIB section: the whole picture, top row first.
    fb->isDibSection = 1;
    return 1;
}

void ReleaseFrameBufferImages(FrameBuffer* fb) {
    ReleaseBytes(fb->workPixels);
    if (fb->ownsImagePixels) ReleaseBytes(fb->imagePixels);
    fb->workPixels = nullptr;
    fb->imagePixels = nullptr;
    fb->ownsImagePixels = 0;
    fb->isDibSection = 0;
    fb->width = 0;
    fb->height = 0;
}

void ClearWorkRect(WorkPixel* work, int32_t minX, int32_t minY, int32_t maxX, int32_t maxY, int32_t rowBytes,
                   WorkPixel value) {
    // Whole 8-byte pairs: the byte offsets (minX * 4) & ~7 to (maxX * 4) & ~7.
    const int32_t first = minX & ~1;
    const int32_t last = (maxX & ~1) + 1;
    if (first > last || maxY < minY) return;
    const ptrdiff_t rowPixels = rowBytes / 4;
    for (int32_t y = minY; y <= maxY; ++y) {
        WorkPixel* row = work + y * rowPixels;
        for (int32_t x = first; x <= last; ++x) row[x] = value;
    }
}

void ConvertWorkToRgb24(int32_t pixelCount, int32_t rowCount, uint8_t* destination, const WorkPixel* source,
                        ptrdiff_t sourceRowBytes, ptrdiff_t destinationRowBytes) {
    const int32_t groups = pixelCount / 4 > 0 ? pixelCount / 4 : 1;
    const uint8_t* sourceBytes = reinterpret_cast<const uint8_t*>(source);
    for (int32_t r = 0; r < rowCount; ++r) {
        // Rows addressed from the start so no pointer steps past the image.
        const WorkPixel* in = reinterpret_cast<const WorkPixel*>(sourceBytes + r * sourceRowBytes);
        uint8_t* out = destination + r * destinationRowBytes;
        for (int32_t i = 0; i < groups * 4; ++i) {
            const uint32_t c = in[i] & 0xFFFF;
            out[0] = static_cast<uint8_t>((c & 0x1F) << 3);
            out[1] = static_cast<uint8_t>(((c >> 5) & 0x3F) << 2);
            out[2] = static_cast<uint8_t>(((c >> 11) & 0x1F) << 3);
            out += 3;
        }
    }
}
