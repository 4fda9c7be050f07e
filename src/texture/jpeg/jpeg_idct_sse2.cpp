// The inverse DCT in SSE2 lanes: the 32-bit stage in two vectors of four
// lanes per row.
#include "texture/jpeg/jpeg_idct.h"

#if defined(__SSE2__)
#include "texture/jpeg/jpeg_idct_simd.h"

namespace {

struct Sse2Stage : IdctPairConstants {
    [[gnu::always_inline]] static bool DequantiseRows(const int32_t* quant, const int32_t* coefficients, __m128i* d) {
        return DequantiseRowsSse2(quant, coefficients, d);
    }
    // a * k.lo + b * k.hi for the four lanes of one half (lo: lanes 0-3).
    struct Half {
        __m128i lo, hi;
    };
    [[gnu::always_inline]] static Half MulAdd(__m128i a, __m128i b, __m128i k) {
        return {_mm_madd_epi16(_mm_unpacklo_epi16(a, b), k), _mm_madd_epi16(_mm_unpackhi_epi16(a, b), k)};
    }
    [[gnu::always_inline]] static Half Add(Half a, Half b) {
        return {_mm_add_epi32(a.lo, b.lo), _mm_add_epi32(a.hi, b.hi)};
    }
    [[gnu::always_inline]] static Half Sub(Half a, Half b) {
        return {_mm_sub_epi32(a.lo, b.lo), _mm_sub_epi32(a.hi, b.hi)};
    }
    // Rounds, shifts and saturates both halves into eight words.
    [[gnu::always_inline]] static __m128i Descale(Half v, int32_t half, int shift) {
        const __m128i h = _mm_set1_epi32(half);
        const __m128i n = _mm_cvtsi32_si128(shift);
        return _mm_packs_epi32(_mm_sra_epi32(_mm_add_epi32(v.lo, h), n), _mm_sra_epi32(_mm_add_epi32(v.hi, h), n));
    }
};

}  // namespace

const InverseDctFunction InverseDctBlockSse2 = InverseDctSimd<Sse2Stage>;

#else

const InverseDctFunction InverseDctBlockSse2 = nullptr;

#endif
