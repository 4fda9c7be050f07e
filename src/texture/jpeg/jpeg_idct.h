// The inverse DCT: dequantise one 8x8 block and transform it into 8-bit
// samples. Integer, separable, two passes over the LL&M factorisation with
// 13-bit constants, laid out for 16-bit multiply-add lanes. The portable
// reference (jpeg_idct.cpp) and the MMX, SSE2 and AVX2 versions give the same
// samples bit for bit on every input.
#pragma once

#include <cstdint>

// The fixed-point plan. Multipliers are value * 2^IdctConstantBits. Pass 1
// keeps IdctPass1ExtraBits fraction bits of its products (a shift of 13 - 2);
// pass 2 removes the constant scale, pass 1's extra bits and the factor 8 of
// the 2-D transform (13 + 2 + 3). Dequantised values and the odd-part sums
// are 16-bit; every product of a 16-bit value and a 13-bit multiplier and
// every partial sum fits 32 bits except the last butterfly, which wraps as
// 32-bit lanes do. Each shift rounds by adding half its divisor first.
constexpr int IdctConstantBits = 13;
constexpr int IdctPass1ExtraBits = 2;
constexpr int IdctPass1Shift = IdctConstantBits - IdctPass1ExtraBits;
constexpr int32_t IdctPass1Rounding = 1 << (IdctPass1Shift - 1);
constexpr int IdctPass2Shift = IdctConstantBits + IdctPass1ExtraBits + 3;
constexpr int32_t IdctPass2Rounding = 1 << (IdctPass2Shift - 1);
// A DC-only column is its dequantised DC times 2^IdctPass1ExtraBits; a DC-only
// workspace row descales by the remaining 3 + 2 bits.
constexpr int IdctDcRowShift = IdctPass1ExtraBits + 3;
constexpr int32_t IdctDcRowRounding = 1 << (IdctDcRowShift - 1);

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
using InverseDctFunction = void (*)(const int32_t* quant, const int32_t* coefficients, uint8_t* const* rows, int column,
                                    const IdctConstants& k);

void InverseDctBlockScalar(const int32_t* quant, const int32_t* coefficients, uint8_t* const* rows, int column,
                           const IdctConstants& k);
// Null when the build has no such instructions.
extern const InverseDctFunction InverseDctBlockMmx;
extern const InverseDctFunction InverseDctBlockSse2;
extern const InverseDctFunction InverseDctBlockAvx2;

// The implementation of the highest level up to `level` that the build has;
// ChooseInverseDct() for the level ActiveSimdLevel() allows.
InverseDctFunction ChooseInverseDctFor(int level);
InverseDctFunction ChooseInverseDct();
