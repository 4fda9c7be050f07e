// The operations of the other subsystems that the windows call. Until a
// subsystem is part of the build, a stand-in that does nothing keeps the
// program building and starting; each goes away as its subsystem arrives.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/app_state.h"
#include "core/platform.h"

#if __has_include("core/commands.h")
#include "core/commands.h"
#else
static inline void InitialiseAppState() {}
static inline int OpenMeshFile() { return 0; }
static inline void CreateHair() {}
static inline int ExportMesh() { return 0; }
static inline void InvertCurrentMesh() {}
static inline void UpdateStatistics() {}
static inline void UpdateHairFields() {}
static inline int StepHairRadius(int) { return 0; }
static inline int StepHairStretch(int) { return 0; }
#endif

#if __has_include("render/frame_buffer.h")
#include "render/frame_buffer.h"
#else
using WorkPixel = uint32_t;
struct FrameBuffer {
    void* memoryDc;
    void* dibSection;
    void* previousBitmap;
    WorkPixel* workPixels;
    uint8_t* imagePixels;
    int32_t isDibSection;
    int32_t height;
    int32_t width;
    int32_t ownsImagePixels;
};
[[maybe_unused]] static FrameBuffer frameBuffer;
static inline int32_t FrameBufferViewWidth(const FrameBuffer& fb) { return fb.width - 64; }
static inline int32_t FrameBufferViewHeight(const FrameBuffer& fb) { return fb.height - 64; }
static inline int AllocateWorkImage(FrameBuffer* fb, int32_t w, int32_t h) {
    fb->width = ((w + 64) & ~3) + 4;
    fb->height = h + 64;
    return 1;
}
static inline void AttachDibImage(FrameBuffer* fb, uint8_t* pixels) {
    fb->imagePixels = pixels;
    fb->isDibSection = 1;
}
static inline int AllocateFallbackImage(FrameBuffer*) { return 0; }
static inline void ReleaseFrameBufferImages(FrameBuffer*) {}
static inline void ConvertWorkToRgb24(int32_t, int32_t, uint8_t*, const WorkPixel*, ptrdiff_t,
                                      ptrdiff_t) {}
#endif

#if __has_include("render/frame_driver.h")
#include "render/frame_driver.h"
#else
static inline void DrawFrame(int32_t, int32_t, Scene&) {}
#endif

#if __has_include("formats/bmp_writer.h")
#include "formats/bmp_writer.h"
#else
struct Image24 {
    const unsigned char* pixels;
    int32_t width;
    int32_t height;
    int32_t rowBytes;
};
static inline int SaveImageFile(PlatformOwner, const Image24&) { return 0; }
#endif

#if __has_include("texture/texture_slots.h")
#include "texture/texture_slots.h"
#else
static inline int LoadTextureFile(PlatformOwner, Texture*, char*, size_t) { return 0; }
static inline void ReleaseTexturePixels(Texture* texture) { texture->pixels = nullptr; }
#endif
