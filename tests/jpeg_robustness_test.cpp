// Damaged data: truncated and corrupted streams decode or fail exactly as the
// decoder's policy says and never read or write out of bounds (run under
// AddressSanitizer/UndefinedBehaviorSanitizer); and memory: nothing is held
// after a decode, and every allocation failure comes back as a failure.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/cpu_features.h"
#include "core/memory.h"
#include "support/jpeg_support.h"
#include "support/paths.h"

namespace {

int Gradient(int component, int bx, int by) {
    if (component == 0) return 30 + 20 * bx + 10 * by;
    return component == 1 ? 100 + 5 * bx : 150 - 5 * by;
}

FlatJpeg ColourLayout(int restartInterval) {
    FlatJpeg layout;
    layout.width = 40;
    layout.height = 24;
    layout.components = {{1, 2, 2}, {2, 1, 1}, {3, 1, 1}};
    layout.jfif = true;
    layout.sample = Gradient;
    layout.restartInterval = restartInterval;
    return layout;
}

TEST(JpegDamage, EveryPrefixOfAStreamFailsOrDecodesCleanly) {
    size_t scanStart = 0;
    const Bytes whole = BuildFlatJpeg(ColourLayout(1), &scanStart);
    const Decoded complete = DecodeBytes(whole);
    ASSERT_TRUE(complete.ok);
    for (size_t length = 0; length < whole.size(); ++length) {
        const Bytes prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        const Decoded d = DecodeBytes(prefix);
        if (length < scanStart) {
            EXPECT_FALSE(d.ok) << "headers cut at " << length;
        } else if (d.ok) {
            // A cut stream that decodes still yields the whole frame.
            EXPECT_EQ(d.rgb.size(), complete.rgb.size());
        }
        // Cut inside the entropy-coded data: the bit reader fails when it
        // runs out of data without meeting a marker, which is also the case
        // when only the end-of-image marker is missing and the last MCU
        // needed a refill.
    }
}

TEST(JpegDamage, ScanEndingWithEndOfImageDecodesTheRestAsMidGrey) {
    size_t scanStart = 0;
    Bytes data = BuildFlatJpeg(ColourLayout(0), &scanStart);
    data.resize(scanStart + 4);  // a few MCUs' worth of data, then the marker
    data.insert(data.end(), {0xFF, 0xD9});
    const Decoded d = DecodeBytes(data);
    ASSERT_TRUE(d.ok);
    const size_t last = d.rgb.size() - 3;
    EXPECT_EQ(d.rgb[last], 128);
    EXPECT_EQ(d.rgb[last + 1], 128);
    EXPECT_EQ(d.rgb[last + 2], 128);
    EXPECT_NE(d.rgb[0], 128);  // the first MCU was decoded from real data
}

TEST(JpegDamage, ScanDataEndingWithoutAMarkerFails) {
    size_t scanStart = 0;
    Bytes data = BuildFlatJpeg(ColourLayout(0), &scanStart);
    data.resize(scanStart + 4);
    EXPECT_FALSE(DecodeBytes(data).ok);
}

TEST(JpegDamage, RestartMarkersResynchronise) {
    size_t scanStart = 0;
    const Bytes whole = BuildFlatJpeg(ColourLayout(1), &scanStart);
    const Decoded complete = DecodeBytes(whole);
    std::vector<size_t> markers;
    for (size_t i = scanStart; i + 1 < whole.size(); ++i) {
        if (whole[i] == 0xFF && whole[i + 1] >= 0xD0 && whole[i + 1] <= 0xD7) markers.push_back(i);
    }
    ASSERT_GE(markers.size(), 5u);
    struct Case {
        const char* name;
        int marker;       // which restart marker to damage
        uint8_t newCode;  // 0: remove it
    };
    const Case cases[] = {
        {"missing marker", 2, 0},
        {"marker numbered one ahead", 2, 0xD3},
        {"stale marker number", 3, 0xD0},
        {"wrong marker number", 4, 0xD5},
    };
    for (const Case& c : cases) {
        Bytes data = whole;
        const size_t at = markers[static_cast<size_t>(c.marker)];
        if (c.newCode == 0) {
            data.erase(data.begin() + static_cast<std::ptrdiff_t>(at),
                       data.begin() + static_cast<std::ptrdiff_t>(at + 2));
        } else {
            data[at + 1] = c.newCode;
        }
        const Decoded d = DecodeBytes(data);
        ASSERT_TRUE(d.ok) << c.name;
        // The MCUs before the damage are untouched (the first MCU row).
        EXPECT_TRUE(std::equal(d.rgb.begin(), d.rgb.begin() + 16 * 3, complete.rgb.begin())) << c.name;
    }
    // A marker one ahead of the expected one: the interval it skips (MCU 3,
    // the lower-left one) decodes as flat mid-grey, and decoding resumes at
    // that marker with the next MCU.
    Bytes data = whole;
    data[markers[2] + 1] = 0xD3;
    const Decoded d = DecodeBytes(data);
    ASSERT_TRUE(d.ok);
    auto pixel = [](const Decoded& image, int x, int y) {
        const size_t at = (static_cast<size_t>(y) * image.width + x) * 3;
        return std::vector<int>{image.rgb[at], image.rgb[at + 1], image.rgb[at + 2]};
    };
    EXPECT_EQ(pixel(d, 8, 20), (std::vector<int>{128, 128, 128}));
    EXPECT_EQ(pixel(d, 36, 20), pixel(complete, 36, 20));
}

TEST(JpegDamage, CorruptedEntropyDataNeverCrashes) {
    const std::string corpusFile = CorpusPath("jpeg/cjpeg-variants/size-63x65-420-rst1.jpg");
    std::vector<Bytes> seeds = {BuildFlatJpeg(ColourLayout(0)), BuildFlatJpeg(ColourLayout(3))};
    if (!corpusFile.empty()) seeds.push_back(ReadBytes(corpusFile));
    uint32_t state = 99;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (const Bytes& seed : seeds) {
        for (int trial = 0; trial < 300; ++trial) {
            Bytes data = seed;
            const int flips = 1 + static_cast<int>(next() % 8);
            for (int f = 0; f < flips; ++f) {
                const size_t at = 20 + next() % (data.size() - 20);
                data[at] = static_cast<uint8_t>(next());
            }
            const Decoded d = DecodeBytes(data);
            if (d.ok) {
                EXPECT_EQ(d.rgb.size(), static_cast<size_t>(d.width) * d.height * 3);
            }
        }
    }
}

TEST(JpegDamage, EveryCorpusFileDecodesOrFailsCleanly) {
    const std::string root = CorpusPath("jpeg");
    REQUIRE_CORPUS(root);
    const std::vector<std::string> files = JpegFilesUnder(root);
    for (const std::string& path : files) {
        const long liveBefore = LiveAllocationCount();
        DecodeFile(path);
        EXPECT_EQ(LiveAllocationCount(), liveBefore) << path;
    }
    EXPECT_GT(files.size(), 100u);
}

// The fast entropy decoder and every kernel level the processor offers give
// the reference's pixels (and its failures) on the corpus, damaged files
// included, and on streams with random bytes overwritten.
TEST(JpegPaths, EveryLevelGivesTheReferencePixels) {
    std::vector<Bytes> inputs;
    for (const std::string& path : JpegFilesUnder(CorpusPath("jpeg"))) inputs.push_back(ReadBytes(path));
    const size_t clean = inputs.size();
    uint32_t state = 7;
    for (size_t i = 0; i < clean; i += 4) {
        Bytes damaged = inputs[i];
        for (int f = 0; f < 6 && damaged.size() > 40; ++f) {
            state = state * 1664525u + 1013904223u;
            damaged[damaged.size() / 3 + (state >> 8) % (damaged.size() * 2 / 3)] = static_cast<uint8_t>(state);
        }
        inputs.push_back(damaged);
    }
    inputs.push_back(BuildFlatJpeg(ColourLayout(1)));
    const SimdLevel saved = ActiveSimdLevel();
    for (size_t i = 0; i < inputs.size(); ++i) {
        const Decoded reference = DecodeReference(inputs[i]);
        for (int level = SimdScalar; level <= DetectedSimdLevel(); ++level) {
            SetActiveSimdLevel(static_cast<SimdLevel>(level));
            const Decoded d = DecodeBytes(inputs[i]);
            EXPECT_EQ(d.ok, reference.ok) << "input " << i << " at " << SimdLevelName(static_cast<SimdLevel>(level));
            EXPECT_TRUE(d.rgb == reference.rgb)
                << "input " << i << " at " << SimdLevelName(static_cast<SimdLevel>(level));
        }
    }
    SetActiveSimdLevel(saved);
}

TEST(JpegMemory, NothingIsHeldAfterADecode) {
    const Bytes good = BuildFlatJpeg(ColourLayout(0));
    Bytes bad = good;
    bad.resize(bad.size() / 2);
    for (const Bytes* data : {&good, static_cast<const Bytes*>(&bad)}) {
        const long before = LiveAllocationCount();
        Texture t{nullptr, 0, 0};
        const int ok = DecodeJpegMemory(data->data(), data->size(), &t, nullptr, nullptr);
        EXPECT_EQ(LiveAllocationCount(), before + (ok ? 1 : 0));  // only the pixels remain
        ReleaseTexturePixels(&t);
        EXPECT_EQ(LiveAllocationCount(), before);
    }
}

TEST(JpegMemory, EveryAllocationFailureIsAFailure) {
    // Smoothed 4:2:0 uses the most buffers: pointer lists, upsampled rows.
    const Bytes data = BuildFlatJpeg(ColourLayout(2));
    const Decoded expected = DecodeBytes(data);
    ASSERT_TRUE(expected.ok);
    int failures = 0;
    for (long n = 1; n < 200; ++n) {
        const long before = LiveAllocationCount();
        FailAllocationAfter(n);
        const Decoded d = DecodeBytes(data);
        FailAllocationAfter(0);
        EXPECT_EQ(LiveAllocationCount(), before) << "allocation " << n;
        if (d.ok) {
            EXPECT_TRUE(d.rgb == expected.rgb);
            break;
        }
        ++failures;
    }
    EXPECT_GT(failures, 10);   // the walk went through the decoder's allocations
    EXPECT_LT(failures, 199);  // and came out with a success
}

}  // namespace
