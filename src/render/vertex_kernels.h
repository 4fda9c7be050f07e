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
#include "render/screen_vertex.h"

// What the projection of one frame needs besides the vertices.
struct ProjectionParams {
    Matrix4 modelViewProjection;
    int32_t cx, cy;  // view centre in pixels
    float scale;     // pixels per clip unit, at least 1
};

// What lighting a batch of corners needs: the corners' eye-space normals come
// from normalTransform applied to the mesh vertices' normals, reversed when
// `back` is set (a back pass), and are lit with `material` under the light
// table; the results go to the screen vertices of the same indices, with
// `key` as each one's shadeKey.
struct LightingParams {
    const Matrix4* normalTransform;
    const Material* material;
    bool back;
    int32_t key;
    const MeshVertex* vertices;
    ScreenVertex* screen;
};

// Projects vertices[0..count) into out[0..count): screenX, screenY, depth,
// clipCode, shadeKey reset to 0, and `rect` widened to include every
// (screenX, screenY). A vertex outside the view volume is placed at the view
// centre, depth 16384.
using ProjectKernel = void (*)(const MeshVertex* vertices, ScreenVertex* out, int32_t count,
                               const ProjectionParams& params, ScreenRect* rect);
// Sets shade = PackColour(LightVertex(n, material)) and shadeKey = key for
// the screen vertex of every index of the list (the same index may appear
// more than once).
using LightKernel = void (*)(const int32_t* corners, int32_t count, const LightingParams& params);
// The projection, then every vertex lit as the light kernel lights the
// corners 0..count-1 (lighting.vertices and lighting.screen are `vertices`
// and `out`), in one pass over the vertices.
using ProjectLightKernel = void (*)(const MeshVertex* vertices, ScreenVertex* out, int32_t count,
                                    const ProjectionParams& params, const LightingParams& lighting, ScreenRect* rect);

// Sets FaceFront on line slots and on faces whose eye-space normal z (the
// third row of normalTransform applied to the plane's normal) is at least
// -0.05, and clears it on the others; the other bits are kept.
using ClassifyKernel = void (*)(const FacePlane* planes, FaceAttributes* attributes, int32_t count,
                                const Matrix4& normalTransform);

struct VertexKernels {
    ProjectKernel project;
    LightKernel light;
    ProjectLightKernel projectAndLight;
    ClassifyKernel classify;
};

// The kernels for an instruction-set level (SSE2 and AVX2 where they are
// compiled in, the reference otherwise). Chosen once per frame.
VertexKernels VertexKernelsFor(SimdLevel level);

// The reference kernels, and one vertex of each (the SIMD kernels' tails).
void ProjectVerticesScalar(const MeshVertex* vertices, ScreenVertex* out, int32_t count, const ProjectionParams& params,
                           ScreenRect* rect);
void LightCornersScalar(const int32_t* corners, int32_t count, const LightingParams& params);
void ProjectLightVerticesScalar(const MeshVertex* vertices, ScreenVertex* out, int32_t count,
                                const ProjectionParams& params, const LightingParams& lighting, ScreenRect* rect);
void ProjectVertex(const MeshVertex& v, ScreenVertex* out, const ProjectionParams& params, ScreenRect* rect);
void LightCorner(int32_t corner, const LightingParams& params);
void ClassifyFacesScalar(const FacePlane* planes, FaceAttributes* attributes, int32_t count,
                         const Matrix4& normalTransform);

// The SIMD kernels; each falls back to the reference where it is not
// compiled in (SimdKernelsCompiled says which are).
void ProjectVerticesSse2(const MeshVertex* vertices, ScreenVertex* out, int32_t count, const ProjectionParams& params,
                         ScreenRect* rect);
void LightCornersSse2(const int32_t* corners, int32_t count, const LightingParams& params);
void ProjectLightVerticesSse2(const MeshVertex* vertices, ScreenVertex* out, int32_t count,
                              const ProjectionParams& params, const LightingParams& lighting, ScreenRect* rect);
void ProjectVerticesAvx2(const MeshVertex* vertices, ScreenVertex* out, int32_t count, const ProjectionParams& params,
                         ScreenRect* rect);
void LightCornersAvx2(const int32_t* corners, int32_t count, const LightingParams& params);
void ProjectLightVerticesAvx2(const MeshVertex* vertices, ScreenVertex* out, int32_t count,
                              const ProjectionParams& params, const LightingParams& lighting, ScreenRect* rect);
// Four faces at a time; used by the AVX2 level too, since a face costs
// little beside its loads.
void ClassifyFacesSse2(const FacePlane* planes, FaceAttributes* attributes, int32_t count,
                       const Matrix4& normalTransform);
bool Sse2VertexKernelsCompiled();
bool Avx2VertexKernelsCompiled();
