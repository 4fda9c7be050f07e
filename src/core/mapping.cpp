// Spherical texture coordinates from vertex normals, and face inversion.
#include "core/mapping.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/compiler.h"
#include "core/memory.h"
#include "core/platform.h"

namespace {

// Texture coordinates are kept as integers 0..32767 while the seam is fixed.
constexpr float TexScale = 32767.0f;
constexpr float InverseTexScale = 1.0f / 32767.0f;  // 0.000030518509
constexpr int32_t SeamRange = 0x8000;

// Clamps to 0..1; a NaN (from a degenerate normal) becomes 0 rather than an
// undefined float-to-integer conversion.
float UnitClamp(float value) {
    if (!(value >= 0.0f)) return 0.0f;
    if (value > 1.0f) return 1.0f;
    return value;
}

// The normal's y clamped to -1..1 for acos (a NaN stays NaN).
float ClampedHeight(const Vec3& normal) {
    float y = normal.y;
    if (y > 1.0f) y = 1.0f;
    if (y < -1.0f) y = -1.0f;
    return y;
}

// A texel from its angle: u's rises with the angle around the y axis, v's
// falls with the angle from the north pole. Every step (a product with a
// positive constant, a sum, the clamp, the truncation) keeps the order of
// its inputs, so an angle between two others gets a texel between theirs.
int32_t TexelU(float angle) { return static_cast<int32_t>(UnitClamp(angle * 0.15915497f + 0.5f) * TexScale); }
int32_t TexelV(float angle) { return static_cast<int32_t>(UnitClamp(1.0f - angle * 0.31830995f) * TexScale); }

// atan(t) for t in 0..1, within 1.6e-9: a fit in t^2 at Chebyshev points,
// checked against the long double atan at 2*10^7 points. Its powers are
// summed in pairs (Estrin's order), which shortens the chain of dependent
// steps to a third of Horner's.
QUILLMERE_ALWAYS_INLINE double AtanUnit(double t) {
    const double s = t * t, s2 = s * s, s4 = s2 * s2, s8 = s4 * s4;
    const double c01 = 0.99999999716054544 - 0.33333276291982561 * s;
    const double c23 = 0.19998075281148972 - 0.14260016082823365 * s;
    const double c45 = 0.10932341501314961 - 0.083497249683339145 * s;
    const double c67 = 0.057089555930825507 - 0.030351864786269788 * s;
    const double c89 = 0.010487649255198229 - 0.0017011700641216265 * s;
    return t * ((c01 + c23 * s2) + (c45 + c67 * s2) * s4 + c89 * s8);
}

// +1 when `negative` is false, -1 when it is true, without a branch.
QUILLMERE_ALWAYS_INLINE double SignFactor(bool negative) {
    return static_cast<double>(1 - 2 * static_cast<int>(negative));
}

// A float's magnitude and sign from its bits: the library's fabs and signbit
// go through the x87 unit and memory in the 32-bit program.
QUILLMERE_ALWAYS_INLINE double Magnitude(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    bits &= 0x7FFFFFFFu;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
QUILLMERE_ALWAYS_INLINE bool IsNegative(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return (bits >> 31) != 0;
}

// atan2 within 2e-9 of the point (x, y) given as the magnitudes ax, ay (not
// both zero, finite) and the signs, without a branch (which octant or quadrant
// a normal lies in is a coin toss to the processor): the smaller magnitude
// over the larger is in 0..1, and its angle is turned into the octant and
// quadrant by factors of +1 or -1.
QUILLMERE_ALWAYS_INLINE double QuickAtan2(double ay, double ax, bool yNegative, bool xNegative) {
    const double t = (ax < ay ? ax : ay) / (ax < ay ? ay : ax);
    const double octant = AtanUnit(t);
    const double steep = SignFactor(ax < ay);  // -1: the angle is pi/2 less this one
    const double quarter = (1.0 - steep) * 0.78539816339744828 + steep * octant;
    const double right = SignFactor(xNegative);  // -1: the angle is pi less this one
    return SignFactor(yNegative) * ((1.0 - right) * 1.5707963267948966 + right * quarter);
}

// How far the library's float atan2 and acos may lie from the quick angle:
// two units in the last place of a float near pi, and the quick angle's own
// error, with room to spare.
constexpr double AngleSlack = 6e-7;

// The texel the library's angle would give, when every angle within the
// slack of `quick` gives the same one; -1 when the answer is the library's
// to give.
int32_t TexelWithin(double quick, int32_t (*texel)(float)) {
    const int32_t low = texel(static_cast<float>(quick - AngleSlack));
    return low == texel(static_cast<float>(quick + AngleSlack)) ? low : -1;
}

}  // namespace

SphereTexel LibrarySphereTexelOf(const Vec3& normal) {
    const float y = ClampedHeight(normal);
    const bool flat = normal.x == 0.0f && normal.z == 0.0f;
    return SphereTexel{TexelU(flat ? 0.0f : std::atan2(-normal.z, normal.x)), TexelV(std::acos(y))};
}

// The library's trigonometry is the costliest part of a load (in the 32-bit
// program most of all, where it runs on the x87 unit), yet only the integer
// texel of each angle is kept: a quick angle settles almost every texel, and
// the library decides the few whose angle lies too close to a texel's edge.
SphereTexel SphereTexelOf(const Vec3& normal) {
    const float y = ClampedHeight(normal);
    if (!(std::isfinite(normal.x) && std::isfinite(normal.z) && y == y)) return LibrarySphereTexelOf(normal);
    const float x = normal.x, z = -normal.z;
    int32_t u = TexelU(0.0f);
    if (!(x == 0.0f && z == 0.0f)) {
        u = TexelWithin(QuickAtan2(Magnitude(z), Magnitude(x), IsNegative(z), IsNegative(x)), TexelU);
        if (u < 0) u = TexelU(std::atan2(z, x));
    }
    const double yd = y;
    int32_t v = TexelWithin(QuickAtan2(std::sqrt((1.0 - yd) * (1.0 + yd)), Magnitude(y), false, IsNegative(y)), TexelV);
    if (v < 0) v = TexelV(std::acos(y));
    return SphereTexel{u, v};
}

#if defined(__SSE2__)
namespace {

// AtanUnit on both lanes, the same operations in the same order.
QUILLMERE_ALWAYS_INLINE __m128d AtanUnitPair(__m128d t) {
    const auto term = [](double a, double b, __m128d s) {
        return _mm_sub_pd(_mm_set1_pd(a), _mm_mul_pd(_mm_set1_pd(b), s));
    };
    const __m128d s = _mm_mul_pd(t, t), s2 = _mm_mul_pd(s, s), s4 = _mm_mul_pd(s2, s2), s8 = _mm_mul_pd(s4, s4);
    const __m128d c01 = term(0.99999999716054544, 0.33333276291982561, s);
    const __m128d c23 = term(0.19998075281148972, 0.14260016082823365, s);
    const __m128d c45 = term(0.10932341501314961, 0.083497249683339145, s);
    const __m128d c67 = term(0.057089555930825507, 0.030351864786269788, s);
    const __m128d c89 = term(0.010487649255198229, 0.0017011700641216265, s);
    const __m128d low = _mm_add_pd(c01, _mm_mul_pd(c23, s2)), high = _mm_add_pd(c45, _mm_mul_pd(c67, s2));
    return _mm_mul_pd(t, _mm_add_pd(_mm_add_pd(low, _mm_mul_pd(high, s4)), _mm_mul_pd(c89, s8)));
}

// QuickAtan2 on both lanes; the signs come as values whose sign bit is the
// one asked for, and become the same factors of +1 or -1.
QUILLMERE_ALWAYS_INLINE __m128d QuickAtan2Pair(__m128d ay, __m128d ax, __m128d ySign, __m128d xSign) {
    const __m128d one = _mm_set1_pd(1.0), signBit = _mm_set1_pd(-0.0);
    const __m128d t = _mm_div_pd(_mm_min_pd(ax, ay), _mm_max_pd(ax, ay));
    const __m128d octant = AtanUnitPair(t);
    const __m128d steep = _mm_sub_pd(one, _mm_and_pd(_mm_cmplt_pd(ax, ay), _mm_set1_pd(2.0)));
    const __m128d quarter =
        _mm_add_pd(_mm_mul_pd(_mm_sub_pd(one, steep), _mm_set1_pd(0.78539816339744828)), _mm_mul_pd(steep, octant));
    const __m128d right = _mm_or_pd(one, _mm_and_pd(xSign, signBit));
    const __m128d up = _mm_or_pd(one, _mm_and_pd(ySign, signBit));
    return _mm_mul_pd(up, _mm_add_pd(_mm_mul_pd(_mm_sub_pd(one, right), _mm_set1_pd(1.5707963267948966)),
                                     _mm_mul_pd(right, quarter)));
}

// The texels of two finite normals' slack ends: u's lanes (a, b, then the
// same at the upper end) in `u`, v's in `v`.
void SlackEndTexels(__m128d angleLow, __m128d angleHigh, float factor, float offset, int32_t* texels) {
    const __m128 ends = _mm_movelh_ps(_mm_cvtpd_ps(angleLow), _mm_cvtpd_ps(angleHigh));
    const __m128 scaled = _mm_add_ps(_mm_mul_ps(ends, _mm_set1_ps(factor)), _mm_set1_ps(offset));
    // max with 0 first: a NaN or a negative value becomes 0, as UnitClamp
    // makes it (a -0 becomes +0, which truncates to the same 0).
    const __m128 clamped = _mm_min_ps(_mm_max_ps(scaled, _mm_setzero_ps()), _mm_set1_ps(1.0f));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(texels), _mm_cvttps_epi32(_mm_mul_ps(clamped, _mm_set1_ps(TexScale))));
}

// SphereTexelOf for two normals whose x, z and clamped y are finite, side by
// side in the lanes: the same operations in the same order, so the same
// texels. 1 - a * c is -(a * c) + 1 to the bit, so v's texels take the
// negated factor and the same sum as u's.
void SphereTexelPair(const Vec3& a, const Vec3& b, SphereTexel* out) {
    const __m128d absMask = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFFll));
    const __m128d x = _mm_set_pd(b.x, a.x), z = _mm_set_pd(-b.z, -a.z);
    const __m128d y = _mm_set_pd(ClampedHeight(b), ClampedHeight(a));
    const __m128d one = _mm_set1_pd(1.0), slack = _mm_set1_pd(AngleSlack);
    const __m128d sine = _mm_sqrt_pd(_mm_mul_pd(_mm_sub_pd(one, y), _mm_add_pd(one, y)));
    const __m128d u = QuickAtan2Pair(_mm_and_pd(z, absMask), _mm_and_pd(x, absMask), z, x);
    const __m128d v = QuickAtan2Pair(sine, _mm_and_pd(y, absMask), _mm_setzero_pd(), y);
    int32_t us[4], vs[4];
    SlackEndTexels(_mm_sub_pd(u, slack), _mm_add_pd(u, slack), 0.15915497f, 0.5f, us);
    SlackEndTexels(_mm_sub_pd(v, slack), _mm_add_pd(v, slack), -0.31830995f, 1.0f, vs);
    const Vec3* normals[2] = {&a, &b};
    for (int k = 0; k < 2; ++k) {
        const Vec3& n = *normals[k];
        int32_t texelU = TexelU(0.0f);
        if (!(n.x == 0.0f && n.z == 0.0f)) texelU = us[k] == us[k + 2] ? us[k] : TexelU(std::atan2(-n.z, n.x));
        const int32_t texelV = vs[k] == vs[k + 2] ? vs[k] : TexelV(std::acos(ClampedHeight(n)));
        out[k] = SphereTexel{texelU, texelV};
    }
}

bool IsQuickNormal(const Vec3& n) {
    const float y = ClampedHeight(n);
    return std::isfinite(n.x) && std::isfinite(n.z) && y == y;
}

}  // namespace

void SphereTexelsSse2(const MeshVertex* vertices, int32_t count, SphereTexel* texels) {
    for (int32_t i = 0; i < count; i += 2) {
        const Vec3& a = vertices[i].normal;
        const Vec3& b = vertices[i + 1 < count ? i + 1 : i].normal;
        SphereTexel pair[2];
        if (IsQuickNormal(a) && IsQuickNormal(b)) {
            SphereTexelPair(a, b, pair);
        } else {
            pair[0] = SphereTexelOf(a);
            pair[1] = SphereTexelOf(b);
        }
        texels[i] = pair[0];
        if (i + 1 < count) texels[i + 1] = pair[1];
    }
}
#endif

void SphereTexelsScalar(const MeshVertex* vertices, int32_t count, SphereTexel* texels) {
    for (int32_t i = 0; i < count; ++i) texels[i] = SphereTexelOf(vertices[i].normal);
}

SphereTexelsFunction SphereTexelsFor(SimdLevel level) {
#if defined(__SSE2__)
    if (level >= SimdSse2) return SphereTexelsSse2;
#else
    (void)level;
#endif
    return SphereTexelsScalar;
}

int MapSpherical(Mesh* mesh) {
    SphereTexel* texels = AllocateSphereTexels(mesh);
    if (!texels) return 0;
    SphereTexelsFor(ActiveSimdLevel())(mesh->vertices, mesh->vertexCount, texels);
    const int ok = MapSphericalTexels(mesh, texels);
    ReleaseBytes(texels);
    return ok;
}

SphereTexel* AllocateSphereTexels(const Mesh* mesh) {
    size_t bytes = 0;
    SphereTexel* texels = nullptr;
    if (ArrayByteSize(mesh->vertexCount, sizeof(SphereTexel), &bytes)) {
        texels = static_cast<SphereTexel*>(AllocateBytes(bytes));
    }
    if (!texels) ShowMessageBox(OwnerNone, "Out of memory", "Error", MessageIconError);
    return texels;
}

int MapSphericalTexels(Mesh* mesh, const SphereTexel* texels) {
    // The new table is in place before the old one goes, so a failure here
    // leaves the mesh exactly as it was.
    const int64_t capacity = 4 * static_cast<int64_t>(mesh->faceCount);
    size_t coordBytes = 0;
    TexCoord* coords = nullptr;
    if (ArrayByteSize(capacity, sizeof(TexCoord), &coordBytes)) {
        coords = static_cast<TexCoord*>(AllocateBytes(coordBytes));
    }
    if (!coords) return 0;

    int32_t n = 0;
    for (int slot = 0; slot < mesh->faceCount; ++slot) {
        const int32_t* corners = mesh->faceVertexIndices + 4 * slot;
        int32_t* texIndices = mesh->faceTexIndices + 4 * slot;
        int32_t u[4], v[4];
        for (int c = 0; c < 4; ++c) {
            const bool used = corners[c] >= 0 && corners[c] < mesh->vertexCount;
            u[c] = used ? texels[corners[c]].u : 0;
            v[c] = used ? texels[corners[c]].v : 0;
        }
        FixSeam(&u[0], &u[1], &u[2], SeamRange);
        for (int c = 0; c < 4; ++c) {
            if (corners[c] >= 0) {
                coords[n] =
                    TexCoord{static_cast<float>(u[c]) * InverseTexScale, static_cast<float>(v[c]) * InverseTexScale};
                texIndices[c] = n;
                ++n;
            } else {
                texIndices[c] = 0;
            }
        }
    }

    ReleaseBytes(mesh->texCoords);
    mesh->texCoords = coords;
    mesh->texCoordCapacity = static_cast<int32_t>(capacity);
    mesh->texCoordCount = n;
    return 1;
}

void FixSeam(int32_t* p, int32_t* q, int32_t* r, int32_t range) {
    // Compared in 64 bits and added with 32-bit wrapping, so no input
    // overflows; for the mapping's values 0..32767 nothing wraps.
    const int64_t half = range / 2;
    int64_t largest = *p;
    if (*q > largest) largest = *q;
    if (*r > largest) largest = *r;
    int32_t* values[3] = {p, q, r};
    for (int32_t* value : values) {
        if (largest - *value > half) {
            *value = static_cast<int32_t>(static_cast<uint32_t>(*value) + static_cast<uint32_t>(range));
        }
    }
}

void InvertMesh(Mesh* mesh) {
    if (!mesh) return;
    for (int slot = 0; slot < mesh->faceCount; ++slot) {
        // Strands keep their point order: the continuation slots of a strand
        // start with the last point of the slot before.
        if (mesh->faceAttributes[slot] & FaceLine) continue;
        int32_t* vertices = mesh->faceVertexIndices + 4 * slot;
        int32_t* texIndices = mesh->faceTexIndices + 4 * slot;
        if (vertices[3] == -1) {
            std::swap(vertices[0], vertices[1]);
            std::swap(texIndices[0], texIndices[1]);
        } else {
            std::swap(vertices[0], vertices[3]);
            std::swap(vertices[1], vertices[2]);
            std::swap(texIndices[0], texIndices[3]);
            std::swap(texIndices[1], texIndices[2]);
        }
    }
    ComputeNormals(mesh);
}
