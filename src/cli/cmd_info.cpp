// quillmere-cli info [FILE]: the statistics and bounds of a loaded mesh.
#include <cstdio>

#include "cli/cli.h"
#include "cli/cli_mesh.h"
#include "cli/cli_options.h"
#include "app/app_state.h"
#include "app/commands.h"

namespace {

int PrintInfo(const InfoOptions& options) {
    Mesh* mesh = nullptr;
    if (options.builtin) {
        // The built-in model, loaded as at start-up.
        int32_t materialsTaken = 0;
        mesh = LoadStartupModel(&materialsTaken);
    } else {
        mesh = CliLoadMesh(options.file);
        // The name the title shows, without its folder.
        if (mesh) std::printf("file: %s\n", appState.model.meshFileName);
    }
    if (!mesh) return CliFailure;
    std::printf("name: %s\n", mesh->name);
    std::printf("vertices: %d\n", mesh->vertexCount);
    std::printf("uv vertices: %d\n", mesh->texCoordCount);
    std::printf("faces: %d\n", mesh->polygonCount);
    std::printf("lines: %d\n", mesh->lineCount);
    std::printf("groups: %d\n", mesh->groupCount);
    std::printf("materials: %d\n", mesh->materialCount);
    std::printf("bounds: %.9g %.9g %.9g %.9g %.9g %.9g\n", static_cast<double>(mesh->boundsMin.x),
                static_cast<double>(mesh->boundsMin.y), static_cast<double>(mesh->boundsMin.z),
                static_cast<double>(mesh->boundsMax.x), static_cast<double>(mesh->boundsMax.y),
                static_cast<double>(mesh->boundsMax.z));
    FreeMesh(mesh);
    return CliSuccess;
}

}  // namespace

int CliInfo(const CliArgs& args) { return RunWithOptions(args, ParseInfoOptions, PrintInfo); }
