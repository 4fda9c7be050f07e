// Loading a mesh file for the command-line tool the way "Open mesh File" does.
#pragma once

#include <string>

#include "core/mesh.h"

// Reads `path` with the reader its extension chooses (the three characters
// after the last '.', in any case) into a new mesh named "prop" (a Poser file
// renames it after its last named object); `meshFileName` then holds the file
// name without its folder. Returns the mesh, or null after the reader's own
// message or "Not supported file format" (caption: the file name) went to
// stderr.
Mesh* CliLoadMesh(const std::string& path);
