// Extension dispatch for quillmere-cli: one table line per reader.
#include "cli/cli_mesh.h"

#include <cctype>

#include "core/platform.h"
#include "formats/obj_reader.h"
#include "formats/poser_tokens.h"

namespace {

struct MeshReader {
    const char* extension;  // lower case
    int (*load)(Mesh* mesh, const char* path);
};

const MeshReader meshReaders[] = {
    {"obj", LoadObjFile},
    {"pp2", LoadPoserFile},
    {"hr2", LoadPoserFile},
    {"cr2", LoadPoserFile},
};

}  // namespace

std::string CliFileTitle(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

Mesh* CliLoadMesh(const std::string& path) {
    const std::string title = CliFileTitle(path);
    const size_t dot = title.find_last_of('.');
    std::string extension = dot == std::string::npos ? "" : title.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const MeshReader* reader = nullptr;
    for (const MeshReader& r : meshReaders) {
        if (extension == r.extension) reader = &r;
    }
    if (!reader) {
        ShowMessageBox(OwnerMainWindow, "Not supported file format", title.c_str(), MessageIconError);
        return nullptr;
    }
    Mesh* mesh = CreateMesh("prop");
    if (!mesh) return nullptr;
    if (!reader->load(mesh, path.c_str())) {
        FreeMesh(mesh);
        return nullptr;
    }
    return mesh;
}
