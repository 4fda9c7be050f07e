// Writing a Mesh as a Wavefront OBJ file with its MTL material library.
//
// Lines end in CR LF; positions are written with "%10.8f", texture
// coordinates with "%8.6f", in the "C" locale. Face slots come out sorted by
// group, then material, then stored order, with "g" and "usemtl" lines
// between them; each strand is one `l` statement with all its points.
#pragma once

#include <cstddef>

#include "core/mesh.h"
#include "core/platform.h"

// The export command: proposes meshFileName without its extension plus
// ".obj", asks for the file in the save dialog (whose file title overwrites
// meshFileName, a buffer of meshFileNameSize bytes), writes the OBJ file and,
// when the mesh has materials, the MTL file beside it. Returns 1 when the OBJ
// file was written; 0 when the dialog was cancelled (silently) or the OBJ
// file could not be created or written (reported; the partial file removed).
// A library that cannot be written is reported but the result stays 1.
int SaveObjFile(PlatformOwner owner, const Mesh* mesh, char* meshFileName, size_t meshFileNameSize);

// Size of the save dialog's path buffer (the chosen path has at most 319
// characters).
constexpr size_t ObjSavePathSize = 320;

// Writes the OBJ file at `path`; `libraryName` is named in the `mtllib` line
// when the mesh has materials. Returns 1, or 0 after a message box (text: the
// path; caption "Error cannot create" or "Error cannot write") with the
// partial file removed.
int WriteObjFile(PlatformOwner owner, const Mesh* mesh, const char* path, const char* libraryName);

// Writes the mesh's materials to the MTL file beside the OBJ file at
// `objPath`, named as MaterialLibraryName gives it. Does nothing without
// materials. A failure is reported like WriteObjFile's (owned by the main
// window), and returns 0.
int WriteMtlFile(const Mesh* mesh, const char* objPath);

// The library name for the OBJ file name `objFileName` (no folder): the name
// cut at its last '.' (one in the first position does not count) plus
// ".mtl"; a name whose extension already is "mtl", in any case, keeps it and
// gets ".mtl" appended, so the library never replaces the OBJ file.
void MaterialLibraryName(const char* objFileName, char* out, size_t outSize);

// The name the save dialog proposes: `fileName` cut at its last '.' as above,
// plus ".obj".
void ProposedObjName(const char* fileName, char* out, size_t outSize);
