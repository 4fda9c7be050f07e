// quillmere-cli jpeg IN.jpg -o OUT.bmp|OUT.ppm: decodes with the texture
// decoder, as "Load texture" does, and writes the image top row first.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/cli_options.h"
#include "core/texture.h"
#include "texture/texture_slots.h"

namespace {

void PutLittle(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// 24-bit BMP: rows bottom-up, each padded to 4 bytes, as the texture stores them.
std::vector<uint8_t> EncodeBmp(const Texture& t) {
    const uint32_t stride = (static_cast<uint32_t>(t.width) * 3 + 3) & ~3u;
    const uint32_t imageBytes = stride * static_cast<uint32_t>(t.height);
    std::vector<uint8_t> out;
    out.reserve(54 + imageBytes);
    out.push_back('B');
    out.push_back('M');
    PutLittle(out, 54 + imageBytes, 4);
    PutLittle(out, 0, 4);
    PutLittle(out, 54, 4);
    PutLittle(out, 40, 4);
    PutLittle(out, static_cast<uint32_t>(t.width), 4);
    PutLittle(out, static_cast<uint32_t>(t.height), 4);
    PutLittle(out, 1, 2);
    PutLittle(out, 24, 2);
    PutLittle(out, 0, 4);
    PutLittle(out, imageBytes, 4);
    PutLittle(out, 2835, 4);  // 72 dots per inch
    PutLittle(out, 2835, 4);
    PutLittle(out, 0, 4);
    PutLittle(out, 0, 4);
    for (int32_t row = 0; row < t.height; ++row) {
        const uint32_t* p = t.pixels + static_cast<size_t>(row) * static_cast<size_t>(t.width);
        for (int32_t x = 0; x < t.width; ++x) PutLittle(out, p[x], 3);  // blue, green, red
        for (uint32_t pad = static_cast<uint32_t>(t.width) * 3; pad < stride; ++pad) out.push_back(0);
    }
    return out;
}

// Binary PPM, top row first: red, green, blue per pixel, a row at a time.
// Each pixel is stored as one 4-byte word whose fourth byte the next pixel
// overwrites (the row buffer has one byte to spare); the words are put
// together for the little-endian processors the program runs on.
bool WritePpm(FILE* file, const Texture& t) {
    const size_t width = static_cast<size_t>(t.width);
    if (std::fprintf(file, "P6\n%d %d\n255\n", t.width, t.height) < 0) return false;
    std::vector<uint8_t> line(width * 3 + 1);
    for (int32_t row = t.height - 1; row >= 0; --row) {
        const uint32_t* p = t.pixels + static_cast<size_t>(row) * width;
        uint8_t* q = line.data();
        for (size_t x = 0; x < width; ++x, q += 3) {
            const uint32_t rgb = (p[x] >> 16 & 0xFF) | (p[x] & 0xFF00) | (p[x] & 0xFF) << 16;
            std::memcpy(q, &rgb, 4);
        }
        if (std::fwrite(line.data(), 1, width * 3, file) != width * 3) return false;
    }
    return true;
}

}  // namespace

int CliJpeg(const CliArgs& args) {
    JpegOptions options;
    const std::string usage = ParseJpegOptions(args, &options);
    if (!usage.empty()) return CliUsageError(usage.c_str());

    // The same load as the "Load texture" command, the path standing in for the dialog.
    AnswerDialogsWith(options.input);
    Texture texture{nullptr, 1, 1};
    char title[256];
    if (!LoadTextureFile(OwnerNone, &texture, title, sizeof title)) return CliFailure;

    FILE* file = std::fopen(options.output.c_str(), "wb");
    bool written = file != nullptr;
    if (written && options.bmp) {
        const std::vector<uint8_t> bytes = EncodeBmp(texture);
        written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    } else if (written) {
        written = WritePpm(file, texture);
    }
    ReleaseTexturePixels(&texture);
    if (file && std::fclose(file) != 0) written = false;
    if (!written) {
        std::fprintf(stderr, "quillmere-cli: cannot write %s\n", options.output.c_str());
        std::remove(options.output.c_str());
        return CliFailure;
    }
    return CliSuccess;
}
