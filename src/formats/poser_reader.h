// Reading Poser prop, hair and figure files (.pp2, .hr2, .cr2) into a Mesh.
// Only the inline geometry (geomCustom) and the materials are kept; every
// other block is skipped by brace matching.
#pragma once

#include <cstddef>

#include "core/mesh.h"
#include "formats/byte_source.h"

// Reads `path` (gzip-compressed when its extension is "hrz", "ppz" or "crz")
// into the newly created, empty `mesh` (owned by the caller, which frees it
// on failure). On success the mesh has normals, face planes,
// bounds and texture coordinates (spherical ones when the file has none); the
// mesh name becomes the name of the last object block that has one.
// Failures are shown (caption "Error", OK button, no owner window):
// "No internal geometry" when the file block closes without any vertex,
// "Unable to read file" for a file that cannot be opened, a malformed or
// truncated structure, a damaged compressed stream or a failed storage
// growth. Returns 1 or 0.
int LoadPoserFile(Mesh* mesh, const char* path);
// The same load from `size` bytes at `data` (a file's contents).
int LoadPoserMemory(Mesh* mesh, const void* data, size_t size);
// The same load from any byte source (see byte_source.h); a source that
// reports a read error, up to its end (what follows the file block is read
// and dropped), fails the load with "Unable to read file".
int LoadPoserSource(Mesh* mesh, ByteSource* source);
