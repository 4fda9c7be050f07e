// Spherical texture coordinates for meshes that arrive without any, and face
// inversion.
#pragma once

#include <cstdint>

#include "core/cpu_features.h"
#include "core/mesh.h"

// Replaces the texture coordinates with ones derived from the vertex normals
// (one per used corner). Allocates the new table before releasing the old
// one, so a failure leaves the mesh as it was. Returns 1 on success, 0 when
// storage cannot be had (after showing "Out of memory" when even the
// per-vertex table cannot). A corner index past the vertices is never used
// to read the table, so a damaged mesh cannot send it outside.
int MapSpherical(Mesh* mesh);
// A normal's place on the texture, 0..32767 each way: u around the y axis
// (from the C library's float atan2), v from the south pole up (its acos).
struct SphereTexel {
    int32_t u, v;
};
SphereTexel SphereTexelOf(const Vec3& normal);
// The texels of `count` vertices' normals into `texels`: SphereTexelOf one
// by one, or the same texels two at a time in the vector unit, where the
// build has SSE2 (every x86 target of the program); and the choice.
using SphereTexelsFunction = void (*)(const MeshVertex* vertices, int32_t count, SphereTexel* texels);
void SphereTexelsScalar(const MeshVertex* vertices, int32_t count, SphereTexel* texels);
void SphereTexelsSse2(const MeshVertex* vertices, int32_t count, SphereTexel* texels);
SphereTexelsFunction SphereTexelsFor(SimdLevel level);
// The same texel straight from the C library's angles, which SphereTexelOf
// always gives but computes faster.
SphereTexel LibrarySphereTexelOf(const Vec3& normal);
// The second half of MapSpherical, for a caller that made the texel of
// every vertex itself (`texels`, vertexCount of them): 0 when the new table
// cannot be had, with the mesh as it was and nothing shown.
int MapSphericalTexels(Mesh* mesh, const SphereTexel* texels);
// The per-vertex table of the first half, vertexCount texels to release
// with ReleaseBytes; null after showing "Out of memory".
SphereTexel* AllocateSphereTexels(const Mesh* mesh);
// Moves values that lie more than range/2 below the largest of the three
// across the u seam by adding range.
void FixSeam(int32_t* p, int32_t* q, int32_t* r, int32_t range);
// Reverses the corner order of every polygon slot and recomputes normals;
// line slots keep their order. Null is ignored.
void InvertMesh(Mesh* mesh);
