#include "core/loaded_mesh.h"

#include "core/mapping.h"
#include "core/math3d.h"
#include "core/memory.h"

namespace {

// The one pass over the vertex records: each normal to unit length, the box
// widened by each position, and each normal's texel when `texels` is there.
void FinishVertices(Mesh* mesh, SphereTexel* texels) {
    Vec3 lo = mesh->vertices[0].position, hi = lo;
    for (int i = 0; i < mesh->vertexCount; ++i) {
        MeshVertex& vertex = mesh->vertices[i];
        Normalise(&vertex.normal);
        WidenBox(&lo, &hi, vertex.position, vertex.position);
        if (texels) texels[i] = SphereTexelOf(vertex.normal);
    }
    SetBounds(mesh, lo, hi);
}

}  // namespace

int FinishLoadedMesh(Mesh* mesh) {
    for (int slot = 0; slot < mesh->faceCount; ++slot) AddFaceNormal(mesh, slot);
    SphereTexel* texels = nullptr;
    if (mesh->texCoordCount == 0) {
        texels = AllocateSphereTexels(mesh);
        if (!texels) return 0;
    }
    FinishVertices(mesh, texels);
    const int ok = !texels || MapSphericalTexels(mesh, texels);
    ReleaseBytes(texels);
    return ok;
}
