// The built-in model loader on arbitrary resource bytes: load or fail, never
// read outside the bytes, and a loaded mesh stays inside its own storage.
#include <cstddef>
#include <cstdint>

#include "core/memory.h"
#include "core/platform.h"
#include "formats/builtin_model.h"
#include "fuzz_support.h"

int FindEmbeddedResource(const char*, const unsigned char**, size_t*) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const long live = LiveAllocationCount();
    Mesh* mesh = CreateMesh("computer");
    int32_t taken = 0;
    if (mesh && LoadModelBytes(mesh, data, size, &taken)) {
        CheckMeshStorage(*mesh);
        Require(mesh->polygonCount == mesh->faceCount && mesh->lineCount == 0, "the model is all polygons");
        Require(taken == (mesh->materialCount > 0), "records taken exactly when materials were read");
    }
    FreeMesh(mesh);
    Require(LiveAllocationCount() == live, "no block outlives the load");
    return 0;
}
