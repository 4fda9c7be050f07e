// The Poser reader on arbitrary file contents: load or fail with a message,
// and a loaded mesh keeps every rule of the mesh records; nothing leaks.
#include <cstddef>
#include <cstdint>

#include "core/platform.h"
#include "formats/poser_tokens.h"
#include "fuzz_support.h"

// The reader's messages go nowhere here.
void ShowMessageBox(PlatformOwner, const char*, const char*, unsigned) {}

namespace {

int LoadPoser(Mesh* mesh, const uint8_t* data, size_t size) { return LoadPoserMemory(mesh, data, size); }

}  // namespace

// A Poser file may hold vertices and no element at all.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckMeshLoad(LoadPoser, false, data, size);
    return 0;
}
