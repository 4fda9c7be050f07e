// The reference vertex kernels, written to be read, and the choice of kernels
// by instruction-set level.
#include "render/vertex_kernels.h"

#include <cmath>

#include "render/face_passes.h"
#include "render/lighting.h"

namespace {

// floor(a * b) for the projection: the product of two singles is exact in
// double precision, so flooring it equals rounding it down to single
// precision first and flooring that.
int32_t FloorProduct(float a, float b) {
    return static_cast<int32_t>(std::floor(static_cast<double>(a) * static_cast<double>(b)));
}

}  // namespace

void ProjectVertex(const MeshVertex& vertex, ScreenVertex* v, const ProjectionParams& params, ScreenRect* rect) {
    Vec3 p;
    TransformPoint(&p, params.modelViewProjection, vertex.position);
    v->clipCode = ClipCode(p.x, p.y, p.z);
    if (v->clipCode != 0) p = Vec3{0.0f, 0.0f, 0.0f};
    v->screenX = params.cx + FloorProduct(params.scale, p.x);
    v->screenY = params.cy - FloorProduct(params.scale, p.y);
    v->depth = FloorProduct(1.0f - p.z, 16384.0f);
    v->shadeKey = 0;
    if (v->screenX < rect->minX) rect->minX = v->screenX;
    if (v->screenY < rect->minY) rect->minY = v->screenY;
    if (v->screenX > rect->maxX) rect->maxX = v->screenX;
    if (v->screenY > rect->maxY) rect->maxY = v->screenY;
}

void LightCorner(int32_t corner, const LightingParams& params) {
    Vec3 n;
    TransformPoint(&n, *params.normalTransform, params.vertices[corner].normal);
    ScreenVertex* v = &params.screen[corner];
    if (params.back) n = Vec3{-n.x, -n.y, -n.z};
    v->shade = static_cast<int32_t>(PackColour(LightVertex(n, *params.material)));
    v->shadeKey = params.key;
}

void ProjectVerticesScalar(const MeshVertex* vertices, ScreenVertex* out, int32_t count, const ProjectionParams& params,
                           ScreenRect* rect) {
    for (int32_t i = 0; i < count; ++i) ProjectVertex(vertices[i], &out[i], params, rect);
}

void LightCornersScalar(const int32_t* corners, int32_t count, const LightingParams& params) {
    for (int32_t i = 0; i < count; ++i) LightCorner(corners[i], params);
}

void ProjectLightVerticesScalar(const MeshVertex* vertices, ScreenVertex* out, int32_t count,
                                const ProjectionParams& params, const LightingParams& lighting, ScreenRect* rect) {
    for (int32_t i = 0; i < count; ++i) {
        ProjectVertex(vertices[i], &out[i], params, rect);
        LightCorner(i, lighting);
    }
}

void ClassifyFacesScalar(const FacePlane* planes, FaceAttributes* attributes, int32_t count,
                         const Matrix4& normalTransform) {
    const float* t = normalTransform.m;
    for (int32_t i = 0; i < count; ++i) {
        FaceAttributes& a = attributes[i];
        if (a & FaceLine) {
            a |= FaceFront;
            continue;
        }
        const FacePlane& plane = planes[i];
        const float nz = t[8] * plane.nx + t[9] * plane.ny + t[10] * plane.nz;
        // Faces turned slightly away still count as front.
        if (nz >= -0.05f) {
            a |= FaceFront;
        } else {
            a &= ~FaceFront;
        }
    }
}

VertexKernels VertexKernelsFor(SimdLevel level) {
    if (level >= SimdAvx2 && Avx2VertexKernelsCompiled()) {
        return VertexKernels{ProjectVerticesAvx2, LightCornersAvx2, ProjectLightVerticesAvx2, ClassifyFacesSse2};
    }
    if (level >= SimdSse2 && Sse2VertexKernelsCompiled()) {
        return VertexKernels{ProjectVerticesSse2, LightCornersSse2, ProjectLightVerticesSse2, ClassifyFacesSse2};
    }
    return VertexKernels{ProjectVerticesScalar, LightCornersScalar, ProjectLightVerticesScalar, ClassifyFacesScalar};
}
