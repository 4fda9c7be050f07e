// The built-in model loader on arbitrary resource bytes: load or fail, never
// read outside the bytes, never leave a corner pointing past the vertices.
#include <cstddef>
#include <cstdint>

#include "core/memory.h"
#include "core/mesh.h"
#include "core/platform.h"
#include "formats/builtin_model.h"

int FindEmbeddedResource(const char*, const unsigned char**, size_t*) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const long live = LiveAllocationCount();
    Mesh* mesh = CreateMesh("computer");
    int32_t taken = 0;
    if (mesh && LoadModelBytes(mesh, data, size, &taken)) {
        for (int64_t k = 0; k < 4 * static_cast<int64_t>(mesh->faceCount); ++k) {
            if (mesh->faceVertexIndices[k] >= mesh->vertexCount || mesh->faceVertexIndices[k] < -1) __builtin_trap();
        }
    }
    FreeMesh(mesh);
    if (LiveAllocationCount() != live) __builtin_trap();
    return 0;
}
