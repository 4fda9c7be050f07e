// The MTL reader on arbitrary library contents. The input's size chooses how
// many materials the mesh uses (0 to 11, or all 512), named as the library's
// first "newmtl" lines name them (m0, m1, ... for the rest), as an OBJ file
// would have used them. Only the colours, exponents and texture names of the
// records in use and of the one after them may change; names, counts and
// every other field stay.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "core/memory.h"
#include "formats/mtl_reader.h"
#include "fuzz_support.h"

namespace {

// The names of the library's "newmtl" lines, in order, into `mesh`'s first
// `materials` names; returns how many it found.
int32_t NameFromLibrary(Mesh* mesh, int32_t materials, const uint8_t* data, size_t size) {
    static const char keyword[] = "newmtl ";
    const size_t keywordLength = sizeof keyword - 1;
    int32_t named = 0;
    for (size_t line = 0; line < size && named < materials;) {
        size_t end = line;
        while (end < size && data[end] != '\n' && data[end] != '\r') ++end;
        if (end - line > keywordLength && std::memcmp(data + line, keyword, keywordLength) == 0) {
            size_t length = end - line - keywordLength;
            if (length > MeshNameSize - 1) length = MeshNameSize - 1;
            std::memcpy(mesh->materialNames[named], data + line + keywordLength, length);
            mesh->materialNames[named][length] = '\0';
            ++named;
        }
        line = end + 1;
    }
    return named;
}

Mesh* MeshUsing(int32_t materials, const uint8_t* data, size_t size) {
    Mesh* mesh = FreshMesh();
    mesh->materialCount = materials;
    for (int32_t i = NameFromLibrary(mesh, materials, data, size); i < materials; ++i)
        std::snprintf(mesh->materialNames[i], MeshNameSize, "m%d", static_cast<int>(i));
    return mesh;
}

// A record may change only in what the library sets.
bool OnlyLibraryFieldsDiffer(Material a, Material b) {
    for (Material* m : {&a, &b}) {
        for (int i = 0; i < 3; ++i) m->ambient[i] = m->diffuse[i] = m->specular[i] = 0;
        m->specularExponent = 0;
    }
    return SameBytes(&a, &b, sizeof a);
}

void CheckAgainst(const Mesh& before, const Mesh& after) {
    Require(after.materialCount == before.materialCount, "the material count stays");
    Require(SameBytes(after.materialNames, before.materialNames, sizeof after.materialNames),
            "the material names stay");
    const int32_t reachable = before.materialCount < MaxMaterials ? before.materialCount + 1 : MaxMaterials;
    for (int32_t i = 0; i < MaxMaterials; ++i) {
        if (i >= reachable) {
            Require(SameBytes(&after.materials[i], &before.materials[i], sizeof(Material)) &&
                        SameBytes(after.textureNames[i], before.textureNames[i], MeshNameSize),
                    "records beyond the one after those in use stay");
        } else {
            Require(OnlyLibraryFieldsDiffer(after.materials[i], before.materials[i]),
                    "only colours and the exponent change");
        }
    }
}

}  // namespace

// The record to load into and its copy from before the load are reused
// across inputs (made on the first, before the leak count is taken).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Mesh* const before = CreateMesh("prop");
    const int32_t materials = size % 13 == 12 ? MaxMaterials : static_cast<int32_t>(size % 13);
    const char* path = WriteScratchFile("input.mtl", data, size);
    Mesh* mesh = MeshUsing(materials, data, size);
    Require(before != nullptr, "the mesh records are made");
    CopyMeshRecord(before, mesh);
    const long live = LiveAllocationCount();
    LoadMtlFile(mesh, path);
    CheckMeshStorage(*mesh);
    CheckAgainst(*before, *mesh);
    ReleaseMeshArrays(mesh);
    Require(LiveAllocationCount() == live, "no block outlives the load");
    return 0;
}
