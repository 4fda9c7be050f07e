// The inverse DCT written over the width W of its 32-bit stage (SSE2: two
// vectors of four lanes per row), included by the file of the instruction
// set (AVX2 has a transform of its own). It must equal InverseDctBlockScalar
// bit for bit. Pass 1 runs the eight columns side by side (a vector holds one
// coefficient row), pass 2 the eight rows after a transpose; every rotation
// is one 16-bit multiply-add per pair of inputs, as in the scalar reference.
// A DC-only column whose dequantised DC does not fit 16 bits (only corrupt
// data makes one) takes the 32-bit shortcut of the reference, so such a
// block is handed to the reference whole. Internal: only the IDCT files
// include this.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "texture/jpeg/jpeg_idct.h"

namespace {

// Low 16 bits of eight 32-bit values, as signed words, in SSE2.
[[gnu::always_inline]] inline __m128i Low16RowSse2(const int32_t* p) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4));
    a = _mm_srai_epi32(_mm_slli_epi32(a, 16), 16);
    b = _mm_srai_epi32(_mm_slli_epi32(b, 16), 16);
    return _mm_packs_epi32(a, b);
}

// Low 32 bits of the lane-wise products of four 32-bit values.
[[gnu::always_inline]] inline __m128i MulLow32(__m128i a, __m128i b) {
    const __m128i even = _mm_mul_epu32(a, b);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, 0x08), _mm_shuffle_epi32(odd, 0x08));
}

// The multipliers as the multiply-adds take them: each group as two broadcast
// pairs, lanes (g[0], g[1]) and (g[2], g[3]).
struct IdctPairConstants {
    struct PairConstants {
        __m128i first, second;
    };
    struct Constants {
        PairConstants evenRotation, evenSum, oddRotation, oddFirst, oddSecond;
    };
    static PairConstants Pairs(const int16_t* group) {
        const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(group));
        return {_mm_shuffle_epi32(v, 0x00), _mm_shuffle_epi32(v, 0x55)};
    }
};

// Whether some DC-only column's 32-bit dequantised DC passes the 16-bit range.
bool DcNeedsWideShortcut(const int32_t* quant, const int32_t* coefficients, __m128i dcOnlyColumns) {
    const __m128i pa = MulLow32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients)),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(quant)));
    const __m128i pb = MulLow32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + 4)),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(quant + 4)));
    const __m128i fa = _mm_cmpeq_epi32(pa, _mm_srai_epi32(_mm_slli_epi32(pa, 16), 16));
    const __m128i fb = _mm_cmpeq_epi32(pb, _mm_srai_epi32(_mm_slli_epi32(pb, 16), 16));
    const __m128i fits = _mm_packs_epi32(fa, fb);
    return _mm_movemask_epi8(_mm_andnot_si128(fits, dcOnlyColumns)) != 0;
}

// The 1-D transform of d[0..7] in every lane, each output rounded, shifted
// and saturated to 16 bits, in the reference's output order.
template <class W>
[[gnu::always_inline]] inline void Transform(const __m128i* d, const typename W::Constants& k, int32_t half, int shift,
                                             __m128i* out) {
    using Half = typename W::Half;
    const auto MulAdd = W::MulAdd;
    const auto Add = W::Add;
    const auto Sub = W::Sub;
    const auto Descale = W::Descale;
    const Half t3 = MulAdd(d[2], d[6], k.evenRotation.first);
    const Half t2 = MulAdd(d[2], d[6], k.evenRotation.second);
    const Half t0 = MulAdd(d[0], d[4], k.evenSum.first);
    const Half t1 = MulAdd(d[0], d[4], k.evenSum.second);
    const Half e10 = Add(t0, t3), e13 = Sub(t0, t3), e11 = Add(t1, t2), e12 = Sub(t1, t2);

    const __m128i p = _mm_add_epi16(d[1], d[5]);  // 16-bit sums, as the reference wraps them
    const __m128i q = _mm_add_epi16(d[7], d[3]);
    const Half z3 = MulAdd(p, q, k.oddRotation.first);
    const Half z4 = MulAdd(p, q, k.oddRotation.second);
    const Half o0 = Add(MulAdd(d[1], d[7], k.oddFirst.first), z3);
    const Half o1 = Add(MulAdd(d[5], d[3], k.oddFirst.second), z4);
    const Half o3 = Add(MulAdd(d[1], d[7], k.oddSecond.first), z4);
    const Half o2 = Add(MulAdd(d[5], d[3], k.oddSecond.second), z3);

    out[0] = Descale(Add(e10, o3), half, shift);
    out[1] = Descale(Add(e11, o2), half, shift);
    out[2] = Descale(Add(e12, o1), half, shift);
    out[3] = Descale(Add(e13, o0), half, shift);
    out[4] = Descale(Sub(e13, o0), half, shift);
    out[5] = Descale(Sub(e12, o1), half, shift);
    out[6] = Descale(Sub(e11, o2), half, shift);
    out[7] = Descale(Sub(e10, o3), half, shift);
}

[[gnu::always_inline]] inline void Transpose(__m128i* r) {
    const __m128i t0 = _mm_unpacklo_epi16(r[0], r[1]), t1 = _mm_unpackhi_epi16(r[0], r[1]);
    const __m128i t2 = _mm_unpacklo_epi16(r[2], r[3]), t3 = _mm_unpackhi_epi16(r[2], r[3]);
    const __m128i t4 = _mm_unpacklo_epi16(r[4], r[5]), t5 = _mm_unpackhi_epi16(r[4], r[5]);
    const __m128i t6 = _mm_unpacklo_epi16(r[6], r[7]), t7 = _mm_unpackhi_epi16(r[6], r[7]);
    const __m128i u0 = _mm_unpacklo_epi32(t0, t2), u1 = _mm_unpackhi_epi32(t0, t2);
    const __m128i u2 = _mm_unpacklo_epi32(t1, t3), u3 = _mm_unpackhi_epi32(t1, t3);
    const __m128i u4 = _mm_unpacklo_epi32(t4, t6), u5 = _mm_unpackhi_epi32(t4, t6);
    const __m128i u6 = _mm_unpacklo_epi32(t5, t7), u7 = _mm_unpackhi_epi32(t5, t7);
    r[0] = _mm_unpacklo_epi64(u0, u4);
    r[1] = _mm_unpackhi_epi64(u0, u4);
    r[2] = _mm_unpacklo_epi64(u1, u5);
    r[3] = _mm_unpackhi_epi64(u1, u5);
    r[4] = _mm_unpacklo_epi64(u2, u6);
    r[5] = _mm_unpackhi_epi64(u2, u6);
    r[6] = _mm_unpacklo_epi64(u3, u7);
    r[7] = _mm_unpackhi_epi64(u3, u7);
}

// The dequantised rows d[0..7] as 16-bit words in 16-bit lanes: each
// coefficient's low half times the table's; false when the block must go to
// the reference whole.
[[gnu::always_inline]] inline bool DequantiseRowsSse2(const int32_t* quant, const int32_t* coefficients, __m128i* d) {
    __m128i acBits = _mm_setzero_si128();
    for (int r = 0; r < 8; ++r) {
        d[r] = Low16RowSse2(coefficients + 8 * r);
        if (r > 0) acBits = _mm_or_si128(acBits, d[r]);
    }
    const __m128i dcOnlyColumns = _mm_cmpeq_epi16(acBits, _mm_setzero_si128());
    if (_mm_movemask_epi8(dcOnlyColumns) != 0 && DcNeedsWideShortcut(quant, coefficients, dcOnlyColumns)) return false;
    for (int r = 0; r < 8; ++r) d[r] = _mm_mullo_epi16(d[r], Low16RowSse2(quant + 8 * r));
    return true;
}

template <class W>
void InverseDctSimd(const int32_t* quant, const int32_t* coefficients, uint8_t* const* rows, int column,
                    const IdctConstants& k) {
    __m128i d[8];
    if (!W::DequantiseRows(quant, coefficients, d)) {
        InverseDctBlockScalar(quant, coefficients, rows, column, k);
        return;
    }

    const typename W::Constants c{W::Pairs(k.evenRotation), W::Pairs(k.evenSum), W::Pairs(k.oddRotation),
                                  W::Pairs(k.oddFirst), W::Pairs(k.oddSecond)};
    // Pass 1 keeps IdctPass1ExtraBits fraction bits; the workspace saturates
    // to 16 bits on the way into pass 2, as the reference's does.
    __m128i w[8];
    Transform<W>(d, c, IdctPass1Rounding, IdctPass1Shift, w);
    Transpose(w);
    __m128i s[8];
    Transform<W>(w, c, IdctPass2Rounding, IdctPass2Shift, s);
    Transpose(s);  // back to one vector per output row

    const __m128i levelShift = _mm_set1_epi8(static_cast<char>(0x80));
    for (int r = 0; r < 8; r += 2) {
        const __m128i bytes = _mm_xor_si128(_mm_packs_epi16(s[r], s[r + 1]), levelShift);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(rows[r] + column), bytes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(rows[r + 1] + column), _mm_srli_si128(bytes, 8));
    }
}

}  // namespace
