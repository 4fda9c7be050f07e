// The AVX2 vertex kernels: eight vertices at a time. They must give exactly
// the results of ProjectVerticesScalar and LightCornersScalar. This file
// alone is compiled for AVX2; its functions run only when ActiveSimdLevel()
// allows it, and everything in it has internal linkage except the entry
// points, so no AVX2 code reaches the rest of the program.
#include "render/vertex_kernels.h"

// On Windows the build has the assembler make every aligned vector move an
// unaligned one, because the stack is not kept 32-byte aligned for spills.
#if defined(__AVX2__)
#include <immintrin.h>

#include "render/vertex_kernels_simd.h"

namespace {

struct Avx2Lanes {
    using F = __m256;
    using I = __m256i;
    static constexpr int Width = 8;

    static F Set(float v) { return _mm256_set1_ps(v); }
    static F Add(F a, F b) { return _mm256_add_ps(a, b); }
    static F Sub(F a, F b) { return _mm256_sub_ps(a, b); }
    static F Mul(F a, F b) { return _mm256_mul_ps(a, b); }
    static F And(F a, F b) { return _mm256_and_ps(a, b); }
    static F AndNot(F mask, F b) { return _mm256_andnot_ps(mask, b); }
    static F Select(F mask, F a, F b) { return _mm256_blendv_ps(b, a, mask); }
    static F CmpGt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
    static F CmpGe(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }
    static F Negate(F a) { return _mm256_xor_ps(a, _mm256_set1_ps(-0.0f)); }
    static F AsF(I a) { return _mm256_castsi256_ps(a); }
    static I Bits(F a) { return _mm256_castps_si256(a); }
    static I Cvtt(F a) { return _mm256_cvttps_epi32(a); }

    static I SetI(int32_t v) { return _mm256_set1_epi32(v); }
    static I AddI(I a, I b) { return _mm256_add_epi32(a, b); }
    static I SubI(I a, I b) { return _mm256_sub_epi32(a, b); }
    static I AndI(I a, I b) { return _mm256_and_si256(a, b); }
    static I OrI(I a, I b) { return _mm256_or_si256(a, b); }
    static I AndNotI(I mask, I b) { return _mm256_andnot_si256(mask, b); }
    static I SelectI(I mask, I a, I b) { return _mm256_blendv_epi8(b, a, mask); }
    static I CmpGtI(I a, I b) { return _mm256_cmpgt_epi32(a, b); }
    static I CmpEqI(I a, I b) { return _mm256_cmpeq_epi32(a, b); }
    static I SignMask(I a) { return _mm256_srai_epi32(a, 31); }
    template <int N>
    static I ShlI(I a) {
        return _mm256_slli_epi32(a, N);
    }
    static I MinI(I a, I b) { return _mm256_min_epi32(a, b); }
    static I MaxI(I a, I b) { return _mm256_max_epi32(a, b); }

    static int32_t ReduceMin(I a) {
        __m128i r = _mm_min_epi32(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1));
        r = _mm_min_epi32(r, _mm_shuffle_epi32(r, _MM_SHUFFLE(1, 0, 3, 2)));
        r = _mm_min_epi32(r, _mm_shuffle_epi32(r, _MM_SHUFFLE(2, 3, 0, 1)));
        return _mm_cvtsi128_si32(r);
    }
    static int32_t ReduceMax(I a) {
        __m128i r = _mm_max_epi32(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1));
        r = _mm_max_epi32(r, _mm_shuffle_epi32(r, _MM_SHUFFLE(1, 0, 3, 2)));
        r = _mm_max_epi32(r, _mm_shuffle_epi32(r, _MM_SHUFFLE(2, 3, 0, 1)));
        return _mm_cvtsi128_si32(r);
    }

    // floor(k * x) per lane with the product taken in double precision.
    static I FloorProduct(double k, F x) {
        const __m256d factor = _mm256_set1_pd(k);
        const __m256d low = _mm256_mul_pd(factor, _mm256_cvtps_pd(_mm256_castps256_ps128(x)));
        const __m256d high = _mm256_mul_pd(factor, _mm256_cvtps_pd(_mm256_extractf128_ps(x, 1)));
        const __m128i l = _mm256_cvttpd_epi32(_mm256_floor_pd(low));
        const __m128i h = _mm256_cvttpd_epi32(_mm256_floor_pd(high));
        return _mm256_insertf128_si256(_mm256_castsi128_si256(l), h, 1);
    }

    // Transposes each 128-bit half: lanes 0-3 and 4-7 are two groups of four.
    static void Transpose(F r0, F r1, F r2, F r3, F* c0, F* c1, F* c2, F* c3) {
        const F t0 = _mm256_unpacklo_ps(r0, r1), t1 = _mm256_unpackhi_ps(r0, r1);
        const F t2 = _mm256_unpacklo_ps(r2, r3), t3 = _mm256_unpackhi_ps(r2, r3);
        *c0 = _mm256_castpd_ps(_mm256_unpacklo_pd(_mm256_castps_pd(t0), _mm256_castps_pd(t2)));
        *c1 = _mm256_castpd_ps(_mm256_unpackhi_pd(_mm256_castps_pd(t0), _mm256_castps_pd(t2)));
        *c2 = _mm256_castpd_ps(_mm256_unpacklo_pd(_mm256_castps_pd(t1), _mm256_castps_pd(t3)));
        *c3 = _mm256_castpd_ps(_mm256_unpackhi_pd(_mm256_castps_pd(t1), _mm256_castps_pd(t3)));
    }
    static F Pair(const float* low, const float* high) {
        return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(low)), _mm_loadu_ps(high), 1);
    }
    // Three consecutive floats of each lane's record, as x, y and z lanes.
    static void LoadColumns(const float* const* rows, F* x, F* y, F* z) {
        F unused;
        Transpose(Pair(rows[0], rows[4]), Pair(rows[1], rows[5]), Pair(rows[2], rows[6]), Pair(rows[3], rows[7]), x, y,
                  z, &unused);
    }
    // screenX, screenY, depth and clipCode are the first four words of a screen vertex.
    static void StoreScreen(ScreenVertex* v, I sx, I sy, I depth, I code) {
        F r[4];
        Transpose(AsF(sx), AsF(sy), AsF(depth), AsF(code), &r[0], &r[1], &r[2], &r[3]);
        for (int i = 0; i < 4; ++i) {
            _mm_storeu_ps(reinterpret_cast<float*>(&v[i].screenX), _mm256_castps256_ps128(r[i]));
            _mm_storeu_ps(reinterpret_cast<float*>(&v[i + 4].screenX), _mm256_extractf128_ps(r[i], 1));
        }
        for (int i = 0; i < 8; ++i) v[i].shadeKey = 0;
    }
    static void Store(int32_t* out, I v) { _mm256_store_si256(reinterpret_cast<I*>(out), v); }
};

}  // namespace

bool Avx2VertexKernelsCompiled() { return true; }
void ProjectVerticesAvx2(const MeshVertex* vertices, ScreenVertex* out, int32_t count, const ProjectionParams& params,
                         ScreenRect* rect) {
    vertex_simd::ProjectBatch<Avx2Lanes>(vertices, out, count, params, nullptr, rect);
}
void ProjectLightVerticesAvx2(const MeshVertex* vertices, ScreenVertex* out, int32_t count,
                              const ProjectionParams& params, const LightingParams& lighting, ScreenRect* rect) {
    vertex_simd::ProjectBatch<Avx2Lanes>(vertices, out, count, params, &lighting, rect);
}
void LightCornersAvx2(const int32_t* corners, int32_t count, const LightingParams& params) {
    vertex_simd::LightBatch<Avx2Lanes>(corners, count, params);
}

#else  // not compiled for AVX2: the SSE2 kernels stand in

bool Avx2VertexKernelsCompiled() { return false; }
void ProjectVerticesAvx2(const MeshVertex* vertices, ScreenVertex* out, int32_t count, const ProjectionParams& params,
                         ScreenRect* rect) {
    ProjectVerticesSse2(vertices, out, count, params, rect);
}
void LightCornersAvx2(const int32_t* corners, int32_t count, const LightingParams& params) {
    LightCornersSse2(corners, count, params);
}
void ProjectLightVerticesAvx2(const MeshVertex* vertices, ScreenVertex* out, int32_t count,
                              const ProjectionParams& params, const LightingParams& lighting, ScreenRect* rect) {
    ProjectLightVerticesSse2(vertices, out, count, params, lighting, rect);
}

#endif
