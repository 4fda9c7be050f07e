// What every fuzz target shares: the properties a loaded mesh must have, and
// the scratch file through which a file reader gets its input.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mesh.h"

// Ends the run with a report naming `what` when `holds` is false; libFuzzer
// keeps the input as a crash.
void Require(bool holds, const char* what);

// What any filled mesh must hold for the renderer and the writer to stay
// inside it: counts within the capacities and the tables, names terminated,
// the used corners of every slot first, naming a vertex and a texture
// coordinate that exist, the unused ones marked (vertex -1, texture 0).
void CheckMeshStorage(const Mesh& mesh);

// What a file reader's successful load guarantees besides: vertices, and
// texture coordinates when there are faces, only the reader's attribute bits set with
// group and material in range, every polygon slot of three or four corners,
// and every strand a whole chain of slots whose points add up to its count,
// one per counted line. `needsFaces`: the reader fails a file without any
// face slot.
void CheckLoadedMesh(const Mesh& mesh, bool needsFaces);

// One record as CreateMesh("prop") makes it, the same one on every call
// (made on the first): its arrays must have been released.
Mesh* FreshMesh();
// Whole records copied and bytes compared without the sanitizers' checks of
// every byte (which cost more than the readers on small inputs); both sides
// must be live storage.
void CopyMeshRecord(Mesh* to, const Mesh* from);
bool SameBytes(const void* a, const void* b, size_t size);

// Loads the input into a fresh mesh with `load` (a reader's in-memory entry),
// checks a successful load with CheckLoadedMesh and that no block outlives
// the mesh.
using MeshLoad = int (*)(Mesh* mesh, const uint8_t* data, size_t size);
void CheckMeshLoad(MeshLoad load, bool needsFaces, const uint8_t* data, size_t size);

// Writes `data` to `fileName` in a folder of this process's own on a memory
// file system and returns the file's path (valid until the next call).
const char* WriteScratchFile(const char* fileName, const uint8_t* data, size_t size);
// The folder WriteScratchFile writes into, ending in '/'.
const char* ScratchFolder();
