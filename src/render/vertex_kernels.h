// The per-vertex work of a frame in batches: the orthographic projection
// with clip codes, and the lighting of a list of corners under one lighting
// key. The scalar kernels in vertex_kernels.cpp are the reference; the SSE2
// (four vertices at a time) and AVX2 (eight) kernels in the sibling files do
// the same single-precision operations in the same order for every vertex,
// without fused multiply-add, so they give the same bits.
#pragma once

#include <cstdint>

#include "core/cpu_features.h"
#include "core/math3d.h"
#include "core/mesh.h"

// What the projection of one frame needs besides the vertices.
struct ProjectionParams {
    Matrix4 modelViewProjection;
    int32_t cx, cy;  // view centre in pixels
    float scale;     // pixels per clip unit, at least 1
};

// What lighting a batch of corners needs: the corners' eye-space normals come
// from normalTransform, reversed when `back` is set (a back pass), and are
// lit with `material` under the light table; `key` is stored as each
// corner's shadeKey.
struct LightingParams {
    const Matrix4* normalTransform;
    const Material* material;
    bool back;
    int32_t key;
};

// Projects vertices[0..count): screenX, screenY, depth, clipCode, shadeKey
// reset to 0, and `rect` widened to include every (screenX, screenY). A
// vertex outside the view volume is placed at the view centre, depth 16384.
using ProjectKernel = void (*)(MeshVertex* vertices, int32_t count, const ProjectionParams& params, ScreenRect* rect);
// Sets shade = PackColour(LightVertex(n, material)) and shadeKey = key for
// every corner of the list (the same vertex may appear more than once).
using LightKernel = void (*)(MeshVertex* const* corners, int32_t count, const LightingParams& params);

struct VertexKernels {
    ProjectKernel project;
    LightKernel light;
};

// The kernels for an instruction-set level (SSE2 and AVX2 where they are
// compiled in, the reference otherwise). Chosen once per frame.
VertexKernels VertexKernelsFor(SimdLevel level);

// The reference kernels, and one vertex of each (the SIMD kernels' tails).
void ProjectVerticesScalar(MeshVertex* vertices, int32_t count, const ProjectionParams& params, ScreenRect* rect);
void LightCornersScalar(MeshVertex* const* corners, int32_t count, const LightingParams& params);
void ProjectVertex(MeshVertex* v, const ProjectionParams& params, ScreenRect* rect);
void LightCorner(MeshVertex* v, const LightingParams& params);

// The SIMD kernels; each falls back to the reference where it is not
// compiled in (SimdKernelsCompiled says which are).
void ProjectVerticesSse2(MeshVertex* vertices, int32_t count, const ProjectionParams& params, ScreenRect* rect);
void LightCornersSse2(MeshVertex* const* corners, int32_t count, const LightingParams& params);
void ProjectVerticesAvx2(MeshVertex* vertices, int32_t count, const ProjectionParams& params, ScreenRect* rect);
void LightCornersAvx2(MeshVertex* const* corners, int32_t count, const LightingParams& params);
bool Sse2VertexKernelsCompiled();
bool Avx2VertexKernelsCompiled();
