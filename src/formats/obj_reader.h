// Reading Wavefront OBJ files into a Mesh, and the parser of index groups that
// the Poser geometry reader shares.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mesh.h"
#include "formats/byte_source.h"

// Reads the OBJ file at `path` (gzip-compressed when its extension is "obz")
// into `mesh`, which the caller made empty with CreateMesh and keeps owning. Keeps vertices, texture coordinates,
// polygons (fans for more than four corners), `l` strands, groups, materials, and the library named by the last
// `mtllib` (relative to the OBJ file's folder). On success (1) normals, face planes and bounds are computed and the
// mesh has texture coordinates (spherical ones when the file had none). On failure (0: no memory, cannot open, no
// vertex or no face slot, no room for the spherical mapping, a damaged compressed stream) the user has been shown
// "Error: failed to open" with the path as caption, and the partial mesh is left to the caller to free.
int LoadObjFile(Mesh* mesh, const char* path);
// The same load from `size` bytes at `data` (the file's contents). `path`
// stands for the file: it is the message's caption, and the material library
// is looked for beside it.
int LoadObjMemory(Mesh* mesh, const void* data, size_t size, const char* path);
// The same load from any byte source (see byte_source.h); a source that
// reports a read error fails the load with the message.
int LoadObjSource(Mesh* mesh, ByteSource* source, const char* path);

// Parses the argument of a polygon or line statement: index groups separated
// by spaces or tabs, each "v", "v/t", "v/t/n" or "v//n". Indices are 1-based
// and checked against the `vertexCount` vertices and `texCoordCount` texture
// coordinates read so far; a negative index counts back from them. A texture
// index that is absent, too large or not above 0 refers to the first texture
// coordinate. Writes the pairs (1-based) into the two arrays of
// MaxCornersPerStatement (511) entries and returns how many there are, or 0
// when the statement is to be dropped: a group that is not a number, a vertex
// index out of range, or more than 511 groups.
int ParseIndexGroups(const char* text, int32_t vertexCount, int32_t texCoordCount, int32_t* vertexIndices,
                     int32_t* texIndices);
