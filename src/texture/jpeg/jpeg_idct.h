// The inverse DCT: dequantise one 8x8 block and transform it into 8-bit
// samples. Integer, separable, two passes over the LL&M factorisation with
// 13-bit constants, laid out for 16-bit multiply-add lanes. The portable
// reference (jpeg_idct.cpp) and the MMX version (jpeg_idct_mmx.cpp) give the
// same samples bit for bit on every input.
#pragma once

#include <cstdint>

// The multipliers (value / 8192) in the groups the multiply-add lanes use:
//   evenRotation  (D2, D6) -> t3 = D2*[0] + D6*[1],  t2 = D2*[2] + D6*[3]
//   evenSum       (D0, D4) -> t0 = D0*[0] + D4*[1],  t1 = D0*[2] + D4*[3]
//   oddRotation   (p, q)   -> z3 = p*[0] + q*[1],    z4 = p*[2] + q*[3]
//   oddFirst      (D1, D7, D5, D3) -> o0 = D1*[0] + D7*[1] + z3, o1 = D5*[2] + D3*[3] + z4
//   oddSecond     (D1, D7, D5, D3) -> o3 = D1*[0] + D7*[1] + z4, o2 = D5*[2] + D3*[3] + z3
struct alignas(8) IdctConstants {
    int16_t evenRotation[4];
    int16_t evenSum[4];
    int16_t oddRotation[4];
    int16_t oddFirst[4];
    int16_t oddSecond[4];
};

// The decoder's own constants, each rotation used symmetrically.
extern const IdctConstants ProgramIdctConstants;

// quant: 64 values, coefficients: 64 values, both in natural order. Writes
// columns column..column+7 of rows[0]..rows[7].
using InverseDctFunction = void (*)(const int32_t* quant, const int32_t* coefficients,
                                    uint8_t* const* rows, int column, const IdctConstants& k);

void InverseDctBlockScalar(const int32_t* quant, const int32_t* coefficients,
                           uint8_t* const* rows, int column, const IdctConstants& k);
// Null when the build has no MMX.
extern const InverseDctFunction InverseDctBlockMmx;

// The implementation a decode uses: MMX where built, unless the environment
// variable QUILLMERE_SCALAR is "1".
InverseDctFunction ChooseInverseDct();
