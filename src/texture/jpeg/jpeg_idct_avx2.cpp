// The inverse DCT with AVX2 for its 32-bit stage: one vector of eight lanes
// per row. This file alone is compiled for AVX2; it runs only when
// ActiveSimdLevel() allows AVX2.
#include "texture/jpeg/jpeg_idct.h"

#if defined(__AVX2__)
#include <immintrin.h>

#include "texture/jpeg/jpeg_idct_simd.h"

namespace {

struct Avx2Stage : IdctPairConstants {
    // Low 16 bits of eight 32-bit values: the two low bytes of each value
    // gathered within each half, then the halves' low quarters joined.
    [[gnu::always_inline]] static __m128i Low16Row(const int32_t* p) {
        const __m256i gather = _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 4, 5, 8,
                                                9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1);
        const __m256i words = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), gather);
        return _mm256_castsi256_si128(_mm256_permute4x64_epi64(words, 0x08));
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
