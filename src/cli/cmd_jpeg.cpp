// quillmere-cli jpeg IN.jpg -o OUT.bmp|OUT.ppm: decodes with the texture
// decoder, as "Load texture" does, and writes the image top row first.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <tmmintrin.h>
#endif

#include "cli/cli.h"
#include "cli/cli_options.h"
#include "core/cpu_features.h"
#include "core/texture.h"
#include "formats/bmp_writer.h"
#include "formats/written_file.h"
#include "texture/texture_slots.h"

namespace {

// Binary PPM, top row first (red, green, blue per pixel), written while the
// image decodes: each row is converted and written as soon as it is out, so
// the whole image is never held.
struct PpmStream {
    const char* path;
    FILE* file;
    bool failed;  // the file could not be created or written
    std::vector<uint32_t> row;
    std::vector<uint8_t> line;  // width * 3 bytes and 4 to spare
    void (*toRgb)(const uint32_t* pixels, size_t width, uint8_t* out);
};

// 0x00RRGGBB pixels into red, green, blue bytes, four pixels as one 8-byte
// and one 4-byte store.
void PixelsToRgb(const uint32_t* p, size_t width, uint8_t* q) {
    size_t x = 0;
    for (; x + 4 <= width; x += 4, q += 12) {
        // Each swapped pixel is red, green, blue in its three low bytes' order.
        const uint64_t a = __builtin_bswap32(p[x]) >> 8, b = __builtin_bswap32(p[x + 1]) >> 8;
        const uint64_t c = __builtin_bswap32(p[x + 2]) >> 8, d = __builtin_bswap32(p[x + 3]) >> 8;
        const uint64_t first = a | b << 24 | c << 48;
        const uint32_t second = static_cast<uint32_t>(c >> 16 | d << 8);
        std::memcpy(q, &first, 8);
        std::memcpy(q + 8, &second, 4);
    }
    for (; x < width; ++x, q += 3) {
        q[0] = static_cast<uint8_t>(p[x] >> 16);
        q[1] = static_cast<uint8_t>(p[x] >> 8);
        q[2] = static_cast<uint8_t>(p[x]);
    }
}

#if defined(__SSE2__)
// The same bytes by one byte shuffle per four pixels, on processors that have
// SSSE3 (every one with AVX2). Each store runs 4 bytes past its 12.
__attribute__((target("ssse3"))) void PixelsToRgbSsse3(const uint32_t* p, size_t width, uint8_t* q) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    size_t x = 0;
    for (; x + 4 <= width; x += 4, q += 12) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q), _mm_shuffle_epi8(pixels, order));
    }
    PixelsToRgb(p + x, width - x, q);
}
#endif

int StartPpm(void* context, int32_t width, int32_t height) {
    PpmStream& s = *static_cast<PpmStream*>(context);
    s.file = std::fopen(s.path, "wb");
    if (!s.file || std::fprintf(s.file, "P6\n%d %d\n255\n", width, height) < 0) {
        s.failed = true;
        return 0;
    }
    s.row.resize(static_cast<size_t>(width));
    s.line.resize(static_cast<size_t>(width) * 3 + 4);
    s.toRgb = PixelsToRgb;
#if defined(__SSE2__)
    if (ActiveSimdLevel() >= SimdAvx2) s.toRgb = PixelsToRgbSsse3;
#endif
    return 1;
}

uint32_t* PpmRow(void* context, int32_t) { return static_cast<PpmStream*>(context)->row.data(); }

int PpmRowDone(void* context, int32_t) {
    PpmStream& s = *static_cast<PpmStream*>(context);
    const size_t bytes = s.row.size() * 3;
    s.toRgb(s.row.data(), s.row.size(), s.line.data());
    if (std::fwrite(s.line.data(), 1, bytes, s.file) != bytes) s.failed = true;
    return !s.failed;
}

bool WriteBmp(const std::string& path, const Texture& texture) {
    return WriteTextureBmpFile(path.c_str(), texture) == BmpWritten;
}

int CannotWrite(const std::string& path) {
    std::fprintf(stderr, "quillmere-cli: cannot write %s\n", path.c_str());
    return CliFailure;
}

int DecodeJpeg(const JpegOptions& options) {
    // The same load as the "Load texture" command, the path standing in for the dialog.
    AnswerDialogsWith(options.input);
    if (options.bmp) {
        Texture texture{nullptr, 1, 1};
        char title[256];
        if (!LoadTextureFile(OwnerNone, &texture, title, sizeof title)) return CliFailure;
        const bool written = WriteBmp(options.output, texture);
        ReleaseTexturePixels(&texture);
        if (written) return CliSuccess;
        RemoveWrittenFile(options.output.c_str());
        return CannotWrite(options.output);
    }
    // The rows go to a file beside the output, which takes the output's name
    // only once the whole image is in it: a failed decode leaves whatever was
    // there before, and an output named as the input is read to the end first.
    // A device or pipe is written in place: renaming would replace its entry.
    const bool inPlace = NamesNonFile(options.output.c_str());
    const std::string partial = inPlace ? options.output : options.output + ".part";
    PpmStream stream{partial.c_str(), nullptr, false, {}, {}, nullptr};
    const int ok = StreamTextureFile(OwnerNone, JpegRowSink{&stream, StartPpm, PpmRow, PpmRowDone});
    if (stream.file && !CloseWrittenFile(stream.file)) stream.failed = true;
    if (!ok || stream.failed) {
        if (stream.file && !inPlace) std::remove(partial.c_str());
        return stream.failed ? CannotWrite(options.output) : CliFailure;
    }
    if (inPlace) return CliSuccess;
    // Where renaming does not replace a file, the old one goes first.
    if (std::rename(partial.c_str(), options.output.c_str()) != 0 &&
        (std::remove(options.output.c_str()) != 0 || std::rename(partial.c_str(), options.output.c_str()) != 0)) {
        std::remove(partial.c_str());
        return CannotWrite(options.output);
    }
    return CliSuccess;
}

}  // namespace

int CliJpeg(const CliArgs& args) { return RunWithOptions(args, ParseJpegOptions, DecodeJpeg); }
