// The portable inverse DCT, the reference the SIMD versions must match. It is
// written as the 16-bit lane arithmetic works: dequantised values and the two
// odd-part sums wrap at 16 bits, the workspace saturates to 16 bits before
// pass 2, results saturate to bytes.
#include <cstdlib>
#include <cstring>

#include "texture/jpeg/jpeg_idct.h"

#include "core/cpu_features.h"
#include "core/int_math.h"

namespace {

// clang-format off
constexpr IdctConstants ProgramValues = {
    {10703, 4433, 4433, -10703},
    {8192, 8192, 8192, -8192},
    {9633, -6436, 6436, 9633},
    {-7373, -4926, -4176, -20995},
    {4926, -7373, -20995, 4176},
};
// clang-format on

}  // namespace

const IdctConstants ProgramIdctConstants = ProgramValues;

namespace {

// Wrapping 32-bit arithmetic, as the lanes do it (and free of C++ overflow).
inline int32_t Wrap32(uint32_t v) { return static_cast<int32_t>(v); }
inline int32_t Add32(int32_t a, int32_t b) { return Wrap32(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
inline int32_t Sub32(int32_t a, int32_t b) { return Wrap32(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
inline int32_t Mul32(int32_t a, int32_t b) { return Wrap32(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)); }
inline int16_t Low16(int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }
inline int32_t Saturate16(int32_t v) { return v < -32768 ? -32768 : (v > 32767 ? 32767 : v); }

// The last butterfly can pass the 32-bit range (e11 + o2 reaches about
// 2.4e9 for extreme inputs); it wraps, as the lanes' 32-bit adds do.
template <class Emit>
[[gnu::always_inline]] inline void LastButterfly(int32_t e10, int32_t e11, int32_t e12, int32_t e13, int32_t o0,
                                                 int32_t o1, int32_t o2, int32_t o3, Emit emit) {
    emit(0, Add32(e10, o3));
    emit(1, Add32(e11, o2));
    emit(2, Add32(e12, o1));
    emit(3, Add32(e13, o0));
    emit(4, Sub32(e13, o0));
    emit(5, Sub32(e12, o1));
    emit(6, Sub32(e11, o2));
    emit(7, Sub32(e10, o3));
}

// The eight outputs of one 1-D transform of in[0..7], unshifted, handed to
// emit(i, value) for i = 0..7: e10+o3, e11+o2, e12+o1, e13+o0, e13-o0,
// e12-o1, e11-o2, e10-o3. The inputs are 16-bit, so every product and every
// partial sum fits in 32 bits.
template <class Emit>
[[gnu::always_inline]] inline void Butterflies(const int16_t* in, const IdctConstants& k, Emit emit) {
    const int32_t d0 = in[0], d1 = in[1], d2 = in[2], d3 = in[3];
    const int32_t d4 = in[4], d5 = in[5], d6 = in[6], d7 = in[7];

    const int32_t t0 = d0 * k.evenSum[0] + d4 * k.evenSum[1];
    const int32_t t1 = d0 * k.evenSum[2] + d4 * k.evenSum[3];
    const int32_t t3 = d2 * k.evenRotation[0] + d6 * k.evenRotation[1];
    const int32_t t2 = d2 * k.evenRotation[2] + d6 * k.evenRotation[3];
    const int32_t e10 = t0 + t3, e13 = t0 - t3, e11 = t1 + t2, e12 = t1 - t2;

    const int32_t p = Low16(d1 + d5);  // 16-bit sums, as the lanes add them
    const int32_t q = Low16(d7 + d3);
    const int32_t z3 = p * k.oddRotation[0] + q * k.oddRotation[1];
    const int32_t z4 = p * k.oddRotation[2] + q * k.oddRotation[3];
    const int32_t o0 = d1 * k.oddFirst[0] + d7 * k.oddFirst[1] + z3;
    const int32_t o1 = d5 * k.oddFirst[2] + d3 * k.oddFirst[3] + z4;
    const int32_t o3 = d1 * k.oddSecond[0] + d7 * k.oddSecond[1] + z4;
    const int32_t o2 = d5 * k.oddSecond[2] + d3 * k.oddSecond[3] + z3;

    LastButterfly(e10, e11, e12, e13, o0, o1, o2, o3, emit);
}

// Butterflies with the program's own constants, fixed at compile time. Each
// pair of products that share their inputs (a rotation) is formed from one
// product of the inputs' sum and one correction each, which the constants'
// symmetries make exact: 12 multiplies instead of 20, the same 32-bit values.
template <class Emit>
[[gnu::always_inline]] inline void ProgramButterflies(const int16_t* in, Emit emit) {
    constexpr IdctConstants k = ProgramValues;
    static_assert(k.evenSum[0] == k.evenSum[1] && k.evenSum[0] == k.evenSum[2] && k.evenSum[3] == -k.evenSum[0]);
    static_assert(k.evenRotation[2] == k.evenRotation[1] && k.oddRotation[3] == k.oddRotation[0]);
    static_assert(k.oddSecond[1] == k.oddFirst[0] && k.oddSecond[2] == k.oddFirst[3]);
    const int32_t d0 = in[0], d1 = in[1], d2 = in[2], d3 = in[3];
    const int32_t d4 = in[4], d5 = in[5], d6 = in[6], d7 = in[7];

    const int32_t t0 = (d0 + d4) * k.evenSum[0];
    const int32_t t1 = (d0 - d4) * k.evenSum[0];
    const int32_t even = (d2 + d6) * k.evenRotation[1];
    const int32_t t3 = even + d2 * (k.evenRotation[0] - k.evenRotation[1]);
    const int32_t t2 = even + d6 * (k.evenRotation[3] - k.evenRotation[1]);
    const int32_t e10 = t0 + t3, e13 = t0 - t3, e11 = t1 + t2, e12 = t1 - t2;

    const int32_t p = Low16(d1 + d5);
    const int32_t q = Low16(d7 + d3);
    const int32_t rotation = (p + q) * k.oddRotation[0];
    const int32_t z3 = rotation + q * (k.oddRotation[1] - k.oddRotation[0]);
    const int32_t z4 = rotation + p * (k.oddRotation[2] - k.oddRotation[0]);
    const int32_t outer = (d1 + d7) * k.oddFirst[0];
    const int32_t inner = (d5 + d3) * k.oddFirst[3];
    const int32_t o0 = outer + d7 * (k.oddFirst[1] - k.oddFirst[0]) + z3;
    const int32_t o3 = outer + d1 * (k.oddSecond[0] - k.oddFirst[0]) + z4;
    const int32_t o1 = inner + d5 * (k.oddFirst[2] - k.oddFirst[3]) + z4;
    const int32_t o2 = inner + d3 * (k.oddSecond[3] - k.oddFirst[3]) + z3;

    LastButterfly(e10, e11, e12, e13, o0, o1, o2, o3, emit);
}

inline uint8_t ToSample(int32_t v) {
    if (v < -128) v = -128;
    if (v > 127) v = 127;
    return static_cast<uint8_t>(v + 128);
}

// The two passes over one block; `butterflies(in, emit)` is the 1-D transform,
// handing each output to emit(index, value).
template <class Butterflies1D>
[[gnu::always_inline]] inline void TransformBlock(const int32_t* quant, const int32_t* coefficients,
                                                  uint8_t* const* rows, int column, Butterflies1D butterflies) {
    int32_t workspace[64];  // W[r][c] at r * 8 + c

    // Pass 1: columns, keeping IdctPass1ExtraBits fraction bits.
    for (int c = 0; c < 8; ++c) {
        // The low halves of the AC terms are all zero when the low half of
        // their bitwise or is: one test for the column, not seven.
        uint32_t acBits = 0;
        for (int r = 1; r < 8; ++r) acBits |= static_cast<uint32_t>(coefficients[r * 8 + c]);
        if (Low16(static_cast<int32_t>(acBits)) == 0) {
            const int32_t dc = Mul32(Mul32(coefficients[c], quant[c]), 1 << IdctPass1ExtraBits);
            for (int r = 0; r < 8; ++r) workspace[r * 8 + c] = dc;
            continue;
        }
        int16_t d[8];
        for (int r = 0; r < 8; ++r) d[r] = Low16(Mul32(coefficients[r * 8 + c], quant[r * 8 + c]));
        butterflies(d, [&](int r, int32_t v) {
            workspace[r * 8 + c] = ArithmeticShiftRight(Add32(v, IdctPass1Rounding), IdctPass1Shift);
        });
    }

    // Pass 2: rows.
    for (int r = 0; r < 8; ++r) {
        const int32_t* w = workspace + r * 8;
        uint8_t* out = rows[r] + column;
        const uint32_t acBits = static_cast<uint32_t>(w[1] | w[2] | w[3] | w[4] | w[5] | w[6] | w[7]);
        if (acBits == 0) {
            const uint8_t v = ToSample(ArithmeticShiftRight(Add32(w[0], IdctDcRowRounding), IdctDcRowShift));
            std::memset(out, v, 8);
            continue;
        }
        // A row nearly always lies within 16 bits and gives samples within a
        // byte: each bound is tested once for the whole row (by or-ing the
        // offset values), and only a row that fails it is saturated value by
        // value.
        int16_t e[8];
        uint32_t outside = 0;
        for (int i = 0; i < 8; ++i) {
            e[i] = Low16(w[i]);
            outside |= static_cast<uint32_t>(w[i]) + 32768u;
        }
        if (outside > 0xFFFF) {
            for (int i = 0; i < 8; ++i) e[i] = static_cast<int16_t>(Saturate16(w[i]));
        }
        // Saturating to 16 bits and then to a sample is saturating to a
        // sample; level is the sample before that, offset by 128.
        int32_t level[8];
        butterflies(e, [&](int i, int32_t v) {
            level[i] = ArithmeticShiftRight(Add32(v, IdctPass2Rounding), IdctPass2Shift) + 128;
        });
        uint32_t beyondByte = 0;
        for (int i = 0; i < 8; ++i) beyondByte |= static_cast<uint32_t>(level[i]);
        if (beyondByte <= 255) {
            for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(level[i]);
        } else {
            for (int i = 0; i < 8; ++i) out[i] = ToSample(level[i] - 128);
        }
    }
}

}  // namespace

void InverseDctBlockScalar(const int32_t* quant, const int32_t* coefficients, uint8_t* const* rows, int column,
                           const IdctConstants& k) {
    if (&k == &ProgramIdctConstants || std::memcmp(&k, &ProgramValues, sizeof k) == 0) {
        TransformBlock(quant, coefficients, rows, column,
                       [](const int16_t* in, auto emit) { ProgramButterflies(in, emit); });
    } else {
        TransformBlock(quant, coefficients, rows, column,
                       [&k](const int16_t* in, auto emit) { Butterflies(in, k, emit); });
    }
}

InverseDctFunction ChooseInverseDct() { return ChooseInverseDctFor(ActiveSimdLevel()); }

InverseDctFunction ChooseInverseDctFor(int level) {
    if (InverseDctBlockAvx2 && level >= SimdAvx2) return InverseDctBlockAvx2;
    if (InverseDctBlockSse2 && level >= SimdSse2) return InverseDctBlockSse2;
    if (InverseDctBlockMmx && level >= SimdMmx) return InverseDctBlockMmx;
    return InverseDctBlockScalar;
}
