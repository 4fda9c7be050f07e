// The SSE2 kernel set: 8 lanes of 16 bits for the row kernels.
#include "texture/jpeg/jpeg_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include "texture/jpeg/jpeg_row_kernels_simd.h"

namespace {

struct Sse2Lanes {
    using Vector = __m128i;
    static constexpr int Lanes = 8;
    static Vector Load(const uint8_t* p) {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
    }
    static Vector Set1(int16_t v) { return _mm_set1_epi16(v); }
    static Vector Add(Vector a, Vector b) { return _mm_add_epi16(a, b); }
    static Vector Sub(Vector a, Vector b) { return _mm_sub_epi16(a, b); }
    static Vector Mul(Vector a, Vector b) { return _mm_mullo_epi16(a, b); }
    static Vector MulHi(Vector a, Vector b) { return _mm_mulhi_epi16(a, b); }
    static Vector Srli(Vector a, int n) { return _mm_srl_epi16(a, _mm_cvtsi32_si128(n)); }
    static Vector Srai(Vector a, int n) { return _mm_sra_epi16(a, _mm_cvtsi32_si128(n)); }
    static Vector Slli(Vector a, int n) { return _mm_sll_epi16(a, _mm_cvtsi32_si128(n)); }
    static Vector Or(Vector a, Vector b) { return _mm_or_si128(a, b); }
    static Vector Min(Vector a, Vector b) { return _mm_min_epi16(a, b); }
    static Vector Max(Vector a, Vector b) { return _mm_max_epi16(a, b); }
    // (a * ka + b * kb + round) >> 16 in 32 bits, back in 16-bit lanes.
    static Vector MulAddShift16(Vector a, Vector b, int16_t ka, int16_t kb, int32_t round) {
        const __m128i k = _mm_set1_epi32(
            static_cast<int32_t>(static_cast<uint16_t>(ka) | static_cast<uint32_t>(static_cast<uint16_t>(kb)) << 16));
        const __m128i r = _mm_set1_epi32(round);
        const __m128i lo = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a, b), k), r), 16);
        const __m128i hi = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(a, b), k), r), 16);
        return _mm_packs_epi32(lo, hi);
    }
    // out[2j] = even[j], out[2j + 1] = odd[j], values 0..255.
    static void StoreInterleaved(uint8_t* out, Vector even, Vector odd) {
        const __m128i bytes = _mm_packus_epi16(_mm_unpacklo_epi16(even, odd), _mm_unpackhi_epi16(even, odd));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    }
    // Pixel j = low[j] | high[j] << 16.
    static void StorePixels(uint32_t* out, Vector low, Vector high) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(low, high));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(low, high));
    }
};

}  // namespace

const JpegRowKernels JpegRowKernelsSse2 = {
    SmoothH2V1Simd<Sse2Lanes>,
    SmoothH2V2RowSimd<Sse2Lanes>,
    YccRowSimd<Sse2Lanes>,
    GreyRowSimd<Sse2Lanes>,
};

#else

const JpegRowKernels JpegRowKernelsSse2 = {nullptr, nullptr, nullptr, nullptr};

#endif
