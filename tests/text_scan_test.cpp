#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "formats/text_scan.h"

namespace {

// What "%f %f" reads, built from strtof: the reference for ScanFloats.
int ReferenceFloats(const char* text, float* values, int count) {
    const char* p = text;
    for (int i = 0; i < count; ++i) {
        char* end = nullptr;
        const float v = std::strtof(p, &end);
        if (end == p || !std::isfinite(v)) return i;
        values[i] = v;
        p = end;
    }
    return count;
}

uint32_t Bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

// Read on its own, and in a buffer that may be read past the terminator,
// where digits follow that must not be taken.
void ExpectSameAsReference(const std::string& text) {
    float b[3] = {7, 7, 7};
    const int expected = ReferenceFloats(text.c_str(), b, 3);
    const std::string padded = text + '\0' + "98765432";
    for (const char* readable : {static_cast<const char*>(nullptr), padded.data() + padded.size()}) {
        float a[3] = {7, 7, 7};
        ASSERT_EQ(ScanFloats(padded.c_str(), a, 3, readable), expected) << text;
        for (int i = 0; i < 3; ++i) EXPECT_EQ(Bits(a[i]), Bits(b[i])) << text << " #" << i;
    }
}

TEST(TextScan, FloatsAsTheCLibraryReadsThem) {
    const char* const cases[] = {
        "1 2 3",
        "1.5 -2 3e2",
        "  -0 +0.0 .5",
        "1-2-3",
        "1e 2 3",
        "1e+ 5",
        "1.e3 2.E-3 -.25e+1",
        "0x10 1 1",
        "inf 1 1",
        "nan 1 1",
        "1e39 0 0",
        "-1e39 0 0",
        "1e-50 2 2",
        "3.4028235e38 1 1",
        "3.4028236e38 1",
        "340282356779733661637539395458142568448 1",
        "0.000000000000000000000000000000000000000001",
        "123456789012345678901234567890 1",
        "16777217 16777219 33554435",
        "0.1 0.2 0.3",
        "1.00000005960464477539062 1",
        "1.000000059604644775390625 1",
        "1.0000000596046447753906251 1",
        "7.038531e-26",
        "2.4414062e-4 1",
        "99999999999999999999 1",
        "- 1",
        "+",
        ".",
        "",
        "   ",
        "e5",
        "1,5 2",
        "0.0000001192092896 1",
        "4.9406564584124654e-324",
        "1.17549435e-38 1",
        "1.4e-45 2",
        "0.1234567 -9.87654321 12.3456789",
        "-0.000275 0.699977 1.",
    };
    for (const char* text : cases) ExpectSameAsReference(text);
}

// Random decimals of every length and exponent, plain and with junk behind.
TEST(TextScan, RandomDecimalsMatchStrtof) {
    std::mt19937_64 random(99);
    for (int round = 0; round < 200000; ++round) {
        std::string text;
        for (int k = 0; k < 3; ++k) {
            if (random() % 4 == 0) text += ' ';
            if (random() % 3 == 0) text += (random() % 2) ? '-' : '+';
            const int whole = static_cast<int>(random() % 12), fraction = static_cast<int>(random() % 14);
            for (int i = 0; i < whole; ++i) text += static_cast<char>('0' + random() % 10);
            if (fraction || random() % 2) text += '.';
            for (int i = 0; i < fraction; ++i) text += static_cast<char>('0' + random() % 10);
            if (random() % 3 == 0) text += "e" + std::to_string(static_cast<int>(random() % 90) - 45);
            if (random() % 20 == 0) text += "x";
            text += ' ';
        }
        ExpectSameAsReference(text);
        if (HasFailure()) return;
    }
}

// The conversion works from a double near the value and leaves the points
// halfway between two floats to strtof; both sweeps compare bits directly.
// Ten million random decimals of up to 19 digits and powers of ten up to
// 22, then decimals written within a few units of the 19th digit of every
// halfway point sampled across the whole range, from both sides.
TEST(TextScan, SweepsMatchStrtof) {
    std::mt19937_64 random(7);
    char text[64];
    const auto check = [&](const char* t) {
        float ours = 7, theirs = 7;
        const int n = ScanFloats(t, &ours, 1);
        ASSERT_EQ(n, ReferenceFloats(t, &theirs, 1)) << t;
        ASSERT_EQ(Bits(ours), Bits(theirs)) << t;
    };
    for (int round = 0; round < 10000000; ++round) {
        const uint64_t value = random() >> (random() % 64);
        std::snprintf(text, sizeof text, "%llue%d", static_cast<unsigned long long>(value % 10000000000000000000u),
                      static_cast<int>(random() % 45) - 22 - 19 * (round % 2));
        check(text);
        if (HasFailure()) return;
    }
    for (int round = 0; round < 500000; ++round) {
        // A float of the fast range (about 1e-22 to 1e37) and the point above it.
        const uint32_t bits = 0x1A000000u + static_cast<uint32_t>(random() % 0x5D000000u);
        float f;
        std::memcpy(&f, &bits, 4);
        const double halfway = (static_cast<double>(f) + static_cast<double>(std::nextafter(f, 1e38f))) / 2;
        for (int digits = 9; digits <= 19; digits += 5) {
            std::snprintf(text, sizeof text, "%.*e", digits - 1, halfway);
            check(text);
            // The same digits a unit either side in the last place.
            char* e = std::strchr(text, 'e');
            for (int step : {-1, 1}) {
                char nudged[64];
                std::memcpy(nudged, text, sizeof nudged);
                char* last = nudged + (e - text) - 1;
                if ((step < 0 && *last == '0') || (step > 0 && *last == '9')) continue;
                *last = static_cast<char>(*last + step);
                check(nudged);
            }
        }
        if (HasFailure()) return;
    }
}

TEST(TextScan, Int32) {
    struct Case {
        const char* text;
        int ok;
        int32_t value;
    };
    const Case cases[] = {
        {"0", 1, 0},
        {" \t-17x", 1, -17},
        {"+5", 1, 5},
        {"2147483647", 1, INT32_MAX},
        {"-2147483648", 1, INT32_MIN},
        {"2147483648", 0, 0},
        {"-2147483649", 0, 0},
        {"99999999999999999999999", 0, 0},
        {"-", 0, 0},
        {"x1", 0, 0},
        {"", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int32_t v = 0;
        EXPECT_EQ(ScanInt32(c.text, &v, nullptr), c.ok);
        if (c.ok) {
            EXPECT_EQ(v, c.value);
        }
    }
}

}  // namespace
