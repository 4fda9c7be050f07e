// The decoder's reading of streams: which headers are accepted, how the
// colour interpretation is chosen and converted, and how sampling ratios are
// brought to full resolution; on hand-made streams of flat blocks whose
// samples are known exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "support/jpeg_support.h"

namespace {

size_t FindMarker(const Bytes& data, uint8_t code) {
    for (size_t i = 0; i + 1 < data.size(); ++i) {
        if (data[i] == 0xFF && data[i + 1] == code) return i;
    }
    return std::string::npos;
}

void Insert(Bytes& data, size_t at, std::initializer_list<uint8_t> bytes) {
    data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin(), bytes.end());
}

// Removes the whole segment starting at `at` and returns it.
Bytes Cut(Bytes& data, size_t at) {
    const size_t length = 2 + (static_cast<size_t>(data[at + 2]) << 8 | data[at + 3]);
    Bytes segment(data.begin() + static_cast<std::ptrdiff_t>(at),
                  data.begin() + static_cast<std::ptrdiff_t>(at + length));
    data.erase(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + length));
    return segment;
}

// Luminance 77 and neutral chrominance: every pixel decodes to grey 77.
int Grey77(int component, int, int) { return component == 0 ? 77 : 128; }

FlatJpeg GreyImage(int width = 16, int height = 16) {
    FlatJpeg layout;
    layout.width = width;
    layout.height = height;
    layout.sample = Grey77;
    return layout;
}

FlatJpeg ColourImage() {
    FlatJpeg layout;
    layout.width = 16;
    layout.height = 16;
    layout.components = {{1, 1, 1}, {2, 1, 1}, {3, 1, 1}};
    layout.jfif = true;
    layout.sample = Grey77;
    return layout;
}

struct StreamCase {
    const char* name;
    std::function<Bytes()> make;
    bool accepted;
};

TEST(JpegStream, HeadersAreAcceptedOrRefusedExactly) {
    // clang-format off
    const StreamCase cases[] = {
        {"plain grey", [] { return BuildFlatJpeg(GreyImage()); }, true},
        {"leading garbage", [] { Bytes b = BuildFlatJpeg(GreyImage()); b.insert(b.begin(), 0x00); return b; }, false},
        {"0xFF then not SOI", [] { Bytes b = BuildFlatJpeg(GreyImage()); b[1] = 0xD9; return b; }, false},
        {"fill bytes before a marker", [] { Bytes b = BuildFlatJpeg(GreyImage()); Insert(b, FindMarker(b, 0xDB), {0xFF, 0xFF, 0xFF}); return b; }, true},
        {"stuffed zero between segments", [] { Bytes b = BuildFlatJpeg(GreyImage()); Insert(b, FindMarker(b, 0xDB), {0xFF, 0x00, 0x12}); return b; }, true},
        {"comment, EXIF and APP2 skipped", [] { Bytes b = BuildFlatJpeg(GreyImage()); Insert(b, 2, {0xFF, 0xFE, 0, 4, 'h', 'i', 0xFF, 0xE1, 0, 6, 'E', 'x', 'i', 'f', 0xFF, 0xE2, 0, 2}); return b; }, true},
        {"second SOI", [] { Bytes b = BuildFlatJpeg(GreyImage()); Insert(b, 2, {0xFF, 0xD8}); return b; }, false},
        {"second frame header", [] { Bytes b = BuildFlatJpeg(GreyImage()); const size_t at = FindMarker(b, 0xC0); const Bytes sof = Cut(b, at); b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), sof.begin(), sof.end()); b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), sof.begin(), sof.end()); return b; }, false},
        {"zero width", [] { FlatJpeg s = GreyImage(); s.width = 0; return BuildFlatJpeg(s); }, false},
        {"zero height", [] { FlatJpeg s = GreyImage(); s.height = 0; return BuildFlatJpeg(s); }, false},
        {"frame length off by one", [] { Bytes b = BuildFlatJpeg(GreyImage()); b[FindMarker(b, 0xC0) + 3] += 1; return b; }, false},
        {"extended sequential frame", [] { FlatJpeg s = GreyImage(); s.frameMarker = 0xC1; return BuildFlatJpeg(s); }, true},
        {"lossless frame", [] { FlatJpeg s = GreyImage(); s.frameMarker = 0xC3; return BuildFlatJpeg(s); }, false},
        {"differential frame", [] { FlatJpeg s = GreyImage(); s.frameMarker = 0xC5; return BuildFlatJpeg(s); }, false},
        {"12-bit precision", [] { Bytes b = BuildFlatJpeg(GreyImage()); b[FindMarker(b, 0xC0) + 4] = 12; return b; }, false},
        {"width 65500", [] { return BuildFlatJpeg(GreyImage(65500, 1)); }, true},
        {"width 65501", [] { return BuildFlatJpeg(GreyImage(65501, 1)); }, false},
        {"height 65501", [] { return BuildFlatJpeg(GreyImage(1, 65501)); }, false},
        {"end of image before any scan", [] { Bytes b = BuildFlatJpeg(GreyImage()); const size_t at = FindMarker(b, 0xDA); b.resize(at); Insert(b, at, {0xFF, 0xD9}); return b; }, false},
        {"scan before the frame", [] { Bytes b = BuildFlatJpeg(GreyImage()); const size_t at = FindMarker(b, 0xC0); const Bytes sof = Cut(b, at); const size_t sos = FindMarker(b, 0xDA); const size_t after = sos + 2 + (b[sos + 2] << 8 | b[sos + 3]); b.insert(b.begin() + static_cast<std::ptrdiff_t>(after), sof.begin(), sof.end()); return b; }, false},
        {"scan of an unknown component", [] { Bytes b = BuildFlatJpeg(GreyImage()); b[FindMarker(b, 0xDA) + 5] = 9; return b; }, false},
        {"16-bit quantisation table", [] { Bytes b = BuildFlatJpeg(GreyImage()); const size_t at = FindMarker(b, 0xDB); Cut(b, at); Bytes dqt = {0xFF, 0xDB, 0, 131, 0x10}; for (int i = 0; i < 64; ++i) { dqt.push_back(0); dqt.push_back(1); } b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), dqt.begin(), dqt.end()); return b; }, true},
        {"quantisation table index 4", [] { Bytes b = BuildFlatJpeg(GreyImage()); b[FindMarker(b, 0xDB) + 4] = 0x04; return b; }, false},
        {"quantisation length not exact", [] { Bytes b = BuildFlatJpeg(GreyImage()); b[FindMarker(b, 0xDB) + 3] += 1; return b; }, false},
        {"missing quantisation table", [] { Bytes b = BuildFlatJpeg(GreyImage()); b[FindMarker(b, 0xC0) + 12] = 1; return b; }, false},
        {"Huffman index byte 0x20", [] { Bytes b = BuildFlatJpeg(GreyImage()); b[FindMarker(b, 0xC4) + 4] = 0x20; return b; }, false},
        {"Huffman stray bytes", [] { Bytes b = BuildFlatJpeg(GreyImage()); const size_t at = FindMarker(b, 0xC4); b[at + 3] += 2; Insert(b, at + 4 + 17 + 12, {0, 0}); return b; }, false},
        {"Huffman table missing for the scan", [] { Bytes b = BuildFlatJpeg(GreyImage()); b[FindMarker(b, 0xDA) + 6] = 0x11; return b; }, false},
        {"over-full Huffman code set", [] { Bytes b = BuildFlatJpeg(GreyImage()); b[FindMarker(b, 0xC4) + 5] = 2; b[FindMarker(b, 0xC4) + 8] = 10; return b; }, false},
        {"DC symbol above 15", [] { Bytes b = BuildFlatJpeg(GreyImage()); b[FindMarker(b, 0xC4) + 4 + 17 + 11] = 16; return b; }, false},
        {"restart segment of length 5", [] { Bytes b = BuildFlatJpeg(GreyImage()); Insert(b, 2, {0xFF, 0xDD, 0, 5, 0, 1, 0}); return b; }, false},
        {"skipped segment past the end", [] { Bytes b = {0xFF, 0xD8, 0xFF, 0xFE, 0x40, 0x00, 1, 2, 3}; return b; }, false},
        {"scan naming one component twice", [] { FlatJpeg s = ColourImage(); Bytes b = BuildFlatJpeg(s); const size_t at = FindMarker(b, 0xDA); b[at + 7] = 1; return b; }, false},
        {"two components", [] { FlatJpeg s = ColourImage(); s.components.pop_back(); return BuildFlatJpeg(s); }, false},
        {"five components", [] { FlatJpeg s = ColourImage(); s.components.push_back({4, 1, 1}); s.components.push_back({5, 1, 1}); Bytes b = BuildFlatJpeg(s); return b; }, false},
        {"sampling factor 5", [] { FlatJpeg s = ColourImage(); s.components[0] = {1, 5, 1}; return BuildFlatJpeg(s); }, false},
        {"factors 2 and 3 in one frame", [] { FlatJpeg s = ColourImage(); s.components[0] = {1, 3, 1}; s.components[1] = {2, 2, 1}; return BuildFlatJpeg(s); }, false},
        {"more than 10 blocks per MCU", [] { FlatJpeg s = ColourImage(); s.components[0] = {1, 4, 4}; return BuildFlatJpeg(s); }, false},
        {"3 x 1 luminance", [] { FlatJpeg s = ColourImage(); s.components[0] = {1, 3, 1}; return BuildFlatJpeg(s); }, true},
    };
    // clang-format on
    for (const StreamCase& c : cases) {
        const Decoded d = DecodeBytes(c.make());
        EXPECT_EQ(d.ok, c.accepted ? 1 : 0) << c.name;
        if (d.ok) {
            for (size_t i = 0; i < d.rgb.size(); ++i) ASSERT_EQ(d.rgb[i], 77) << c.name << " sample " << i;
        }
    }
}

TEST(JpegStream, SeparateScansPerComponentAreRefused) {
    // Three single-component scans: the first does not carry every component.
    FlatJpeg layout = ColourImage();
    Bytes b = BuildFlatJpeg(layout);
    const size_t sos = FindMarker(b, 0xDA);
    b.resize(sos);
    b.insert(b.end(), {0xFF, 0xDA, 0, 8, 1, 1, 0x00, 0, 63, 0, 0x00, 0xFF, 0xD9});
    EXPECT_FALSE(DecodeBytes(b).ok);
}

TEST(JpegStream, OverflowingPixelBufferIsAnAllocationFailure) {
    // 65500 x 65500 x 4 bytes passes the signed 32-bit range: refused before
    // any pixel is allocated, never allocated short.
    FlatJpeg layout = GreyImage(16, 16);
    Bytes b = BuildFlatJpeg(layout);
    const size_t at = FindMarker(b, 0xC0);
    b[at + 5] = 0xFF;
    b[at + 6] = 0xDC;
    b[at + 7] = 0xFF;
    b[at + 8] = 0xDC;
    EXPECT_FALSE(DecodeBytes(b).ok);
}

// ---- Colour interpretation --------------------------------------------------

int SampleA(int component, int, int) {
    return component == 0 ? 200 : (component == 1 ? 60 : (component == 2 ? 90 : 40));
}

struct Rgb {
    int r, g, b;
};

Rgb FirstPixel(const FlatJpeg& layout) {
    const Decoded d = DecodeBytes(BuildFlatJpeg(layout));
    EXPECT_TRUE(d.ok);
    if (!d.ok) return {-1, -1, -1};
    return {d.rgb[0], d.rgb[1], d.rgb[2]};
}

// The JFIF conversion in floating point, rounded: an independent check of the
// fixed-point tables within one level.
Rgb FromYCbCr(double y, double cb, double cr) {
    auto clamp = [](double v) { return static_cast<int>(std::lround(v < 0 ? 0 : (v > 255 ? 255 : v))); };
    return {clamp(y + 1.402 * (cr - 128)), clamp(y - 0.344136 * (cb - 128) - 0.714136 * (cr - 128)),
            clamp(y + 1.772 * (cb - 128))};
}

void ExpectNear(const Rgb& got, const Rgb& want, const char* name) {
    EXPECT_NEAR(got.r, want.r, 1) << name;
    EXPECT_NEAR(got.g, want.g, 1) << name;
    EXPECT_NEAR(got.b, want.b, 1) << name;
}

TEST(JpegColour, ThreeComponentsChooseRgbOrYCbCr) {
    struct Case {
        const char* name;
        int ids[3];
        bool jfif;
        int adobe;
        bool rgb;
    };
    const Case cases[] = {
        {"ids R G B", {82, 71, 66}, false, -1, true},
        {"ids 1 2 3", {1, 2, 3}, false, -1, false},
        {"other ids", {0, 1, 2}, false, -1, false},
        {"JFIF wins over R G B ids", {82, 71, 66}, true, -1, false},
        {"Adobe transform 0", {1, 2, 3}, false, 0, true},
        {"Adobe transform 1", {82, 71, 66}, false, 1, false},
        {"Adobe transform 2", {82, 71, 66}, false, 2, false},
    };
    for (const Case& c : cases) {
        FlatJpeg layout;
        layout.components = {{c.ids[0], 1, 1}, {c.ids[1], 1, 1}, {c.ids[2], 1, 1}};
        layout.jfif = c.jfif;
        layout.adobeTransform = c.adobe;
        layout.sample = SampleA;
        const Rgb got = FirstPixel(layout);
        if (c.rgb) {
            EXPECT_EQ(got.r, 200) << c.name;
            EXPECT_EQ(got.g, 60) << c.name;
            EXPECT_EQ(got.b, 90) << c.name;
        } else {
            ExpectNear(got, FromYCbCr(200, 60, 90), c.name);
        }
    }
}

int CmykSamples[4];
int CmykSample(int component, int, int) { return CmykSamples[component]; }

TEST(JpegColour, FourComponentsConvertByTheCmykAndYcckRules) {
    struct Case {
        const char* name;
        int adobe;
        int samples[4];
        Rgb expected;
    };
    const Case cases[] = {
        {"CMYK blank is white", -1, {0, 0, 0, 0}, {255, 255, 255}},
        {"CMYK full is black", 0, {255, 255, 255, 255}, {0, 0, 0}},
        {"CMYK subtracts ink and black", 0, {10, 20, 30, 40}, {205, 195, 185}},
        {"CMYK clamps at zero", -1, {200, 0, 0, 100}, {0, 155, 155}},
        {"YCCK neutral adds black", 2, {100, 128, 128, 50}, {150, 150, 150}},
        {"YCCK clamps at 255", 1, {200, 128, 128, 100}, {255, 255, 255}},
    };
    for (const Case& c : cases) {
        FlatJpeg layout;
        layout.components = {{1, 1, 1}, {2, 1, 1}, {3, 1, 1}, {4, 1, 1}};
        layout.adobeTransform = c.adobe;
        std::copy(c.samples, c.samples + 4, CmykSamples);
        layout.sample = CmykSample;
        const Rgb got = FirstPixel(layout);
        EXPECT_EQ(got.r, c.expected.r) << c.name;
        EXPECT_EQ(got.g, c.expected.g) << c.name;
        EXPECT_EQ(got.b, c.expected.b) << c.name;
    }
    // YCCK with colour: the YCbCr conversion of y + k.
    FlatJpeg layout;
    layout.components = {{1, 1, 1}, {2, 1, 1}, {3, 1, 1}, {4, 1, 1}};
    layout.adobeTransform = 2;
    const int samples[4] = {90, 160, 100, 30};
    std::copy(samples, samples + 4, CmykSamples);
    layout.sample = CmykSample;
    ExpectNear(FirstPixel(layout), FromYCbCr(120, 160, 100), "YCCK colour");
}

// ---- Sampling ratios --------------------------------------------------------

// Chroma differs between the upper and the lower block row.
int SplitChroma(int component, int, int by) {
    if (component == 0) return 128;
    return by == 0 ? 60 : 200;
}

TEST(JpegUpsampling, VerticalOnlyHalvingIsReplicatedNotSmoothed) {
    // Luminance 1 x 2, chrominance 1 x 1: each chrominance row serves two output
    // rows unchanged, so rows 15 and 16 show the two blocks' own colours
    // (a smoothing decoder would blend them near the boundary).
    FlatJpeg layout;
    layout.width = 8;
    layout.height = 32;
    layout.components = {{1, 1, 2}, {2, 1, 1}, {3, 1, 1}};
    layout.jfif = true;
    layout.sample = SplitChroma;
    const Decoded d = DecodeBytes(BuildFlatJpeg(layout));
    ASSERT_TRUE(d.ok);
    const Rgb top = FromYCbCr(128, 60, 60), bottom = FromYCbCr(128, 200, 200);
    for (int y = 0; y < 32; ++y) {
        const Rgb want = y < 16 ? top : bottom;
        const size_t at = static_cast<size_t>(y) * 8 * 3;
        ExpectNear({d.rgb[at], d.rgb[at + 1], d.rgb[at + 2]}, want, "row");
    }
}

int Quadrants(int component, int bx, int by) {
    if (component != 0) return 128;
    return 40 + 50 * bx + 100 * by;
}

TEST(JpegRows, FirstPixelInMemoryIsTheBottomLeft) {
    FlatJpeg layout;
    layout.width = 16;
    layout.height = 16;
    layout.sample = Quadrants;
    JpegDecodeOptions options{};
    Texture t{nullptr, 0, 0};
    const Bytes data = BuildFlatJpeg(layout);
    ASSERT_TRUE(DecodeJpegMemory(data.data(), data.size(), &t, &options, nullptr));
    ASSERT_EQ(t.width, 16);
    ASSERT_EQ(t.height, 16);
    EXPECT_EQ(t.pixels[0], 140u * 0x010101u);           // bottom-left block (0, 1)
    EXPECT_EQ(t.pixels[15], 190u * 0x010101u);          // bottom-right block (1, 1)
    EXPECT_EQ(t.pixels[15 * 16], 40u * 0x010101u);      // top-left block (0, 0)
    EXPECT_EQ(t.pixels[16 * 16 - 1], 90u * 0x010101u);  // last in memory: top-right
    ReleaseTexturePixels(&t);
}

}  // namespace
