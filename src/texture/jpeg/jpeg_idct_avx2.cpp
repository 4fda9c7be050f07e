// The inverse DCT with AVX2 for its 32-bit stage: one vector of eight lanes
// per row. This file alone is compiled for AVX2; it runs only when
// ActiveSimdLevel() allows AVX2.
#include "texture/jpeg/jpeg_idct.h"

#if defined(__AVX2__)
#include <immintrin.h>

#include "texture/jpeg/jpeg_idct_simd.h"

namespace {

struct Avx2Stage : IdctPairConstants {
    // Low 16 bits of the eight 32-bit values of v: the two low bytes of each
    // value gathered within each half, then the halves' low quarters joined.
    [[gnu::always_inline]] static __m128i Low16(__m256i v) {
        const __m256i gather = _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 4, 5, 8,
                                                9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1);
        return _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_shuffle_epi8(v, gather), 0x08));
    }
    // A whole row of eight coefficients and their table entries is
    // multiplied in 32-bit lanes, whose low halves are the 16-bit products;
    // the DC row's full products tell whether a DC-only column's DC passes
    // the 16-bit range.
    [[gnu::always_inline]] static bool DequantiseRows(const int32_t* quant, const int32_t* coefficients, __m128i* d) {
        __m256i acBits = _mm256_setzero_si256();
        __m256i dcProducts = _mm256_setzero_si256();
        for (int r = 0; r < 8; ++r) {
            const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(coefficients + 8 * r));
            const __m256i product =
                _mm256_mullo_epi32(c, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(quant + 8 * r)));
            if (r == 0) {
                dcProducts = product;
            } else {
                acBits = _mm256_or_si256(acBits, c);
            }
            d[r] = Low16(product);
        }
        const __m128i dcOnlyColumns = _mm_cmpeq_epi16(Low16(acBits), _mm_setzero_si128());
        if (_mm_movemask_epi8(dcOnlyColumns) == 0) return true;
        const __m256i fits = _mm256_cmpeq_epi32(dcProducts, _mm256_srai_epi32(_mm256_slli_epi32(dcProducts, 16), 16));
        return _mm_movemask_epi8(_mm_andnot_si128(Low16(fits), dcOnlyColumns)) == 0;
    }
    using Half = __m256i;  // lanes 0-7: columns (pass 1) or rows (pass 2) 0-7
    [[gnu::always_inline]] static Half MulAdd(__m128i a, __m128i b, __m128i k) {
        const __m256i pairs = _mm256_set_m128i(_mm_unpackhi_epi16(a, b), _mm_unpacklo_epi16(a, b));
        return _mm256_madd_epi16(pairs, _mm256_broadcastsi128_si256(k));
    }
    [[gnu::always_inline]] static Half Add(Half a, Half b) { return _mm256_add_epi32(a, b); }
    [[gnu::always_inline]] static Half Sub(Half a, Half b) { return _mm256_sub_epi32(a, b); }
    [[gnu::always_inline]] static __m128i Descale(Half v, int32_t half, int shift) {
        const __m256i s = _mm256_sra_epi32(_mm256_add_epi32(v, _mm256_set1_epi32(half)), _mm_cvtsi32_si128(shift));
        return _mm_packs_epi32(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1));
    }
};

}  // namespace

const InverseDctFunction InverseDctBlockAvx2 = InverseDctSimd<Avx2Stage>;

#else

const InverseDctFunction InverseDctBlockAvx2 = nullptr;

#endif
