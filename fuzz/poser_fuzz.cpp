// The Poser reader on arbitrary file contents: it must load or fail with a
// message, never read or write outside the mesh, never leak.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "core/memory.h"
#include "core/mesh.h"
#include "core/platform.h"
#include "formats/poser_tokens.h"

// The reader's messages go nowhere here.
void ShowMessageBox(PlatformOwner, const char*, const char*, unsigned) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/quillmere-poser-fuzz-" + std::to_string(getpid()) + ".hr2";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    const long live = LiveAllocationCount();
    Mesh* mesh = CreateMesh("prop");
    if (mesh && LoadPoserFile(mesh, path.c_str())) {
        // Every stored corner must name a vertex and a coordinate that exist.
        for (int64_t k = 0; k < 4 * static_cast<int64_t>(mesh->faceCount); ++k) {
            const int32_t v = mesh->faceVertexIndices[k];
            if (v >= mesh->vertexCount || v < -1) __builtin_trap();
            if (mesh->faceTexIndices[k] < 0 || (mesh->faceTexIndices[k] >= mesh->texCoordCount && v >= 0))
                __builtin_trap();
        }
    }
    FreeMesh(mesh);
    if (LiveAllocationCount() != live) __builtin_trap();
    return 0;
}
