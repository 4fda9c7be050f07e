#include "support/jpeg_support.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/cpu_features.h"
#include "support/paths.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

// clang-format off
const IdctConstants ReferenceIdctConstants = {
    {10703, 4433, 4433, -10704},
    {8192, 8192, 8192, -8192},
    {9633, -6436, 6437, 9633},
    {-7373, -4927, -4176, -20995},
    {4926, -7373, -20995, 4177},
};
// clang-format on

namespace {

Decoded FromTexture(const Texture& t, int ok, int progressive) {
    Decoded d;
    d.ok = ok;
    d.progressive = progressive;
    if (!ok) return d;
    d.width = t.width;
    d.height = t.height;
    d.rgb.reserve(static_cast<size_t>(t.width) * t.height * 3);
    for (int row = t.height - 1; row >= 0; --row) {
        const uint32_t* p = t.pixels + static_cast<size_t>(row) * t.width;
        for (int x = 0; x < t.width; ++x) {
            d.rgb.push_back(static_cast<uint8_t>(p[x] >> 16));
            d.rgb.push_back(static_cast<uint8_t>(p[x] >> 8));
            d.rgb.push_back(static_cast<uint8_t>(p[x]));
        }
    }
    return d;
}

}  // namespace

Decoded DecodeBytes(const Bytes& data, const IdctConstants* constants, InverseDctFunction idct) {
    JpegDecodeOptions options{constants, idct};
    Texture t{nullptr, 0, 0};
    int progressive = 0;
    const int ok = DecodeJpegMemory(data.data(), data.size(), &t, &options, &progressive);
    Decoded d = FromTexture(t, ok, progressive);
    ReleaseTexturePixels(&t);
    return d;
}

Decoded DecodeFile(const std::string& path, const IdctConstants* constants) {
    return DecodeBytes(ReadBytes(path), constants);
}

Decoded DecodeReference(const Bytes& data) {
    const SimdLevel saved = SetActiveSimdLevel(SimdScalar);
    JpegDecodeOptions options{nullptr, InverseDctBlockScalar, 1};
    Texture t{nullptr, 0, 0};
    int progressive = 0;
    const int ok = DecodeJpegMemory(data.data(), data.size(), &t, &options, &progressive);
    SetActiveSimdLevel(saved);
    Decoded d = FromTexture(t, ok, progressive);
    ReleaseTexturePixels(&t);
    return d;
}

std::vector<std::string> JpegFilesUnder(const std::string& root) {
    std::vector<std::string> files;
    if (root.empty() || !std::filesystem::is_directory(root)) return files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string path = entry.path().string();
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".jpg" || ext == ".jpeg")) files.push_back(path);
    }
    std::sort(files.begin(), files.end());
    return files;
}

Bytes ToPnm(const Decoded& image, bool grey) {
    const std::string header = std::string(grey ? "P5" : "P6") + "\n" + std::to_string(image.width) + " " +
                               std::to_string(image.height) + "\n255\n";
    Bytes out(header.begin(), header.end());
    if (grey) {
        for (size_t i = 0; i < image.rgb.size(); i += 3) out.push_back(image.rgb[i]);
    } else {
        out.insert(out.end(), image.rgb.begin(), image.rgb.end());
    }
    return out;
}

Decoded ReadPnm(const Bytes& pnm) {
    Decoded d;
    if (pnm.size() < 2 || pnm[0] != 'P' || (pnm[1] != '5' && pnm[1] != '6')) return d;
    const bool grey = pnm[1] == '5';
    size_t pos = 2;
    int values[3];
    for (int& v : values) {
        while (pos < pnm.size() && std::isspace(pnm[pos])) ++pos;
        v = 0;
        while (pos < pnm.size() && std::isdigit(pnm[pos])) v = v * 10 + (pnm[pos++] - '0');
    }
    ++pos;  // the single white-space byte before the samples
    d.width = values[0];
    d.height = values[1];
    const size_t count = static_cast<size_t>(d.width) * d.height * (grey ? 1 : 3);
    if (pos + count > pnm.size()) return d;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t v = pnm[pos + i];
        d.rgb.push_back(v);
        if (grey) {
            d.rgb.push_back(v);
            d.rgb.push_back(v);
        }
    }
    d.ok = 1;
    return d;
}

// ---- MD5 (RFC 1321) ---------------------------------------------------------

namespace {
inline uint32_t Rotl(uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }
}  // namespace

std::string Md5Hex(const Bytes& data) {
    static const int shifts[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                   5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                   4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                   6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    static uint32_t sines[64];
    static bool ready = false;
    if (!ready) {
        // floor(2^32 * |sin(i + 1)|), exact in double precision.
        for (int i = 0; i < 64; ++i) {
            sines[i] = static_cast<uint32_t>(static_cast<uint64_t>(std::fabs(std::sin(i + 1.0)) * 4294967296.0));
        }
        ready = true;
    }
    Bytes message = data;
    const uint64_t bitLength = static_cast<uint64_t>(data.size()) * 8;
    message.push_back(0x80);
    while (message.size() % 64 != 56) message.push_back(0);
    for (int i = 0; i < 8; ++i) message.push_back(static_cast<uint8_t>(bitLength >> (8 * i)));

    uint32_t a0 = 0x67452301, b0 = 0xefcdab89, c0 = 0x98badcfe, d0 = 0x10325476;
    for (size_t chunk = 0; chunk < message.size(); chunk += 64) {
        uint32_t m[16];
        for (int i = 0; i < 16; ++i) {
            const uint8_t* p = &message[chunk + 4 * i];
            m[i] = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
        }
        uint32_t a = a0, b = b0, c = c0, d = d0;
        for (int i = 0; i < 64; ++i) {
            uint32_t f;
            int g;
            if (i < 16) {
                f = (b & c) | (~b & d);
                g = i;
            } else if (i < 32) {
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
            }
            f = f + a + sines[i] + m[g];
            a = d;
            d = c;
            c = b;
            b = b + Rotl(f, shifts[i]);
        }
        a0 += a;
        b0 += b;
        c0 += c;
        d0 += d;
    }
    char hex[33];
    const uint32_t words[4] = {a0, b0, c0, d0};
    for (int w = 0; w < 4; ++w) {
        for (int i = 0; i < 4; ++i) std::snprintf(hex + w * 8 + i * 2, 3, "%02x", (words[w] >> (8 * i)) & 0xFF);
    }
    return std::string(hex, 32);
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

int RunCommand(const std::string& command) {
    const int status = std::system(command.c_str());
#ifdef _WIN32
    return status;
#else
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

bool HaveJpegTools() {
#ifdef _WIN32
    return false;
#else
    static const int found = RunCommand("command -v cjpeg >/dev/null 2>&1 && command -v djpeg >/dev/null 2>&1") == 0;
    return found != 0;
#endif
}

Bytes MakePhotoPpm(int width, int height, uint32_t seed) {
    const std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    Bytes out(header.begin(), header.end());
    uint32_t state = seed * 2654435761u + 1;
    auto noise = [&state]() {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>(state >> 24) - 128;
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            // Smooth sky-like gradient, a hard-edged disc, stripes and grain.
            int r = 40 + 180 * x / (width > 1 ? width - 1 : 1);
            int g = 60 + 150 * y / (height > 1 ? height - 1 : 1);
            int b = 200 - 120 * (x + y) / (width + height);
            const int dx = x - width / 3, dy = y - height / 2;
            if (dx * dx + dy * dy < (width * height) / 10) {
                r = 230;
                g = 80 + (x * 7 % 40);
                b = 30;
            }
            if ((x / 5 + y / 9) % 7 == 0) {
                r /= 2;
                g /= 2;
            }
            r += noise() / 8;
            g += noise() / 8;
            b += noise() / 8;
            out.push_back(static_cast<uint8_t>(r < 0 ? 0 : (r > 255 ? 255 : r)));
            out.push_back(static_cast<uint8_t>(g < 0 ? 0 : (g > 255 ? 255 : g)));
            out.push_back(static_cast<uint8_t>(b < 0 ? 0 : (b > 255 ? 255 : b)));
        }
    }
    return out;
}

// ---- Flat-block JPEG builder ------------------------------------------------

namespace {

struct BitWriter {
    Bytes& out;
    uint32_t buffer = 0;
    int count = 0;
    void Put(uint32_t bits, int n) {
        for (int i = n - 1; i >= 0; --i) {
            buffer = (buffer << 1) | ((bits >> i) & 1);
            if (++count == 8) {
                out.push_back(static_cast<uint8_t>(buffer));
                if (buffer == 0xFF) out.push_back(0);  // byte stuffing
                buffer = 0;
                count = 0;
            }
        }
    }
    void Flush() {
        while (count != 0) Put(1, 1);  // pad with one bits
    }
};

void PutWord(Bytes& out, int v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

}  // namespace

Bytes BuildFlatJpeg(const FlatJpeg& layout, size_t* scanDataOffset) {
    Bytes out = {0xFF, 0xD8};
    if (layout.jfif) {
        const uint8_t app0[] = {0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
        out.insert(out.end(), std::begin(app0), std::end(app0));
    }
    if (layout.adobeTransform >= 0) {
        const uint8_t app14[] = {0xFF, 0xEE, 0,   14, 'A', 'd', 'o', 'b',
                                 'e',  0,    100, 0,  0,   0,   0,   static_cast<uint8_t>(layout.adobeTransform)};
        out.insert(out.end(), std::begin(app14), std::end(app14));
    }
    // Quantisation table 0: all ones, so a DC of 8 * (s - 128) decodes to s.
    out.insert(out.end(), {0xFF, 0xDB, 0, 67, 0x00});
    out.insert(out.end(), 64, 1);
    const int n = static_cast<int>(layout.components.size());
    out.insert(out.end(), {0xFF, layout.frameMarker});
    PutWord(out, 8 + 3 * n);
    out.push_back(8);
    PutWord(out, layout.height);
    PutWord(out, layout.width);
    out.push_back(static_cast<uint8_t>(n));
    int maxH = 1, maxV = 1;
    for (const FlatJpegComponent& c : layout.components) {
        out.push_back(static_cast<uint8_t>(c.id));
        out.push_back(static_cast<uint8_t>(c.h << 4 | c.v));
        out.push_back(0);
        maxH = c.h > maxH ? c.h : maxH;
        maxV = c.v > maxV ? c.v : maxV;
    }
    // DC table 0: categories 0..11 as 4-bit codes 0..11. AC table 0: end of
    // block as the 1-bit code 0.
    out.insert(out.end(), {0xFF, 0xC4, 0, 31, 0x00, 0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    for (int s = 0; s < 12; ++s) out.push_back(static_cast<uint8_t>(s));
    out.insert(out.end(), {0xFF, 0xC4, 0, 20, 0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00});
    if (layout.restartInterval > 0) {
        out.insert(out.end(), {0xFF, 0xDD, 0, 4});
        PutWord(out, layout.restartInterval);
    }
    out.insert(out.end(), {0xFF, 0xDA});
    PutWord(out, 6 + 2 * n);
    out.push_back(static_cast<uint8_t>(n));
    for (const FlatJpegComponent& c : layout.components) {
        out.push_back(static_cast<uint8_t>(c.id));
        out.push_back(0x00);
    }
    out.insert(out.end(), {0, 63, 0});
    if (scanDataOffset) *scanDataOffset = out.size();

    const int mcusAcross = (layout.width + 8 * maxH - 1) / (8 * maxH);
    const int mcusDown = (layout.height + 8 * maxV - 1) / (8 * maxV);
    std::vector<int> predictor(static_cast<size_t>(n), 0);
    BitWriter bits{out};
    int mcu = 0, restartNumber = 0;
    for (int my = 0; my < mcusDown; ++my) {
        for (int mx = 0; mx < mcusAcross; ++mx) {
            if (layout.restartInterval > 0 && mcu > 0 && mcu % layout.restartInterval == 0) {
                bits.Flush();
                out.push_back(0xFF);
                out.push_back(static_cast<uint8_t>(0xD0 + restartNumber));
                restartNumber = (restartNumber + 1) & 7;
                for (int& p : predictor) p = 0;
            }
            ++mcu;
            for (int ci = 0; ci < n; ++ci) {
                const FlatJpegComponent& c = layout.components[static_cast<size_t>(ci)];
                for (int by = 0; by < c.v; ++by) {
                    for (int bx = 0; bx < c.h; ++bx) {
                        const int value = layout.sample ? layout.sample(ci, mx * c.h + bx, my * c.v + by) : 128;
                        const int dc = 8 * (value - 128);
                        const int diff = dc - predictor[static_cast<size_t>(ci)];
                        predictor[static_cast<size_t>(ci)] = dc;
                        int category = 0;
                        for (int magnitude = diff < 0 ? -diff : diff; magnitude; magnitude >>= 1) ++category;
                        bits.Put(static_cast<uint32_t>(category), 4);
                        if (category > 0) {
                            const int raw = diff >= 0 ? diff : diff + (1 << category) - 1;
                            bits.Put(static_cast<uint32_t>(raw), category);
                        }
                        bits.Put(0, 1);  // end of block
                    }
                }
            }
        }
    }
    bits.Flush();
    if (layout.endOfImage) out.insert(out.end(), {0xFF, 0xD9});
    return out;
}
