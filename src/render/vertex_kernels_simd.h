// The vertex kernels written once over a lane type L: four SSE2 lanes or
// eight AVX2 lanes, one vertex per lane. Included only by
// vertex_kernels_sse2.cpp and vertex_kernels_avx2.cpp, each with its own L
// in an anonymous namespace. Every lane does the operations of the reference
// (ProjectVertex and LightCorner in vertex_kernels.cpp, LightVertex and
// PackColour in lighting.cpp) in the same order, and a branch of the
// reference becomes a select of both results, so the bits agree; the tail
// of a batch that does not fill the lanes goes through the reference.
#pragma once

#include <cstdint>

#include "core/lights.h"
#include "render/lighting.h"
#include "render/vertex_kernels.h"

namespace vertex_simd {

// ((e0 x + e1 y) + e2 z) + e3: one row of TransformPoint.
template <class L>
typename L::F TransformRow(const float* e, typename L::F x, typename L::F y, typename L::F z) {
    return L::Add(L::Add(L::Add(L::Mul(L::Set(e[0]), x), L::Mul(L::Set(e[1]), y)), L::Mul(L::Set(e[2]), z)),
                  L::Set(e[3]));
}

// The clip code's pair for one coordinate, from its bit pattern: `low` when
// it is below -1, 2 * `low` when above 1 (infinities and NaN are outside).
template <class L>
typename L::I ClipPair(typename L::F v, int32_t low) {
    const typename L::I bits = L::Bits(v);
    const typename L::I outside = L::CmpGtI(L::AndI(bits, L::SetI(0x7FFFFFFF)), L::SetI(0x3F800000));
    const typename L::I negative = L::SignMask(bits);
    return L::OrI(L::AndI(L::AndI(outside, negative), L::SetI(low)),
                  L::AndNotI(negative, L::AndI(outside, L::SetI(2 * low))));
}

// Which records a batch's lanes take: those of a list of corners, or a run
// of consecutive ones.
struct Listed {
    const int32_t* corners;
    int32_t operator()(int lane) const { return corners[lane]; }
};
struct InRun {
    int32_t operator()(int lane) const { return lane; }
};

// One Vec3 field (position or normal) of the lanes' records, as x, y and z
// lanes.
template <class L, class Index>
void LoadField(const MeshVertex* v, Vec3 MeshVertex::*field, Index at, typename L::F* x, typename L::F* y,
               typename L::F* z) {
    const float* rows[L::Width];
    for (int i = 0; i < L::Width; ++i) rows[i] = &(v[at(i)].*field).x;
    L::LoadColumns(rows, x, y, z);
}

// Each lane's shade and the key into the screen vertex of its record.
template <class L, class Index>
void StoreShades(ScreenVertex* screen, Index at, typename L::I shade, int32_t key) {
    alignas(32) int32_t v[L::Width];
    L::Store(v, shade);
    for (int i = 0; i < L::Width; ++i) {
        screen[at(i)].shade = v[i];
        screen[at(i)].shadeKey = key;
    }
}

// ScaledPower: k x^n by square and multiply over the exponent's bits, 0
// where x has its sign bit set or is NaN.
template <class L>
typename L::F ScaledPowerLanes(typename L::F x, int32_t n, float k) {
    const uint32_t exponent = static_cast<uint32_t>(n);
    typename L::F r = L::Set(k);
    if (exponent & 1) r = L::Mul(r, x);
    if (exponent > 1) {
        typename L::F p = L::Mul(x, x);
        for (uint64_t bit = 2; bit <= exponent; bit <<= 1) {
            if (exponent & bit) r = L::Mul(r, p);
            p = L::Mul(p, p);
        }
    }
    const typename L::I bits = L::Bits(x);
    const typename L::I nan = L::CmpGtI(L::AndI(bits, L::SetI(0x7FFFFFFF)), L::SetI(0x7F800000));
    return L::AndNot(L::AsF(L::OrI(L::SignMask(bits), nan)), r);
}

// PackChannel: 0 below 0 and for NaN, 255 from 1 up, floor(256 v) between.
template <class L>
typename L::I PackChannelLanes(typename L::F v) {
    const typename L::I scaled = L::Cvtt(L::Mul(L::Set(256.0f), v));
    const typename L::I atLeastZero = L::Bits(L::CmpGe(v, L::Set(0.0f)));
    const typename L::I atLeastOne = L::Bits(L::CmpGe(v, L::Set(1.0f)));
    return L::SelectI(atLeastOne, L::SetI(255), L::AndI(atLeastZero, scaled));
}

// The colour sums of LightVertex, one light at a time.
template <class L>
struct LaneColour {
    typename L::F red, green, blue;
};

template <class L>
void AddLight(const Light& light, const Material& material, float share, typename L::F nx, typename L::F ny,
              typename L::F nz, LaneColour<L>* colour) {
    using F = typename L::F;
    const Vec3& d = light.direction;
    const F c = L::Add(L::Add(L::Mul(L::Set(d.x), nx), L::Mul(L::Set(d.y), ny)), L::Mul(L::Set(d.z), nz));
    const F halfLambert = L::Add(L::Set(1.0f), c);
    const F w = L::Mul(L::Mul(halfLambert, halfLambert), L::Set(0.25f));
    const F kd = L::Mul(ScaledPowerLanes<L>(w, material.diffuseExponent, material.diffuseLevel), L::Set(share));
    F sumR = L::Mul(kd, L::Set(material.diffuse[0]));
    F sumG = L::Mul(kd, L::Set(material.diffuse[1]));
    F sumB = L::Mul(kd, L::Set(material.diffuse[2]));
    const F twoC = L::Mul(L::Set(2.0f), c);
    const F mx = L::Sub(L::Mul(twoC, nx), L::Set(d.x));
    const F my = L::Sub(L::Mul(twoC, ny), L::Set(d.y));
    const F mz = L::Sub(L::Mul(twoC, nz), L::Set(d.z));
    const F s = L::Add(L::Add(L::Mul(mx, L::Set(0.0f)), L::Mul(my, L::Set(0.0f))), L::Mul(mz, L::Set(1.0f)));
    const F toViewer = L::CmpGt(s, L::Set(0.0f));
    const F ks = ScaledPowerLanes<L>(s, material.specularExponent, material.specularLevel);
    sumR = L::Select(toViewer, L::Add(sumR, L::Mul(ks, L::Set(material.specular[0]))), sumR);
    sumG = L::Select(toViewer, L::Add(sumG, L::Mul(ks, L::Set(material.specular[1]))), sumG);
    sumB = L::Select(toViewer, L::Add(sumB, L::Mul(ks, L::Set(material.specular[2]))), sumB);
    colour->red = L::Add(colour->red, L::Mul(sumR, L::Set(light.colour[0])));
    colour->green = L::Add(colour->green, L::Mul(sumG, L::Set(light.colour[1])));
    colour->blue = L::Add(colour->blue, L::Mul(sumB, L::Set(light.colour[2])));
}

// What lighting needs per batch: the material's ambient base and coverage.
template <class L>
struct LaneLighting {
    MaterialBase base;
    typename L::I coverage;
};

template <class L>
LaneLighting<L> StartLighting(const LightingParams& params) {
    const MaterialBase base = MaterialLightBase(*params.material);
    return LaneLighting<L>{base, L::SetI(static_cast<int32_t>(PackChannel(base.coverage) << 24))};
}

// The packed shades of the lanes' mesh normals (x, y, z), as LightCorner.
template <class L>
typename L::I ShadeLanes(const LightingParams& params, const LaneLighting<L>& light, typename L::F x, typename L::F y,
                         typename L::F z) {
    using F = typename L::F;
    const float* t = params.normalTransform->m;
    F nx = TransformRow<L>(t, x, y, z), ny = TransformRow<L>(t + 4, x, y, z), nz = TransformRow<L>(t + 8, x, y, z);
    if (params.back) {
        nx = L::Negate(nx);
        ny = L::Negate(ny);
        nz = L::Negate(nz);
    }
    const MaterialBase& base = light.base;
    LaneColour<L> colour{L::Set(base.red), L::Set(base.green), L::Set(base.blue)};
    for (const Light& l : lights) {
        if (l.enabled) AddLight<L>(l, *params.material, base.share, nx, ny, nz, &colour);
    }
    return L::OrI(L::OrI(PackChannelLanes<L>(colour.blue), L::template ShlI<8>(PackChannelLanes<L>(colour.green))),
                  L::OrI(L::template ShlI<16>(PackChannelLanes<L>(colour.red)), light.coverage));
}

template <class L>
void LightBatch(const int32_t* corners, int32_t count, const LightingParams& params) {
    using F = typename L::F;
    const LaneLighting<L> light = StartLighting<L>(params);
    int32_t i = 0;
    for (; i + L::Width <= count; i += L::Width) {
        F x, y, z;
        LoadField<L>(params.vertices, &MeshVertex::normal, Listed{corners + i}, &x, &y, &z);
        StoreShades<L>(params.screen, Listed{corners + i}, ShadeLanes<L>(params, light, x, y, z), params.key);
    }
    for (; i < count; ++i) LightCorner(corners[i], params);
}

// Projects as ProjectVerticesScalar does and, when `lighting` is given,
// lights each vertex under it as LightCornersScalar would (its vertices and
// screen being `vertices` and `out`): the normals sit in the records the
// projection reads anyway.
template <class L>
void ProjectBatch(const MeshVertex* vertices, ScreenVertex* out, int32_t count, const ProjectionParams& params,
                  const LightingParams* lighting, ScreenRect* rect) {
    using F = typename L::F;
    using I = typename L::I;
    const float* m = params.modelViewProjection.m;
    const double scale = static_cast<double>(params.scale);
    I minX = L::SetI(rect->minX), minY = L::SetI(rect->minY);
    I maxX = L::SetI(rect->maxX), maxY = L::SetI(rect->maxY);
    const LaneLighting<L> light = lighting ? StartLighting<L>(*lighting) : LaneLighting<L>{};
    int32_t i = 0;
    for (; i + L::Width <= count; i += L::Width) {
        // The vertices stream through once: ask for the lines ahead early.
        if (i + 5 * L::Width <= count) {
            for (int k = 0; k < L::Width; ++k) __builtin_prefetch(vertices + i + 4 * L::Width + k);
        }
        F x, y, z;
        LoadField<L>(vertices + i, &MeshVertex::position, InRun{}, &x, &y, &z);
        F px = TransformRow<L>(m, x, y, z), py = TransformRow<L>(m + 4, x, y, z), pz = TransformRow<L>(m + 8, x, y, z);
        const I code = L::OrI(L::OrI(ClipPair<L>(px, 0x01), ClipPair<L>(py, 0x04)), ClipPair<L>(pz, 0x10));
        // Outside the volume: the point becomes (0, 0, 0).
        const F inside = L::AsF(L::CmpEqI(code, L::SetI(0)));
        px = L::And(px, inside);
        py = L::And(py, inside);
        pz = L::And(pz, inside);
        const I sx = L::AddI(L::SetI(params.cx), L::FloorProduct(scale, px));
        const I sy = L::SubI(L::SetI(params.cy), L::FloorProduct(scale, py));
        const I depth = L::FloorProduct(16384.0, L::Sub(L::Set(1.0f), pz));
        L::StoreScreen(out + i, sx, sy, depth, code);
        if (lighting) {
            F nx, ny, nz;
            LoadField<L>(vertices + i, &MeshVertex::normal, InRun{}, &nx, &ny, &nz);
            StoreShades<L>(out + i, InRun{}, ShadeLanes<L>(*lighting, light, nx, ny, nz), lighting->key);
        }
        minX = L::MinI(minX, sx), minY = L::MinI(minY, sy);
        maxX = L::MaxI(maxX, sx), maxY = L::MaxI(maxY, sy);
    }
    rect->minX = L::ReduceMin(minX), rect->minY = L::ReduceMin(minY);
    rect->maxX = L::ReduceMax(maxX), rect->maxY = L::ReduceMax(maxY);
    for (; i < count; ++i) {
        ProjectVertex(vertices[i], &out[i], params, rect);
        if (lighting) LightCorner(i, *lighting);
    }
}

}  // namespace vertex_simd
