#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "formats/number_format.h"

namespace {

struct Format {
    int width, precision;
};
const Format writerFormats[] = {{10, 8}, {8, 6}};

float FromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

uint32_t BitsOf(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// Counts mismatches and reports the first few, so that a broken case does
// not flood the log over millions of values.
struct Mismatches {
    int count = 0;
    void Check(float value, const Format& f) {
        char ours[NumberTextSize + 1], library[128];
        ours[FormatFixed(ours, value, f.width, f.precision)] = '\0';
        std::snprintf(library, sizeof library, "%*.*f", f.width, f.precision, static_cast<double>(value));
        if (std::strcmp(ours, library) == 0) return;
        if (++count <= 5) {
            ADD_FAILURE() << "%" << f.width << "." << f.precision << "f of bits 0x" << std::hex << BitsOf(value)
                          << ": ours " << ours << ", library " << library;
        }
    }
};

TEST(NumberFormat, EqualsLibraryOnBoundaries) {
    const float values[] = {
        0.0f,
        -0.0f,
        1.0f,
        -1.0f,
        0.5f,
        1.5f,
        -0.25f,
        123.456787f,
        -1e-8f,
        1e6f,
        FLT_MIN,
        -FLT_MIN,
        FLT_TRUE_MIN,
        FLT_MAX,
        -FLT_MAX,
        1e9f,
        999999999.0f,
        4294967296.0f,
        4294967040.0f,
        16777216.0f,
        16777215.0f,
        1e-9f,
        5e-9f,
        -5e-9f,
        4.9999999e-9f,
        0.999999995f,
        0.99999999f,
        9.99999995f,
        99999.9999f,
        0.0000005f,
        0.9999995f,
        1e38f,
        3.0e-39f,
        std::nextafter(0.5f, 1.0f),
        std::nextafter(0.5f, 0.0f),
        1.0f / 512,
        3.0f / 512,
        1.0f / 128,
        3.0f / 128,
        2047.0f / 512,
        16777215.0f / 512,
        -16777215.0f / 128,
        32767.998f,
        std::ldexp(1.0f, 31),
        std::ldexp(1.0f, 32),
        std::ldexp(1.0f, 40),
        std::ldexp(1.0f, 64),
        std::ldexp(1.0f, 100),
        std::ldexp(1.0f, 127),
        std::ldexp(1.0f, -24),
        std::ldexp(1.0f, -55),
        std::ldexp(1.0f, -56),
        std::ldexp(1.0f, -57),
        std::ldexp(1.0f, -127),
        HUGE_VALF,
        -HUGE_VALF,
        std::nanf(""),
        -std::nanf(""),
    };
    Mismatches bad;
    for (float v : values) {
        for (const Format& f : writerFormats) bad.Check(v, f);
        bad.Check(v, Format{0, 6});
        bad.Check(v, Format{0, 0});
        bad.Check(v, Format{30, 9});
        bad.Check(v, Format{MaxFixedWidth, 1});
    }
    EXPECT_EQ(bad.count, 0);
}

// Every float exactly halfway between two written values: with P decimals
// those are the odd multiples of 2^-(P+1) (t / 2^(P+1) has P + 1 decimals,
// the last a 5), so rounding to even is tested on all of them.
TEST(NumberFormat, EqualsLibraryOnEveryHalfwayValue) {
    Mismatches bad;
    for (const Format& f : writerFormats) {
        const float unit = std::ldexp(1.0f, -(f.precision + 1));
        for (uint32_t t = 1; t < (1u << 24); t += 2) {
            const float v = static_cast<float>(t) * unit;  // exact
            bad.Check(t % 64 == 1 ? -v : v, f);
        }
    }
    EXPECT_EQ(bad.count, 0);
}

// Ten million floats: random bit patterns over the whole range, and values
// of the size mesh coordinates have.
TEST(NumberFormat, EqualsLibraryOnRandomValues) {
    std::mt19937 random(20261209);
    Mismatches bad;
    for (int i = 0; i < 10000000; ++i) {
        uint32_t bits = static_cast<uint32_t>(random());
        if (i % 4 != 0) bits = (bits & 0x807FFFFFu) | ((90u + bits % 70u) << 23);  // 2^-37 .. 2^33
        const float v = FromBits(bits);
        bad.Check(v, writerFormats[i % 2]);
    }
    EXPECT_EQ(bad.count, 0);
}

TEST(NumberFormat, IntegersEqualLibrary) {
    std::mt19937 random(5);
    char ours[16], library[16];
    for (int i = 0; i < 200000; ++i) {
        int32_t v = static_cast<int32_t>(random());
        if (i < 64) v = i < 32 ? INT32_MIN + i : INT32_MAX - (i - 32);
        if (i >= 64 && i < 84) v = static_cast<int32_t>(std::pow(10.0, (i - 64) / 2)) - (i % 2);
        v >>= random() % 32;
        const int n = FormatInt32(ours, v);
        std::snprintf(library, sizeof library, "%d", v);
        ASSERT_EQ(std::string(ours, static_cast<size_t>(n)), library);
    }
}

}  // namespace
