// The Poser reader on arbitrary file contents: load or fail with a message,
// and a loaded mesh keeps every rule of the mesh records; nothing leaks.
#include <cstddef>
#include <cstdint>

#include "core/memory.h"
#include "core/platform.h"
#include "formats/poser_tokens.h"
#include "fuzz_support.h"

// The reader's messages go nowhere here.
void ShowMessageBox(PlatformOwner, const char*, const char*, unsigned) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = WriteScratchFile("input.hr2", data, size);
    const long live = LiveAllocationCount();
    Mesh* mesh = CreateMesh("prop");
    // A Poser file may hold vertices and no element at all.
    if (mesh && LoadPoserFile(mesh, path)) CheckLoadedMesh(*mesh, false);
    FreeMesh(mesh);
    Require(LiveAllocationCount() == live, "no block outlives the load");
    return 0;
}
