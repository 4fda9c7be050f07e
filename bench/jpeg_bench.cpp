// JPEG decoding speed, side by side in one run: the texture decoder (MMX and
// scalar inverse DCT), libjpeg-turbo with its SIMD on and off (off in a second
// process with JSIMD_FORCENONE=1, which it reads once at start-up) and
// stb_image, on one large 4:2:0 photograph.
//
// usage: quillmere_bench_jpeg [FILE.jpg]
//   Without FILE the corpus photograph is enlarged to 3402 x 2268 (7.7 MP) and
//   encoded at quality 90, 4:2:0, or, without the corpus, a photo-like image
//   is drawn. Prints milliseconds per decode, megapixels per second and each
//   decoder's speed relative to the texture decoder.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#include <stb/stb_image.h>

#include "texture/texture_slots.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ReadFile(const std::string& path) {
    Bytes data;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return data;
    unsigned char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.insert(data.end(), buffer, buffer + n);
    std::fclose(f);
    return data;
}

// ---- libjpeg-turbo ------------------------------------------------------------

bool DecodeLibjpeg(const Bytes& data, std::vector<unsigned char>& out, int* width, int* height) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_EXT_BGRX;   // the same 4-byte pixels as a texture
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&cinfo);
    *width = static_cast<int>(cinfo.output_width);
    *height = static_cast<int>(cinfo.output_height);
    out.resize(static_cast<size_t>(*width) * *height * 4);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.data() + static_cast<size_t>(cinfo.output_scanline) * *width * 4;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

Bytes EncodeLibjpeg(const std::vector<unsigned char>& rgb, int width, int height) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    cinfo.comp_info[0].h_samp_factor = 2;   // 4:2:0
    cinfo.comp_info[0].v_samp_factor = 2;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(rgb.data()) + static_cast<size_t>(cinfo.next_scanline) * width * 3;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

// ---- The test photograph --------------------------------------------------------

Bytes MakePhotograph(const std::string& corpusPhoto) {
    std::vector<unsigned char> rgb;
    int width = 0, height = 0;
    const Bytes source = ReadFile(corpusPhoto);
    std::vector<unsigned char> small;
    int sw = 0, sh = 0;
    if (!source.empty() && DecodeLibjpeg(source, small, &sw, &sh)) {
        // Enlarge 1.5 times with bilinear filtering: still a photograph.
        width = sw * 3 / 2;
        height = sh * 3 / 2;
        rgb.resize(static_cast<size_t>(width) * height * 3);
        for (int y = 0; y < height; ++y) {
            const double fy = std::min(y / 1.5, sh - 1.001);
            const int y0 = static_cast<int>(fy);
            const double ty = fy - y0;
            for (int x = 0; x < width; ++x) {
                const double fx = std::min(x / 1.5, sw - 1.001);
                const int x0 = static_cast<int>(fx);
                const double tx = fx - x0;
                for (int c = 0; c < 3; ++c) {
                    auto at = [&](int xx, int yy) { return small[(static_cast<size_t>(yy) * sw + xx) * 4 + (2 - c)]; };
                    const double v = (at(x0, y0) * (1 - tx) + at(x0 + 1, y0) * tx) * (1 - ty) +
                                     (at(x0, y0 + 1) * (1 - tx) + at(x0 + 1, y0 + 1) * tx) * ty;
                    rgb[(static_cast<size_t>(y) * width + x) * 3 + c] = static_cast<unsigned char>(v + 0.5);
                }
            }
        }
    } else {
        // A drawn stand-in: smooth light, hard edges and grain.
        width = 2592;
        height = 1944;
        rgb.resize(static_cast<size_t>(width) * height * 3);
        uint32_t state = 1;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                state = state * 1664525u + 1013904223u;
                const int grain = static_cast<int>(state >> 27) - 16;
                const double light = 0.5 + 0.5 * std::sin(x * 0.004) * std::cos(y * 0.006);
                const bool object = ((x - 900) * (x - 900) + (y - 1000) * (y - 1000)) < 400 * 400;
                const int base[3] = {object ? 200 : 70, object ? 90 : 140, object ? 40 : 190};
                for (int c = 0; c < 3; ++c) {
                    const int v = static_cast<int>(base[c] * (0.4 + 0.6 * light)) + grain;
                    rgb[(static_cast<size_t>(y) * width + x) * 3 + c] = static_cast<unsigned char>(std::clamp(v, 0, 255));
                }
            }
        }
    }
    return EncodeLibjpeg(rgb, width, height);
}

// ---- Timing -----------------------------------------------------------------------

template <typename Decode>
double MillisecondsPerDecode(Decode decode) {
    using Clock = std::chrono::steady_clock;
    decode();   // warm up
    std::vector<double> times;
    const auto start = Clock::now();
    while (times.size() < 5 || (times.size() < 50 && Clock::now() - start < std::chrono::seconds(2))) {
        const auto t0 = Clock::now();
        decode();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];   // the median
}

// Each decode gets a fresh buffer, as the texture decoder and stb_image do.
double TimeLibjpeg(const Bytes& data) {
    int w, h;
    return MillisecondsPerDecode([&] {
        std::vector<unsigned char> out;
        DecodeLibjpeg(data, out, &w, &h);
    });
}

}  // namespace

int main(int argc, char** argv) {
    // Child mode: time libjpeg-turbo alone (run with JSIMD_FORCENONE=1).
    if (argc == 3 && std::strcmp(argv[1], "--libjpeg-only") == 0) {
        std::printf("%.4f\n", TimeLibjpeg(ReadFile(argv[2])));
        return 0;
    }
    std::string path = argc > 1 ? argv[1] : "";
    Bytes data;
    if (!path.empty()) {
        data = ReadFile(path);
    } else {
        data = MakePhotograph(std::string(QUILLMERE_SOURCE_DIR) + "/../shared/corpus/jpeg/cjpeg-variants/big-s420-rst4.jpg");
        path = "/tmp/quillmere-bench-photo.jpg";
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(data.data(), 1, data.size(), f) != data.size()) return 1;
        std::fclose(f);
    }
    Texture probe{nullptr, 0, 0};
    if (data.empty() || !DecodeJpegMemory(data.data(), data.size(), &probe, nullptr, nullptr)) {
        std::fprintf(stderr, "cannot decode %s\n", path.c_str());
        return 1;
    }
    const double megapixels = static_cast<double>(probe.width) * probe.height / 1e6;
    std::printf("image: %s, %d x %d (%.2f MP), %zu bytes\n", path.c_str(), probe.width, probe.height, megapixels, data.size());
    ReleaseTexturePixels(&probe);

    auto timeOurs = [&](InverseDctFunction idct) {
        JpegDecodeOptions options{nullptr, idct};
        return MillisecondsPerDecode([&] {
            Texture t{nullptr, 0, 0};
            DecodeJpegMemory(data.data(), data.size(), &t, &options, nullptr);
            ReleaseTexturePixels(&t);
        });
    };
    struct Row {
        std::string name;
        double ms;
    };
    std::vector<Row> rows;
    if (InverseDctBlockMmx) rows.push_back({"quillmere (MMX IDCT)", timeOurs(InverseDctBlockMmx)});
    rows.push_back({"quillmere (scalar IDCT)", timeOurs(InverseDctBlockScalar)});
    rows.push_back({"libjpeg-turbo (SIMD)", TimeLibjpeg(data)});
    const std::string child = std::string("JSIMD_FORCENONE=1 '") + argv[0] + "' --libjpeg-only '" + path + "'";
    if (FILE* pipe = popen(child.c_str(), "r")) {
        double ms = 0;
        if (std::fscanf(pipe, "%lf", &ms) == 1) rows.push_back({"libjpeg-turbo (no SIMD)", ms});
        pclose(pipe);
    }
    rows.push_back({"stb_image", MillisecondsPerDecode([&] {
                         int w, h, n;
                         unsigned char* p = stbi_load_from_memory(data.data(), static_cast<int>(data.size()), &w, &h, &n, 4);
                         stbi_image_free(p);
                     })});

    const double reference = rows[0].ms;
    std::printf("%-26s %10s %10s %18s\n", "decoder", "ms/image", "MP/s", "speed vs quillmere");
    for (const Row& r : rows) {
        std::printf("%-26s %10.2f %10.1f %17.2fx\n", r.name.c_str(), r.ms, megapixels / (r.ms / 1000.0), reference / r.ms);
    }
    return 0;
}
