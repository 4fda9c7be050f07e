// The inverse DCT in AVX2, with every stage in eight 32-bit lanes. Pass 1
// runs the eight columns side by side (lane = column), pass 2 the eight rows
// (lane = row). Each rotation is one 16-bit multiply-add over a vector whose
// lanes hold the two inputs of a pair, low half and high half: pass 1 builds
// those straight from the dequantised rows by a shift and a word blend, and
// the workspace is saturated to 16 bits and rearranged into pass 2's pairs in
// one small shuffle network instead of a full transpose. It gives
// InverseDctBlockScalar's samples bit for bit. This file alone is compiled
// for AVX2; it runs only when ActiveSimdLevel() allows AVX2.
#include "texture/jpeg/jpeg_idct.h"

#if defined(__AVX2__)
#include <immintrin.h>

#include <cstring>

namespace {

// Lanes (a, b) of a pair: the low 16 bits of a's lanes in the low halves and
// the low 16 bits of b's in the high halves.
[[gnu::always_inline]] inline __m256i Pair(__m256i a, __m256i b) {
    return _mm256_blend_epi16(a, _mm256_slli_epi32(b, 16), 0xAA);
}

// Multiplier pairs as the multiply-add takes them, both halves of each lane.
struct Multipliers {
    __m256i evenRotation0, evenRotation1, evenSum0, evenSum1, oddRotation0, oddRotation1;
    __m256i oddFirst0, oddFirst1, oddSecond0, oddSecond1;
};

[[gnu::always_inline]] inline __m256i Broadcast(const int16_t* pair) {
    int32_t v;
    std::memcpy(&v, pair, sizeof v);
    return _mm256_set1_epi32(v);
}

// The 1-D transform of every lane from the input pairs (d0, d4), (d2, d6),
// (d1, d7), (d5, d3); out[i] is output i before its shift, with `half`
// already added (it rides in the even part, which every output takes once,
// and 32-bit sums wrap alike in any order).
[[gnu::always_inline]] inline void Transform(__m256i p04, __m256i p26, __m256i p17, __m256i p53, __m256i pq,
                                             const Multipliers& k, __m256i half, __m256i* out) {
    const __m256i t3 = _mm256_madd_epi16(p26, k.evenRotation0);
    const __m256i t2 = _mm256_madd_epi16(p26, k.evenRotation1);
    const __m256i t0 = _mm256_add_epi32(_mm256_madd_epi16(p04, k.evenSum0), half);
    const __m256i t1 = _mm256_add_epi32(_mm256_madd_epi16(p04, k.evenSum1), half);
    const __m256i e10 = _mm256_add_epi32(t0, t3), e13 = _mm256_sub_epi32(t0, t3);
    const __m256i e11 = _mm256_add_epi32(t1, t2), e12 = _mm256_sub_epi32(t1, t2);

    const __m256i z3 = _mm256_madd_epi16(pq, k.oddRotation0);
    const __m256i z4 = _mm256_madd_epi16(pq, k.oddRotation1);
    const __m256i o0 = _mm256_add_epi32(_mm256_madd_epi16(p17, k.oddFirst0), z3);
    const __m256i o1 = _mm256_add_epi32(_mm256_madd_epi16(p53, k.oddFirst1), z4);
    const __m256i o3 = _mm256_add_epi32(_mm256_madd_epi16(p17, k.oddSecond0), z4);
    const __m256i o2 = _mm256_add_epi32(_mm256_madd_epi16(p53, k.oddSecond1), z3);

    out[0] = _mm256_add_epi32(e10, o3);
    out[1] = _mm256_add_epi32(e11, o2);
    out[2] = _mm256_add_epi32(e12, o1);
    out[3] = _mm256_add_epi32(e13, o0);
    out[4] = _mm256_sub_epi32(e13, o0);
    out[5] = _mm256_sub_epi32(e12, o1);
    out[6] = _mm256_sub_epi32(e11, o2);
    out[7] = _mm256_sub_epi32(e10, o3);
}

void InverseDctAvx2(const int32_t* quant, const int32_t* coefficients, uint8_t* const* rows, int column,
                    const IdctConstants& k) {
    // Dequantised rows in 32-bit lanes; only their low halves go on, as in
    // the reference, except for the DC-only columns' test below.
    __m256i p[8];
    __m256i acBits = _mm256_setzero_si256();
    for (int r = 0; r < 8; ++r) {
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(coefficients + 8 * r));
        p[r] = _mm256_mullo_epi32(c, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(quant + 8 * r)));
        if (r > 0) acBits = _mm256_or_si256(acBits, c);
    }
    // A column whose AC terms' low halves are all zero is DC-only to the
    // reference, which then takes the 32-bit product of its DC: where that
    // passes the 16-bit range (only corrupt data makes one) the block goes
    // to the reference whole.
    const __m256i dcOnly = _mm256_cmpeq_epi32(_mm256_slli_epi32(acBits, 16), _mm256_setzero_si256());
    const __m256i dcFits = _mm256_cmpeq_epi32(p[0], _mm256_srai_epi32(_mm256_slli_epi32(p[0], 16), 16));
    if (!_mm256_testc_si256(dcFits, dcOnly)) {
        InverseDctBlockScalar(quant, coefficients, rows, column, k);
        return;
    }

    const Multipliers m{Broadcast(k.evenRotation), Broadcast(k.evenRotation + 2), Broadcast(k.evenSum),
                        Broadcast(k.evenSum + 2),  Broadcast(k.oddRotation),      Broadcast(k.oddRotation + 2),
                        Broadcast(k.oddFirst),     Broadcast(k.oddFirst + 2),     Broadcast(k.oddSecond),
                        Broadcast(k.oddSecond + 2)};

    // Pass 1: lane = column; w[r] is workspace row r in 32 bits.
    __m256i w[8];
    Transform(Pair(p[0], p[4]), Pair(p[2], p[6]), Pair(p[1], p[7]), Pair(p[5], p[3]),
              Pair(_mm256_add_epi32(p[1], p[5]), _mm256_add_epi32(p[7], p[3])), m, _mm256_set1_epi32(IdctPass1Rounding),
              w);
    for (int r = 0; r < 8; ++r) w[r] = _mm256_srai_epi32(w[r], IdctPass1Shift);

    // The workspace saturated to 16 bits (two rows a vector: columns 0-3 of
    // both in the low half, 4-7 in the high half), then rows 0-3 gathered in
    // the low halves and 4-7 in the high halves, columns 5 and 7 swapped so
    // that one word interleave makes the pairs (0, 4), (1, 7), (2, 6), (3, 5)
    // of each row, and a 4 x 4 transpose of those pairs puts one row in each
    // lane.
    const __m256i rows01 = _mm256_packs_epi32(w[0], w[1]), rows23 = _mm256_packs_epi32(w[2], w[3]);
    const __m256i rows45 = _mm256_packs_epi32(w[4], w[5]), rows67 = _mm256_packs_epi32(w[6], w[7]);
    const __m256i swap57 = _mm256_setr_epi8(0, 1, 6, 7, 4, 5, 2, 3, 8, 9, 14, 15, 12, 13, 10, 11, 0, 1, 6, 7, 4, 5, 2,
                                            3, 8, 9, 14, 15, 12, 13, 10, 11);
    const __m256i low0145 = _mm256_permute2x128_si256(rows01, rows45, 0x20);
    const __m256i high0145 = _mm256_shuffle_epi8(_mm256_permute2x128_si256(rows01, rows45, 0x31), swap57);
    const __m256i low2367 = _mm256_permute2x128_si256(rows23, rows67, 0x20);
    const __m256i high2367 = _mm256_shuffle_epi8(_mm256_permute2x128_si256(rows23, rows67, 0x31), swap57);
    const __m256i row04 = _mm256_unpacklo_epi16(low0145, high0145);
    const __m256i row15 = _mm256_unpackhi_epi16(low0145, high0145);
    const __m256i row26 = _mm256_unpacklo_epi16(low2367, high2367);
    const __m256i row37 = _mm256_unpackhi_epi16(low2367, high2367);
    const __m256i a = _mm256_unpacklo_epi32(row04, row15), b = _mm256_unpackhi_epi32(row04, row15);
    const __m256i c = _mm256_unpacklo_epi32(row26, row37), d = _mm256_unpackhi_epi32(row26, row37);
    const __m256i e04 = _mm256_unpacklo_epi64(a, c), e17 = _mm256_unpackhi_epi64(a, c);
    const __m256i e26 = _mm256_unpacklo_epi64(b, d), e35 = _mm256_unpackhi_epi64(b, d);
    const __m256i swapHalves = _mm256_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13, 2, 3, 0, 1, 6, 7,
                                                4, 5, 10, 11, 8, 9, 14, 15, 12, 13);
    const __m256i e53 = _mm256_shuffle_epi8(e35, swapHalves);

    // Pass 2: lane = row; s[i] is output column i. The 16-bit sums p and q
    // wrap as the reference's do.
    __m256i s[8];
    Transform(e04, e26, e17, e53, _mm256_add_epi16(e17, e53), m, _mm256_set1_epi32(IdctPass2Rounding), s);
    for (int i = 0; i < 8; ++i) s[i] = _mm256_srai_epi32(s[i], IdctPass2Shift);

    // Saturated to signed bytes (four columns of four rows a dword), level
    // shifted, each half's 4 x 4 byte blocks transposed into rows, and the
    // two column halves of each row joined.
    const __m256i levelShift = _mm256_set1_epi8(static_cast<char>(0x80));
    const __m256i columns0123 = _mm256_xor_si256(
        _mm256_packs_epi16(_mm256_packs_epi32(s[0], s[1]), _mm256_packs_epi32(s[2], s[3])), levelShift);
    const __m256i columns4567 = _mm256_xor_si256(
        _mm256_packs_epi16(_mm256_packs_epi32(s[4], s[5]), _mm256_packs_epi32(s[6], s[7])), levelShift);
    const __m256i transpose = _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 0, 4, 8, 12, 1, 5,
                                               9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    const __m256i left = _mm256_shuffle_epi8(columns0123, transpose);
    const __m256i right = _mm256_shuffle_epi8(columns4567, transpose);
    const __m256i rows0145 = _mm256_unpacklo_epi32(left, right);
    const __m256i rows2367 = _mm256_unpackhi_epi32(left, right);
    const __m128i r01 = _mm256_castsi256_si128(rows0145), r45 = _mm256_extracti128_si256(rows0145, 1);
    const __m128i r23 = _mm256_castsi256_si128(rows2367), r67 = _mm256_extracti128_si256(rows2367, 1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(rows[0] + column), r01);
    _mm_storeh_pi(reinterpret_cast<__m64*>(rows[1] + column), _mm_castsi128_ps(r01));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(rows[2] + column), r23);
    _mm_storeh_pi(reinterpret_cast<__m64*>(rows[3] + column), _mm_castsi128_ps(r23));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(rows[4] + column), r45);
    _mm_storeh_pi(reinterpret_cast<__m64*>(rows[5] + column), _mm_castsi128_ps(r45));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(rows[6] + column), r67);
    _mm_storeh_pi(reinterpret_cast<__m64*>(rows[7] + column), _mm_castsi128_ps(r67));
}

}  // namespace

const InverseDctFunction InverseDctBlockAvx2 = InverseDctAvx2;

#else

const InverseDctFunction InverseDctBlockAvx2 = nullptr;

#endif
