// The preview model the program carries as its embedded resource "model".
//
// Resource layout, little-endian 4-byte fields: V, F, M, material record size;
// V positions (x, y, z float32); F faces of four int32 corners (corner 0 holds
// the vertex index in bits 0-19 and the material index in bits 20-28, unused
// corners -1); F x 4 packed texture words (u x 32767 in bits 16-31, v x 32767
// in bits 0-15); M Material records of 96 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mesh.h"

constexpr int32_t BuiltinMaterialRecordSize = 96;
constexpr size_t BuiltinHeaderSize = 16;

// Fills the empty `mesh` (from CreateMesh, owned by the caller) from the
// embedded resource "model". `materialsTaken` is set to 1 when the resource's
// Material records were used and to 0 otherwise. Returns 1 on success, 0 when
// there is no such resource, it is malformed, or storage cannot be reserved
// (the mesh may then hold partial data; the caller frees it). Shows nothing.
int LoadBuiltinModel(Mesh* mesh, int32_t* materialsTaken);

// The same from bytes in memory. Every count and corner index is checked
// against `size` and V before use, so any byte string is safe to pass.
int LoadModelBytes(Mesh* mesh, const unsigned char* data, size_t size, int32_t* materialsTaken);
