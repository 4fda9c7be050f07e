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
    Mesh* mesh = CreateMesh("prop");
    if (!mesh) return nullptr;
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
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void CheckAgainst(const Mesh& before, const Mesh& after) {
    Require(after.materialCount == before.materialCount, "the material count stays");
    Require(std::memcmp(after.materialNames, before.materialNames, sizeof after.materialNames) == 0,
            "the material names stay");
    const int32_t reachable = before.materialCount < MaxMaterials ? before.materialCount + 1 : MaxMaterials;
    for (int32_t i = 0; i < MaxMaterials; ++i) {
        if (i >= reachable) {
            Require(std::memcmp(&after.materials[i], &before.materials[i], sizeof(Material)) == 0 &&
                        std::memcmp(after.textureNames[i], before.textureNames[i], MeshNameSize) == 0,
                    "records beyond the one after those in use stay");
        } else {
            Require(OnlyLibraryFieldsDiffer(after.materials[i], before.materials[i]),
                    "only colours and the exponent change");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int32_t materials = size % 13 == 12 ? MaxMaterials : static_cast<int32_t>(size % 13);
    const char* path = WriteScratchFile("input.mtl", data, size);
    const long live = LiveAllocationCount();
    Mesh* mesh = MeshUsing(materials, data, size);
    Mesh* before = MeshUsing(materials, data, size);
    if (mesh && before) {
        LoadMtlFile(mesh, path);
        CheckMeshStorage(*mesh);
        CheckAgainst(*before, *mesh);
    }
    FreeMesh(mesh);
    FreeMesh(before);
    Require(LiveAllocationCount() == live, "no block outlives the load");
    return 0;
}
