// The inverse DCT: the DC-only arithmetic at its saturation edges, and the MMX
// implementation against the portable reference on a million random blocks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "support/jpeg_support.h"
#include "core/cpu_features.h"
#include "texture/jpeg/jpeg_idct.h"

namespace {

struct Block {
    uint8_t samples[8][16];   // output written at column 4 to catch stray writes
    uint8_t* rows[8];
    Block() {
        std::memset(samples, 0xEE, sizeof samples);
        for (int r = 0; r < 8; ++r) rows[r] = samples[r];
    }
};

std::vector<InverseDctFunction> Implementations() {
    std::vector<InverseDctFunction> list{InverseDctBlockScalar};
    if (InverseDctBlockMmx) list.push_back(InverseDctBlockMmx);
    return list;
}

TEST(JpegIdct, DcOnlyBlocksSaturateAtTheDocumentedProducts) {
    struct Case {
        int32_t dc, quant;
        int expected;
    };
    const Case cases[] = {
        {0, 99, 128},   {8, 1, 129},    {-8, 1, 127}, {1011, 1, 254}, {337, 3, 254},
        {1012, 1, 255}, {-1020, 1, 1},  {-1021, 1, 0}, {-340, 3, 1},
        // The product and the factor 4 wrap at 32 bits, as the lanes compute them.
        {40000, 60000, 255}, {INT32_MAX, 1, 128}, {65535, 65535, 0},
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
            default: return static_cast<int32_t>(Next());   // any 32-bit value, as a wrapped DC can be
        }
    }
    void Fill(int32_t* coefficients, int32_t* quant) {
        const int kind = static_cast<int>(Next() % 4);
        const int density = static_cast<int>(Next() % 5);   // 0: DC only ... 4: full
        for (int i = 0; i < 64; ++i) {
            const bool present = i == 0 || density == 4 || Next() % 16 < static_cast<uint32_t>(density * density);
            coefficients[i] = present ? Coefficient(kind) : 0;
            if (Next() % 64 == 0) coefficients[i] = 65536 * static_cast<int32_t>(Next() % 4);   // zero low half
        }
        const int quantKind = static_cast<int>(Next() % 3);
        for (int i = 0; i < 64; ++i) {
            quant[i] = quantKind == 0 ? 1 + static_cast<int32_t>(Next() % 100)
                                      : (quantKind == 1 ? static_cast<int32_t>(Next() % 65536) : 65535 - static_cast<int32_t>(Next() % 4));
        }
    }
};

TEST(JpegIdct, MmxMatchesScalarOnAMillionRandomBlocks) {
    if (!InverseDctBlockMmx) GTEST_SKIP() << "this build has no MMX";
    BlockGenerator generator{12345};
    const IdctConstants* constantSets[] = {&ProgramIdctConstants, &ReferenceIdctConstants};
    int mismatches = 0;
    for (int n = 0; n < 1000000; ++n) {
        int32_t coefficients[64], quant[64];
        generator.Fill(coefficients, quant);
        const IdctConstants& k = *constantSets[n & 1];
        Block scalar, mmx;
        InverseDctBlockScalar(quant, coefficients, scalar.rows, 4, k);
        InverseDctBlockMmx(quant, coefficients, mmx.rows, 4, k);
        if (std::memcmp(scalar.samples, mmx.samples, sizeof scalar.samples) != 0 && ++mismatches <= 3) {
            ADD_FAILURE() << "block " << n << " differs";
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(JpegIdct, ScalarLevelChoosesTheReference) {
    const SimdLevel saved = SetActiveSimdLevel(SimdScalar);
    EXPECT_EQ(ChooseInverseDct(), InverseDctBlockScalar);
    SetActiveSimdLevel(SimdMmx);
    const bool mmx = InverseDctBlockMmx && DetectedSimdLevel() >= SimdMmx;
    EXPECT_EQ(ChooseInverseDct(), mmx ? InverseDctBlockMmx : InverseDctBlockScalar);
    SetActiveSimdLevel(saved);
}

}  // namespace
