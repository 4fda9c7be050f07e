// Reading an MTL material library into the materials an OBJ file used.
#pragma once

#include "core/mesh.h"

// Reads the library at `path` and copies "Ns", "Ka", "Kd", "Ks" and "map_Kd"
// into the Material records of the mesh's materials (selected by "newmtl"
// with a name among the first materialCount names). Lines about a material
// the mesh does not use land in the record at materialCount, which no face
// uses (none when all 512 are in use). An empty path or a file that cannot be
// opened changes nothing; nothing is reported.
void LoadMtlFile(Mesh* mesh, const char* path);
