// The AVX2 kernel set: 16 lanes of 16 bits for the row kernels. This file alone is compiled for AVX2; nothing in it
// runs unless ActiveSimdLevel() allows AVX2.
#include "texture/jpeg/jpeg_kernels.h"

#if defined(__AVX2__)
#include <immintrin.h>

#include "texture/jpeg/jpeg_row_kernels_simd.h"

namespace {

struct Avx2Lanes {
    using Vector = __m256i;
    static constexpr int Lanes = 16;
    static Vector Load(const uint8_t* p) {
        return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
    static Vector Set1(int16_t v) { return _mm256_set1_epi16(v); }
    static Vector Add(Vector a, Vector b) { return _mm256_add_epi16(a, b); }
    static Vector Sub(Vector a, Vector b) { return _mm256_sub_epi16(a, b); }
    static Vector Mul(Vector a, Vector b) { return _mm256_mullo_epi16(a, b); }
    static Vector MulHi(Vector a, Vector b) { return _mm256_mulhi_epi16(a, b); }
    static Vector Srli(Vector a, int n) { return _mm256_srl_epi16(a, _mm_cvtsi32_si128(n)); }
    static Vector Srai(Vector a, int n) { return _mm256_sra_epi16(a, _mm_cvtsi32_si128(n)); }
    static Vector Slli(Vector a, int n) { return _mm256_sll_epi16(a, _mm_cvtsi32_si128(n)); }
    static Vector Or(Vector a, Vector b) { return _mm256_or_si256(a, b); }
    static Vector Min(Vector a, Vector b) { return _mm256_min_epi16(a, b); }
    static Vector Max(Vector a, Vector b) { return _mm256_max_epi16(a, b); }
    // Unpacking and packing both work within each 128-bit half, so the lane
    // order comes back as it went in.
    static Vector MulAddShift16(Vector a, Vector b, int16_t ka, int16_t kb, int32_t round) {
        const __m256i k = _mm256_set1_epi32(
            static_cast<int32_t>(static_cast<uint16_t>(ka) | static_cast<uint32_t>(static_cast<uint16_t>(kb)) << 16));
        const __m256i r = _mm256_set1_epi32(round);
        const __m256i lo =
            _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), k), r), 16);
        const __m256i hi =
            _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), k), r), 16);
        return _mm256_packs_epi32(lo, hi);
    }
    static void StoreInterleaved(uint8_t* out, Vector even, Vector odd) {
        const __m256i bytes = _mm256_packus_epi16(_mm256_unpacklo_epi16(even, odd), _mm256_unpackhi_epi16(even, odd));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), bytes);
    }
    // The unpacks give pixels 0-3 | 8-11 and 4-7 | 12-15; the halves are
    // put back in order on the way out.
    static void StorePixels(uint32_t* out, Vector low, Vector high) {
        const __m256i a = _mm256_unpacklo_epi16(low, high);
        const __m256i b = _mm256_unpackhi_epi16(low, high);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(a, b, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8), _mm256_permute2x128_si256(a, b, 0x31));
    }
};

}  // namespace

const JpegRowKernels JpegRowKernelsAvx2 = {
    SmoothH2V1Simd<Avx2Lanes>,
    SmoothH2V2RowSimd<Avx2Lanes>,
    YccRowSimd<Avx2Lanes>,
    GreyRowSimd<Avx2Lanes>,
};

#else

const JpegRowKernels JpegRowKernelsAvx2 = {nullptr, nullptr, nullptr, nullptr};

#endif
