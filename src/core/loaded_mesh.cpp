#include "core/loaded_mesh.h"

#include "core/mapping.h"
#include "core/math3d.h"
#include "core/memory.h"

namespace {

// Each normal to unit length and the box widened by each position; then, in
// a pass of its own, each normal's texel when `texels` is there: the texel
// is a long chain of dependent steps, and a loop of nothing else lets the
// processor work on several vertices' chains at once.
void FinishVertices(Mesh* mesh, SphereTexel* texels) {
    Vec3 lo = mesh->vertices[0].position, hi = lo;
    for (int i = 0; i < mesh->vertexCount; ++i) {
        MeshVertex& vertex = mesh->vertices[i];
        Normalise(&vertex.normal);
        WidenBox(&lo, &hi, vertex.position, vertex.position);
    }
    SetBounds(mesh, lo, hi);
    if (!texels) return;
    SphereTexelsFor(ActiveSimdLevel())(mesh->vertices, mesh->vertexCount, texels);
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
