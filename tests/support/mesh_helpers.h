// Helpers for tests that read and write mesh files.
#pragma once

#include <memory>
#include <string>

#include "core/mesh.h"

struct MeshDeleterForTests {
    void operator()(Mesh* m) const { FreeMesh(m); }
};
using TestMeshPtr = std::unique_ptr<Mesh, MeshDeleterForTests>;

// Writes `bytes` to `path` exactly (binary).
void WriteBytesFile(const std::string& path, const std::string& bytes);

// `bytes` as one gzip member, as gzip writes a compressed file.
std::string GzipBytes(const std::string& bytes);

// A name for TempDir unique to the running test.
std::string TestDirName(const std::string& suffix = "");

// Writes `text` to <TempDir(dirName)>/<fileName>, loads it with LoadObjFile
// into a new mesh and returns the result; the mesh (even after a failure)
// goes to `out`. An empty dirName stands for TestDirName(). Loading the same
// bytes with LoadObjMemory must give the same mesh, result and messages.
int LoadObjText(const std::string& text, TestMeshPtr* out, const std::string& fileName = "test.obj",
                const std::string& dirName = "");

// The face slots as text, one token per slot separated by blanks: "f" or "l",
// the strand point count after "l" when it has one, then ':' and the 1-based
// vertex indices of the used corners joined by ','; "@g.m" follows when the
// group or material index is not 0. Example: "f:1,2,3 l7:1,2,3,4 l:4,5,6,7".
std::string DescribeSlots(const Mesh& mesh);
// Counts, name, slots and texture indices in one line, for comparing loads.
std::string DescribeMesh(const Mesh& mesh);
// The 1-based texture indices of the used corners, same layout without the
// letters: "1,1,1 2,3,4".
std::string DescribeTexIndices(const Mesh& mesh);
