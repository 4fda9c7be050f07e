// What every load does once a file's records are in: the normals, planes,
// bounds and (for files without any) texture coordinates the rest of the
// program reads.
#pragma once

#include "core/mesh.h"

// Face normals and planes, unit vertex normals, bounds, and spherical texture
// coordinates when the mesh has none: what ComputeNormals, ComputeBounds and
// MapSpherical give, with the vertex records walked once instead of four
// times. The vertex normals must be zero, as the readers store them, and
// there must be a vertex. Returns 0 when the mapping's storage cannot be had
// (after "Out of memory" when even its per-vertex table cannot), with the
// texture coordinates as they were.
int FinishLoadedMesh(Mesh* mesh);
