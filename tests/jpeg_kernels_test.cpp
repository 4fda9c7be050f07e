// The decoder's kernels: the inverse DCT's DC-only arithmetic at its
// saturation edges, and every SIMD kernel the processor can run against its
// scalar reference (a million random blocks per IDCT, every YCbCr triple,
// random rows for the filters).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "core/cpu_features.h"
#include "support/jpeg_support.h"
#include "texture/jpeg/jpeg_color.h"
#include "texture/jpeg/jpeg_idct.h"
#include "texture/jpeg/jpeg_kernels.h"

namespace {

struct Block {
    uint8_t samples[8][16];  // output written at column 4 to catch stray writes
    uint8_t* rows[8];
    Block() {
        std::memset(samples, 0xEE, sizeof samples);
        for (int r = 0; r < 8; ++r) rows[r] = samples[r];
    }
};

struct NamedIdct {
    const char* name;
    InverseDctFunction idct;
};

// The SIMD transforms this build has and this processor can run.
std::vector<NamedIdct> SimdImplementations() {
    std::vector<NamedIdct> list;
    const SimdLevel detected = DetectedSimdLevel();
    if (InverseDctBlockMmx && detected >= SimdMmx) list.push_back({"mmx", InverseDctBlockMmx});
    if (InverseDctBlockSse2 && detected >= SimdSse2) list.push_back({"sse2", InverseDctBlockSse2});
    if (InverseDctBlockAvx2 && detected >= SimdAvx2) list.push_back({"avx2", InverseDctBlockAvx2});
    return list;
}

std::vector<InverseDctFunction> Implementations() {
    std::vector<InverseDctFunction> list{InverseDctBlockScalar};
    for (const NamedIdct& n : SimdImplementations()) list.push_back(n.idct);
    return list;
}

TEST(JpegIdct, DcOnlyBlocksSaturateAtTheDocumentedProducts) {
    struct Case {
        int32_t dc, quant;
        int expected;
    };
    const Case cases[] = {
        {0, 99, 128},
        {8, 1, 129},
        {-8, 1, 127},
        {1011, 1, 254},
        {337, 3, 254},
        {1012, 1, 255},
        {-1020, 1, 1},
        {-1021, 1, 0},
        {-340, 3, 1},
        // The product and the factor 4 wrap at 32 bits, as the lanes compute them.
        {40000, 60000, 255},
        {INT32_MAX, 1, 128},
        {65535, 65535, 0},
    };
    for (InverseDctFunction idct : Implementations()) {
        for (const Case& c : cases) {
            int32_t coefficients[64] = {c.dc};
            int32_t quant[64];
            for (int32_t& q : quant) q = c.quant;
            Block out;
            idct(quant, coefficients, out.rows, 4, ProgramIdctConstants);
            for (int r = 0; r < 8; ++r) {
                for (int x = 0; x < 16; ++x) {
                    const int want = x >= 4 && x < 12 ? c.expected : 0xEE;
                    ASSERT_EQ(out.samples[r][x], want) << c.dc << " x " << c.quant << " at " << r << "," << x;
                }
            }
        }
    }
}

// A generator of blocks that reach every path: sparse blocks (DC-only columns
// and rows), typical quantised data, and extreme coefficients and tables that
// make the 16-bit products and sums wrap and the workspace saturate.
struct BlockGenerator {
    uint64_t state;
    uint32_t Next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state >> 33);
    }
    int32_t Coefficient(int kind) {
        switch (kind) {
            case 0: return static_cast<int32_t>(Next() % 64) - 32;
            case 1: return static_cast<int32_t>(Next() % 2048) - 1024;
            case 2: return static_cast<int32_t>(Next() % 65536) - 32768;
            default: return static_cast<int32_t>(Next());  // any 32-bit value, as a wrapped DC can be
        }
    }
    void Fill(int32_t* coefficients, int32_t* quant) {
        const int kind = static_cast<int>(Next() % 4);
        const int density = static_cast<int>(Next() % 5);  // 0: DC only ... 4: full
        for (int i = 0; i < 64; ++i) {
            const bool present = i == 0 || density == 4 || Next() % 16 < static_cast<uint32_t>(density * density);
            coefficients[i] = present ? Coefficient(kind) : 0;
            if (Next() % 64 == 0) coefficients[i] = 65536 * static_cast<int32_t>(Next() % 4);  // zero low half
        }
        const int quantKind = static_cast<int>(Next() % 3);
        for (int i = 0; i < 64; ++i) {
            quant[i] = quantKind == 0 ? 1 + static_cast<int32_t>(Next() % 100)
                                      : (quantKind == 1 ? static_cast<int32_t>(Next() % 65536)
                                                        : 65535 - static_cast<int32_t>(Next() % 4));
        }
    }
};

TEST(JpegIdct, EverySimdTransformMatchesScalarOnAMillionRandomBlocks) {
    const IdctConstants* constantSets[] = {&ProgramIdctConstants, &ReferenceIdctConstants};
    for (const NamedIdct& simd : SimdImplementations()) {
        BlockGenerator generator{12345};
        int mismatches = 0;
        for (int n = 0; n < 1000000; ++n) {
            int32_t coefficients[64], quant[64];
            generator.Fill(coefficients, quant);
            const IdctConstants& k = *constantSets[n & 1];
            Block scalar, vector;
            InverseDctBlockScalar(quant, coefficients, scalar.rows, 4, k);
            simd.idct(quant, coefficients, vector.rows, 4, k);
            if (std::memcmp(scalar.samples, vector.samples, sizeof scalar.samples) != 0 && ++mismatches <= 3) {
                ADD_FAILURE() << simd.name << ": block " << n << " differs";
            }
        }
        EXPECT_EQ(mismatches, 0) << simd.name;
    }
}

TEST(JpegIdct, EachLevelChoosesItsTransform) {
    const SimdLevel saved = SetActiveSimdLevel(SimdScalar);
    EXPECT_EQ(ChooseInverseDct(), InverseDctBlockScalar);
    EXPECT_EQ(ChooseJpegKernels(SimdScalar).yccToPixels, YccRowScalar);
    for (const NamedIdct& simd : SimdImplementations()) {
        const SimdLevel level =
            simd.idct == InverseDctBlockMmx ? SimdMmx : (simd.idct == InverseDctBlockSse2 ? SimdSse2 : SimdAvx2);
        SetActiveSimdLevel(level);
        EXPECT_EQ(ChooseInverseDct(), simd.idct) << simd.name;
        EXPECT_EQ(ChooseJpegKernels(level).inverseDct, simd.idct) << simd.name;
    }
    SetActiveSimdLevel(saved);
}

// ---- Row kernels --------------------------------------------------------------

struct NamedKernels {
    const char* name;
    JpegKernels kernels;
};

// The kernel sets of the SIMD levels this processor can run.
std::vector<NamedKernels> SimdKernelSets() {
    std::vector<NamedKernels> sets;
    for (int level = SimdSse2; level <= DetectedSimdLevel(); ++level) {
        const JpegKernels k = ChooseJpegKernels(static_cast<SimdLevel>(level));
        if (k.yccToPixels != YccRowScalar) sets.push_back({SimdLevelName(static_cast<SimdLevel>(level)), k});
    }
    return sets;
}

ColorTables ProgramColorTables() {
    // The decoder's own tables, as a 1 x 1 JFIF YCbCr decode builds them.
    ColorTables t{};
    for (int i = 0; i < 256; ++i) {
        const int32_t x = i - 128;
        t.crToR[i] = (91881 * x + 32768) >> 16;
        t.cbToB[i] = (116130 * x + 32768) >> 16;
        t.crToG[i] = -46802 * x;
        t.cbToG[i] = -22554 * x + 32768;
    }
    return t;
}

TEST(JpegRowKernels, ColourConversionMatchesTheTablesOnEveryTriple) {
    const ColorTables tables = ProgramColorTables();
    constexpr int width = 256 + 13;  // every luminance value and a tail
    uint8_t y[width], cb[width], cr[width];
    uint32_t expected[width + 1], got[width + 1];
    for (int x = 0; x < width; ++x) y[x] = static_cast<uint8_t>(x);
    for (const NamedKernels& set : SimdKernelSets()) {
        int mismatches = 0;
        for (int c = 0; c < 65536; ++c) {
            std::memset(cb, c >> 8, width);
            std::memset(cr, c & 255, width);
            got[width] = expected[width] = 0xDEADBEEF;
            YccRowScalar(y, cb, cr, expected, width, tables);
            set.kernels.yccToPixels(y, cb, cr, got, width, tables);
            if (std::memcmp(expected, got, sizeof got) != 0 && ++mismatches <= 3) {
                ADD_FAILURE() << set.name << ": cb " << (c >> 8) << " cr " << (c & 255);
            }
        }
        EXPECT_EQ(mismatches, 0) << set.name;
    }
}

TEST(JpegRowKernels, FiltersAndGreyMatchTheReferenceOnRandomRows) {
    uint64_t state = 42;
    auto next = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state >> 33);
    };
    for (const NamedKernels& set : SimdKernelSets()) {
        for (int trial = 0; trial < 20000; ++trial) {
            const int n = 3 + static_cast<int>(next() % 90);
            uint8_t near[96], far[96];
            const int extremes = static_cast<int>(next() % 3);  // plain, or mostly 0 and 255
            for (int i = 0; i < 96; ++i) {
                near[i] = static_cast<uint8_t>(extremes ? (next() % 2) * 255 : next());
                far[i] = static_cast<uint8_t>(extremes == 2 ? 255 - near[i] : next());
            }
            uint8_t expected[200], got[200];  // guard bytes past 2n catch stray writes
            std::memset(expected, 0xA5, sizeof expected);
            std::memset(got, 0xA5, sizeof got);
            SmoothH2V1Scalar(near, expected, n);
            set.kernels.smoothH2V1(near, got, n);
            ASSERT_EQ(std::memcmp(expected, got, sizeof got), 0) << set.name << " h2v1, n " << n;
            SmoothH2V2RowScalar(near, far, expected, n);
            set.kernels.smoothH2V2Row(near, far, got, n);
            ASSERT_EQ(std::memcmp(expected, got, sizeof got), 0) << set.name << " h2v2, n " << n;
            uint32_t greyExpected[97], greyGot[97];
            greyExpected[n] = greyGot[n] = 7;
            GreyRowScalar(near, greyExpected, n);
            set.kernels.greyToPixels(near, greyGot, n);
            ASSERT_EQ(std::memcmp(greyExpected, greyGot, (n + 1) * sizeof(uint32_t)), 0)
                << set.name << " grey, n " << n;
        }
    }
}

}  // namespace
