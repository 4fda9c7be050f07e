// The texture decoder on arbitrary bytes: it must decode or fail, never read
// or write outside its buffers, never leak; a decoded image has the frame's
// size and only 0x00RRGGBB pixels. Inputs whose frame header asks for more
// than 4,096 pixels are passed over: each such decode costs milliseconds
// under the sanitizers, and small frames of odd sizes take the same paths
// (sizes past the signed 32-bit range are the unit tests' part). Under a
// faster kernel level, one decoded input in eight (and one failing input in
// sixteen) is decoded again with the portable kernels, which must give the
// same pixels (or fail alike).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/cpu_features.h"
#include "core/memory.h"
#include "fuzz_support.h"
#include "texture/texture_slots.h"

namespace {

constexpr uint64_t PixelBudget = 1u << 12;

// Whether any byte run that reads as a frame header (FF C0..CF other than
// the DHT, JPG and DAC codes, then length, precision, height, width) asks
// for more pixels than the budget.
bool AsksForLargeFrame(const uint8_t* data, size_t size) {
    // memchr finds the marker bytes: a byte loop here, its loads checked one
    // by one, took 1.7 % of a run.
    const uint8_t* end = data + size;
    for (const uint8_t* p = data; end - p >= 9; ++p) {
        p = static_cast<const uint8_t*>(std::memchr(p, 0xFF, static_cast<size_t>(end - p) - 8));
        if (!p) return false;
        if ((p[1] & 0xF0) != 0xC0 || p[1] == 0xC4 || p[1] == 0xC8 || p[1] == 0xCC) continue;
        const uint64_t height = static_cast<uint64_t>(p[5]) << 8 | p[6];
        const uint64_t width = static_cast<uint64_t>(p[7]) << 8 | p[8];
        if (height * width > PixelBudget) return true;
    }
    return false;
}

}  // namespace

// The kernels' level is the program's own choice (QUILLMERE_SIMD caps it, so
// that a run covers one level); the log names it.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::fprintf(stderr, "fuzz_jpeg: kernels at level %s\n", SimdLevelName(ActiveSimdLevel()));
    return 0;
}

namespace {

void CheckDecoded(const Texture& texture) {
    Require(texture.pixels != nullptr, "a decoded image has pixels");
    Require(texture.width >= 1 && texture.width <= 65500 && texture.height >= 1 && texture.height <= 65500,
            "the image size is the frame's");
    const size_t count = static_cast<size_t>(texture.width) * static_cast<size_t>(texture.height);
    uint32_t high = 0;
    for (size_t i = 0; i < count; ++i) high |= texture.pixels[i];
    Require((high >> 24) == 0, "pixels are 0x00RRGGBB");
}

// The same bytes through the portable kernels give the same result, pixel
// for pixel.
void CheckSameAsScalar(const uint8_t* data, size_t size, int decoded, const Texture& texture) {
    const SimdLevel level = SetActiveSimdLevel(SimdScalar);
    Texture scalar{nullptr, 0, 0};
    const int scalarDecoded = DecodeJpegMemory(data, size, &scalar, nullptr, nullptr);
    SetActiveSimdLevel(level);
    Require(scalarDecoded == decoded, "the portable kernels decode or fail alike");
    if (decoded) {
        Require(scalar.width == texture.width && scalar.height == texture.height,
                "the portable kernels give the same size");
        const size_t bytes = static_cast<size_t>(texture.width) * static_cast<size_t>(texture.height) * 4;
        Require(std::memcmp(scalar.pixels, texture.pixels, bytes) == 0, "the portable kernels give the same pixels");
    }
    ReleaseTexturePixels(&scalar);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (AsksForLargeFrame(data, size)) return 0;
    const long live = LiveAllocationCount();
    Texture texture{nullptr, 0, 0};
    const int decoded = DecodeJpegMemory(data, size, &texture, nullptr, nullptr);
    if (decoded) CheckDecoded(texture);
    // A second decode costs a whole one: one decoded input in eight (by its
    // size, so that a run repeats) is compared with the portable kernels;
    // one in four made the comparisons up to a third of a run at the SIMD
    // levels. Of the inputs that fail, one in sixteen: a failure comes from
    // the markers or the entropy-coded data, which every level reads alike.
    if (ActiveSimdLevel() != SimdScalar && size % 8 == 0 && (decoded || size % 16 == 0))
        CheckSameAsScalar(data, size, decoded, texture);
    ReleaseTexturePixels(&texture);
    Require(LiveAllocationCount() == live, "no block outlives the decode");
    return 0;
}
