// The byte source of a mesh file on disk, as the OBJ and Poser readers open
// it: the file's bytes, or for the compressed kinds (.obz, .hrz, .ppz, .crz,
// gzip streams of .obj, .hr2, .pp2, .cr2 files) the bytes they inflate to.
#pragma once

#include <cstdint>

#include "formats/byte_source.h"

// How much a compressed file may inflate to: past it the stream counts as
// damaged, so that a small file cannot make the readers take in without end.
constexpr uint64_t InflatedSizeLimit = uint64_t{1} << 32;  // 4 GB

// The reader a file name asks for, by the text after its last '.': exactly
// three characters in any letter case, "obj" or "obz" for the OBJ reader,
// "pp2", "hr2", "cr2", "ppz", "hrz" or "crz" for the Poser reader.
enum MeshFileFormat { MeshFileUnsupported, MeshFileObj, MeshFilePoser };
MeshFileFormat MeshFileFormatOf(const char* name);
// True for the compressed kinds among them (the extensions ending in 'z').
bool IsCompressedMeshName(const char* name);

// Opens `path` for reading into `source`: plain, or through zlib when
// IsCompressedMeshName(path). Returns 1, or 0 when the file cannot be opened
// (nothing to close then). A compressed stream that is damaged, truncated or
// inflates past `limit` bytes sets `source->failed` when the reading meets
// it; a file that is not gzip at all is read as it is, as gzip -dc -f would.
int OpenMeshFileSource(const char* path, ByteSource* source, uint64_t limit = InflatedSizeLimit);
// Closes what OpenMeshFileSource opened.
void CloseMeshFileSource(ByteSource* source);
