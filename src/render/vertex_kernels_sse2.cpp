// The SSE2 vertex kernels: four vertices at a time. They must give exactly
// the results of ProjectVerticesScalar and LightCornersScalar.
#include "render/vertex_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>

#include "render/vertex_kernels_simd.h"

namespace {

struct Sse2Lanes {
    using F = __m128;
    using I = __m128i;
    static constexpr int Width = 4;

    static F Set(float v) { return _mm_set1_ps(v); }
    static F Add(F a, F b) { return _mm_add_ps(a, b); }
    static F Sub(F a, F b) { return _mm_sub_ps(a, b); }
    static F Mul(F a, F b) { return _mm_mul_ps(a, b); }
    static F And(F a, F b) { return _mm_and_ps(a, b); }
    static F AndNot(F mask, F b) { return _mm_andnot_ps(mask, b); }
    static F Select(F mask, F a, F b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }
    static F CmpGt(F a, F b) { return _mm_cmpgt_ps(a, b); }
    static F CmpGe(F a, F b) { return _mm_cmpge_ps(a, b); }
    static F Negate(F a) { return _mm_xor_ps(a, _mm_set1_ps(-0.0f)); }
    static F AsF(I a) { return _mm_castsi128_ps(a); }
    static I Bits(F a) { return _mm_castps_si128(a); }
    static I Cvtt(F a) { return _mm_cvttps_epi32(a); }

    static I SetI(int32_t v) { return _mm_set1_epi32(v); }
    static I AddI(I a, I b) { return _mm_add_epi32(a, b); }
    static I SubI(I a, I b) { return _mm_sub_epi32(a, b); }
    static I AndI(I a, I b) { return _mm_and_si128(a, b); }
    static I OrI(I a, I b) { return _mm_or_si128(a, b); }
    static I AndNotI(I mask, I b) { return _mm_andnot_si128(mask, b); }
    static I SelectI(I mask, I a, I b) { return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b)); }
    static I CmpGtI(I a, I b) { return _mm_cmpgt_epi32(a, b); }
    static I CmpEqI(I a, I b) { return _mm_cmpeq_epi32(a, b); }
    static I SignMask(I a) { return _mm_srai_epi32(a, 31); }
    template <int N>
    static I ShlI(I a) {
        return _mm_slli_epi32(a, N);
    }
    static I MinI(I a, I b) { return SelectI(_mm_cmpgt_epi32(a, b), b, a); }
    static I MaxI(I a, I b) { return SelectI(_mm_cmpgt_epi32(a, b), a, b); }

    static int32_t ReduceMin(I a) {
        alignas(16) int32_t v[4];
        _mm_store_si128(reinterpret_cast<I*>(v), a);
        int32_t r = v[0];
        for (int i = 1; i < 4; ++i) r = v[i] < r ? v[i] : r;
        return r;
    }
    static int32_t ReduceMax(I a) {
        alignas(16) int32_t v[4];
        _mm_store_si128(reinterpret_cast<I*>(v), a);
        int32_t r = v[0];
        for (int i = 1; i < 4; ++i) r = v[i] > r ? v[i] : r;
        return r;
    }

    // floor of two exact double products, in the low two int32 lanes.
    static I FloorPair(__m128d v) {
        const I truncated = _mm_cvttpd_epi32(v);
        const I above = _mm_castpd_si128(_mm_cmpgt_pd(_mm_cvtepi32_pd(truncated), v));
        return _mm_add_epi32(truncated, _mm_shuffle_epi32(above, _MM_SHUFFLE(3, 3, 2, 0)));
    }
    // floor(k * x) per lane with the product taken in double precision.
    static I FloorProduct(double k, F x) {
        const __m128d factor = _mm_set1_pd(k);
        const I low = FloorPair(_mm_mul_pd(factor, _mm_cvtps_pd(x)));
        const I high = FloorPair(_mm_mul_pd(factor, _mm_cvtps_pd(_mm_movehl_ps(x, x))));
        return _mm_unpacklo_epi64(low, high);
    }

    static void Transpose(F r0, F r1, F r2, F r3, F* c0, F* c1, F* c2, F* c3) {
        const F t0 = _mm_unpacklo_ps(r0, r1), t1 = _mm_unpackhi_ps(r0, r1);
        const F t2 = _mm_unpacklo_ps(r2, r3), t3 = _mm_unpackhi_ps(r2, r3);
        *c0 = _mm_movelh_ps(t0, t2);
        *c1 = _mm_movehl_ps(t2, t0);
        *c2 = _mm_movelh_ps(t1, t3);
        *c3 = _mm_movehl_ps(t3, t1);
    }
    // Three consecutive floats of each lane's record, as x, y and z lanes.
    static void LoadColumns(const float* const* rows, F* x, F* y, F* z) {
        F unused;
        Transpose(_mm_loadu_ps(rows[0]), _mm_loadu_ps(rows[1]), _mm_loadu_ps(rows[2]), _mm_loadu_ps(rows[3]), x, y, z,
                  &unused);
    }
    // screenX, screenY, depth and clipCode are the first four words of a screen vertex.
    static void StoreScreen(ScreenVertex* v, I sx, I sy, I depth, I code) {
        F r[4];
        Transpose(AsF(sx), AsF(sy), AsF(depth), AsF(code), &r[0], &r[1], &r[2], &r[3]);
        for (int i = 0; i < 4; ++i) {
            _mm_storeu_ps(reinterpret_cast<float*>(&v[i].screenX), r[i]);
            v[i].shadeKey = 0;
        }
    }
    static void Store(int32_t* out, I v) { _mm_store_si128(reinterpret_cast<I*>(out), v); }
};

}  // namespace

bool Sse2VertexKernelsCompiled() { return true; }
void ProjectVerticesSse2(const MeshVertex* vertices, ScreenVertex* out, int32_t count, const ProjectionParams& params,
                         ScreenRect* rect) {
    vertex_simd::ProjectBatch<Sse2Lanes>(vertices, out, count, params, nullptr, rect);
}
void ProjectLightVerticesSse2(const MeshVertex* vertices, ScreenVertex* out, int32_t count,
                              const ProjectionParams& params, const LightingParams& lighting, ScreenRect* rect) {
    vertex_simd::ProjectBatch<Sse2Lanes>(vertices, out, count, params, &lighting, rect);
}
void LightCornersSse2(const int32_t* corners, int32_t count, const LightingParams& params) {
    vertex_simd::LightBatch<Sse2Lanes>(corners, count, params);
}
void ClassifyFacesSse2(const FacePlane* planes, FaceAttributes* attributes, int32_t count,
                       const Matrix4& normalTransform) {
    const float* t = normalTransform.m;
    const __m128 tx = _mm_set1_ps(t[8]), ty = _mm_set1_ps(t[9]), tz = _mm_set1_ps(t[10]);
    const __m128 limit = _mm_set1_ps(-0.05f);
    const __m128i line = _mm_set1_epi32(static_cast<int32_t>(FaceLine));
    const __m128i front = _mm_set1_epi32(static_cast<int32_t>(FaceFront));
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        // Four planes become lanes of nx, ny, nz (and d, unused). A line
        // slot's plane is read too, but its answer is overridden below.
        __m128 nx = _mm_loadu_ps(&planes[i].nx), ny = _mm_loadu_ps(&planes[i + 1].nx);
        __m128 nz = _mm_loadu_ps(&planes[i + 2].nx), d = _mm_loadu_ps(&planes[i + 3].nx);
        _MM_TRANSPOSE4_PS(nx, ny, nz, d);
        // The reference's sum, in its order: (x + y) + z.
        const __m128 z = _mm_add_ps(_mm_add_ps(_mm_mul_ps(tx, nx), _mm_mul_ps(ty, ny)), _mm_mul_ps(tz, nz));
        const __m128i facing = _mm_castps_si128(_mm_cmpge_ps(z, limit));  // false for not-a-number, as >=
        __m128i* at = reinterpret_cast<__m128i*>(attributes + i);
        const __m128i a = _mm_loadu_si128(at);
        const __m128i isLine = _mm_cmpeq_epi32(_mm_and_si128(a, line), line);
        const __m128i set = _mm_and_si128(_mm_or_si128(facing, isLine), front);
        _mm_storeu_si128(at, _mm_or_si128(_mm_andnot_si128(front, a), set));
    }
    ClassifyFacesScalar(planes + i, attributes + i, count - i, normalTransform);
}

#else  // no SSE2: the reference stands in

bool Sse2VertexKernelsCompiled() { return false; }
void ProjectVerticesSse2(const MeshVertex* vertices, ScreenVertex* out, int32_t count, const ProjectionParams& params,
                         ScreenRect* rect) {
    ProjectVerticesScalar(vertices, out, count, params, rect);
}
void LightCornersSse2(const int32_t* corners, int32_t count, const LightingParams& params) {
    LightCornersScalar(corners, count, params);
}
void ClassifyFacesSse2(const FacePlane* planes, FaceAttributes* attributes, int32_t count,
                       const Matrix4& normalTransform) {
    ClassifyFacesScalar(planes, attributes, count, normalTransform);
}
void ProjectLightVerticesSse2(const MeshVertex* vertices, ScreenVertex* out, int32_t count,
                              const ProjectionParams& params, const LightingParams& lighting, ScreenRect* rect) {
    ProjectLightVerticesScalar(vertices, out, count, params, lighting, rect);
}

#endif
