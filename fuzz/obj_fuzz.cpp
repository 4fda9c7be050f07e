// The OBJ reader on arbitrary file contents, with a material library beside
// the file for `mtllib lib.mtl`: load or fail with the message, and a loaded
// mesh keeps every rule of the mesh records; nothing leaks.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/platform.h"
#include "formats/obj_reader.h"
#include "fuzz_support.h"

// The reader's messages go nowhere here.
void ShowMessageBox(PlatformOwner, const char*, const char*, unsigned) {}

namespace {

std::string objPath;

int LoadObj(Mesh* mesh, const uint8_t* data, size_t size) { return LoadObjMemory(mesh, data, size, objPath.c_str()); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static const char library[] =
        "newmtl skin\nKd 0.8 0.6 0.4\nKa 0.1 0.1 0.1\nNs 96.078431\nmap_Kd skin.jpg\n"
        "newmtl hair\nKs 1 1 1\nNs -1e30\n";
    WriteScratchFile("lib.mtl", reinterpret_cast<const uint8_t*>(library), std::strlen(library));
    objPath = std::string(ScratchFolder()) + "input.obj";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckMeshLoad(LoadObj, true, data, size);
    return 0;
}
