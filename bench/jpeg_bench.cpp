// JPEG decoding speed, side by side in one run: the texture decoder at the
// processor's SIMD level and with its scalar reference, libjpeg-turbo with its
// SIMD and without (a child process with JSIMD_FORCENONE=1, which it reads
// once at start-up), and stb_image, on photo-like images of each sampling
// layout from 2 to 33 megapixels, with and without restart intervals.
//
// usage: quillmere_bench_jpeg DIR [--make] [--wall]
//   --make draws the photo-like images and encodes them into DIR with cjpeg
//   (quality 90) first; without it the .jpg files already in DIR are timed,
//   which is how the Windows build is run under Wine on the same files.
//   --wall times by the wall clock instead of the process's processor time.
// Prints one line per image and peer:
//   jpeg IMAGE: quillmere X ms, libjpeg-turbo Y ms, ratio R
// (R = X / Y, the median of repeated decodes each); a peer this build lacks is
// named on its line.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#if defined(QUILLMERE_HAVE_LIBJPEG)
#include <jpeglib.h>
#endif
#if defined(_WIN32)
#include <windows.h>
#endif

#include "core/cpu_features.h"
#include "core/memory.h"

// Every decoder's pixels come from the allocator the texture's come from, so
// that all of them are given the same kind of fresh pages (on Linux a large
// block is advised for huge pages, whose first writes fault in far fewer
// times than a plain block's).
#define STBI_MALLOC(bytes) AllocateBytes(bytes)
#define STBI_REALLOC(block, bytes) ReallocateBytes(block, bytes)
#define STBI_FREE(block) ReleaseBytes(block)
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

// ---- The images -------------------------------------------------------------

struct BenchImageKind {
    const char* name;
    int width, height;
    const char* cjpegOptions;
};

const BenchImageKind images[] = {
    {"s420-2mp", 1632, 1224, "-sample 2x2,1x1,1x1"},
    {"s420-8mp", 3264, 2448, "-sample 2x2,1x1,1x1"},
    {"s420-8mp-rst", 3264, 2448, "-sample 2x2,1x1,1x1 -restart 1"},
    {"s420-33mp", 7680, 4320, "-sample 2x2,1x1,1x1"},
    {"s422-8mp", 3264, 2448, "-sample 2x1,1x1,1x1"},
    {"s422-2mp-rst", 1632, 1224, "-sample 2x1,1x1,1x1 -restart 4B"},
    {"s444-8mp", 3264, 2448, "-sample 1x1,1x1,1x1"},
    {"grey-8mp", 3264, 2448, "-grayscale"},
    {"grey-33mp-rst", 7680, 4320, "-grayscale -restart 2"},
};

// A photo-like picture: soft light over objects with hard edges, texture at
// two scales and sensor grain, so that it codes at a photograph's bit rate.
void WritePhotoPpm(const std::string& path, int width, int height) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fprintf(f, "P6\n%d %d\n255\n", width, height);
    std::vector<unsigned char> row(static_cast<size_t>(width) * 3);
    uint32_t state = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const double u = x / static_cast<double>(width), v = y / static_cast<double>(height);
            const double light = 0.55 + 0.45 * std::sin(u * 5.1 + 0.7) * std::cos(v * 3.7);
            const double dx = u - 0.4, dy = v - 0.55;
            const bool object = dx * dx + dy * dy < 0.06 || (u > 0.7 && v < 0.3 && u - v < 0.6);
            const double fine = std::sin(x * 0.31 + std::sin(y * 0.07) * 4) * std::cos(y * 0.23 + x * 0.011);
            const double coarse = std::sin(x * 0.021 + y * 0.013) * std::sin(y * 0.017 - x * 0.005);
            const int grain = static_cast<int>(state >> 28) - 8;
            const double base[3] = {object ? 190.0 : 80.0, object ? 110.0 : 135.0, object ? 60.0 : 170.0};
            for (int c = 0; c < 3; ++c) {
                const double value = base[c] * light + 22 * fine * (c + 1) / 2 + 30 * coarse + grain;
                row[static_cast<size_t>(x) * 3 + c] = static_cast<unsigned char>(std::clamp(value, 0.0, 255.0));
            }
        }
        std::fwrite(row.data(), 1, row.size(), f);
    }
    std::fclose(f);
}

bool MakeImages(const std::string& dir) {
    for (const BenchImageKind& kind : images) {
        const std::string jpg = dir + "/" + kind.name + ".jpg";
        if (!ReadFile(jpg).empty()) continue;
        const std::string ppm =
            dir + "/photo-" + std::to_string(kind.width) + "x" + std::to_string(kind.height) + ".ppm";
        if (ReadFile(ppm).empty()) WritePhotoPpm(ppm, kind.width, kind.height);
        const std::string command =
            std::string("cjpeg -quality 90 ") + kind.cjpegOptions + " -outfile '" + jpg + "' '" + ppm + "'";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "cannot run: %s\n", command.c_str());
            return false;
        }
    }
    return true;
}

// ---- Timing -----------------------------------------------------------------

// The process's processor time where the system keeps it per process (so a
// busy machine's other work does not count), else, or with --wall, the wall
// clock (to compare with a build that has only the wall clock).
bool useWallClock = false;

double NowMs() {
#if defined(_WIN32)
    // Windows keeps the process's user and kernel time in 100 ns units.
    FILETIME created, exited, kernel, user;
    if (!useWallClock && GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        const auto ticks = [](const FILETIME& f) {
            return static_cast<double>(static_cast<uint64_t>(f.dwHighDateTime) << 32 | f.dwLowDateTime);
        };
        return (ticks(kernel) + ticks(user)) / 1e4;
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
#elif defined(CLOCK_PROCESS_CPUTIME_ID)
    if (useWallClock) {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
#else
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
#endif
}

const char* ClockName() {
#if defined(CLOCK_PROCESS_CPUTIME_ID) || defined(_WIN32)
    return useWallClock ? "wall time" : "processor time";
#else
    return "wall time";
#endif
}

// Windows counts process time in scheduler ticks (about 10 ms, under Wine
// too), so there each sample is a batch of decodes lasting 100 ms or more.
#if defined(_WIN32)
constexpr double MinimumSampleMs = 100;
#else
constexpr double MinimumSampleMs = 0;
#endif

template <typename Decode>
double MillisecondsPerDecode(Decode decode) {
    decode();  // warm up
    int batch = 1;
    while (!useWallClock && batch < 64) {
        const double t0 = NowMs();
        for (int i = 0; i < batch; ++i) decode();
        if (NowMs() - t0 >= MinimumSampleMs) break;
        batch *= 2;
    }
    std::vector<double> times;
    const double start = NowMs();
    while (times.size() < 5 || (times.size() < 31 && NowMs() - start < 2000)) {
        const double t0 = NowMs();
        for (int i = 0; i < batch; ++i) decode();
        times.push_back((NowMs() - t0) / batch);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];  // the median
}

double TimeQuillmere(const Bytes& data, SimdLevel level) {
    const SimdLevel saved = SetActiveSimdLevel(level);
    const double ms = MillisecondsPerDecode([&] {
        Texture t{nullptr, 0, 0};
        DecodeJpegMemory(data.data(), data.size(), &t, nullptr, nullptr);
        ReleaseTexturePixels(&t);
    });
    SetActiveSimdLevel(saved);
    return ms;
}

double TimeStb(const Bytes& data) {
    return MillisecondsPerDecode([&] {
        int w, h, n;
        unsigned char* p = stbi_load_from_memory(data.data(), static_cast<int>(data.size()), &w, &h, &n, 4);
        stbi_image_free(p);
    });
}

#if defined(QUILLMERE_HAVE_LIBJPEG)
// Each decode gets a fresh buffer of the same 4-byte pixels a texture has,
// from the same allocator, and not cleared first, as a texture's is not.
double TimeLibjpeg(const Bytes& data) {
    return MillisecondsPerDecode([&] {
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr jerr;
        cinfo.err = jpeg_std_error(&jerr);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = JCS_EXT_BGRX;
        cinfo.dct_method = JDCT_ISLOW;
        jpeg_start_decompress(&cinfo);
        const size_t stride = static_cast<size_t>(cinfo.output_width) * 4;
        unsigned char* out = static_cast<unsigned char*>(AllocateBytes(stride * cinfo.output_height));
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = out + cinfo.output_scanline * stride;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        ReleaseBytes(out);
    });
}

// libjpeg-turbo without its SIMD, timed by a child process of this program.
double TimeLibjpegWithoutSimd(const char* self, const std::string& path) {
    const std::string child = std::string("JSIMD_FORCENONE=1 '") + self + "' --libjpeg-only '" + path + "'";
    double ms = 0;
    if (FILE* pipe = popen(child.c_str(), "r")) {
        if (std::fscanf(pipe, "%lf", &ms) != 1) ms = 0;
        pclose(pipe);
    }
    return ms;
}
#endif

void PrintLine(const char* image, const char* ours, double ourMs, const char* peer, double peerMs) {
    if (peerMs > 0) {
        std::printf("jpeg %s: %s %.1f ms, %s %.1f ms, ratio %.2f\n", image, ours, ourMs, peer, peerMs, ourMs / peerMs);
    } else {
        std::printf("jpeg %s: %s %.1f ms, %s not measured\n", image, ours, ourMs, peer);
    }
}

void BenchImage(const char* self, const std::string& path, const char* name) {
    const Bytes data = ReadFile(path);
    if (data.empty()) return;  // not among the images of this folder
    Texture probe{nullptr, 0, 0};
    if (!DecodeJpegMemory(data.data(), data.size(), &probe, nullptr, nullptr)) {
        std::printf("jpeg %s: does not decode\n", name);
        return;
    }
    ReleaseTexturePixels(&probe);
    const double ours = TimeQuillmere(data, ActiveSimdLevel());
    const double scalar = TimeQuillmere(data, SimdScalar);
    const double stb = TimeStb(data);
#if defined(QUILLMERE_HAVE_LIBJPEG)
    PrintLine(name, "quillmere", ours, "libjpeg-turbo", TimeLibjpeg(data));
    PrintLine(name, "quillmere scalar", scalar, "libjpeg-turbo without SIMD", TimeLibjpegWithoutSimd(self, path));
#else
    (void)self;
    std::printf("jpeg %s: quillmere %.1f ms, libjpeg-turbo not built for this target\n", name, ours);
    std::printf("jpeg %s: quillmere scalar %.1f ms, libjpeg-turbo not built for this target\n", name, scalar);
#endif
    PrintLine(name, "quillmere", ours, "stb_image", stb);
}

}  // namespace

int main(int argc, char** argv) {
#if defined(QUILLMERE_HAVE_LIBJPEG)
    if (argc == 3 && std::strcmp(argv[1], "--libjpeg-only") == 0) {
        std::printf("%.4f\n", TimeLibjpeg(ReadFile(argv[2])));
        return 0;
    }
#endif
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [--make] [--wall]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--make") == 0 && !MakeImages(dir)) return 1;
        if (std::strcmp(argv[i], "--wall") == 0) useWallClock = true;
    }
    std::printf("jpeg: quillmere at SIMD level %s, %d-bit build, median %s per decode\n",
                SimdLevelName(ActiveSimdLevel()), static_cast<int>(sizeof(void*) * 8), ClockName());
    for (const BenchImageKind& kind : images) {
        BenchImage(argv[0], dir + "/" + kind.name + ".jpg", kind.name);
        std::fflush(stdout);
    }
    return 0;
}
