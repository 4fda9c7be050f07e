// quillmere-cli export FILE -o OUT.obj [--invert]: load a mesh and write it as
// "Export as obj" does (OUT.obj, and the MTL library when it has materials).
#include <cstdio>
#include <cstring>

#include "cli/cli.h"
#include "cli/cli_mesh.h"
#include "core/app_state.h"
#include "core/mapping.h"
#include "formats/obj_writer.h"

int CliExport(const CliArgs& args) {
    std::string input, output;
    bool invert = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size()) {
            output = args[++i];
        } else if (args[i] == "--invert") {
            invert = true;
        } else if (!args[i].empty() && args[i][0] != '-' && input.empty()) {
            input = args[i];
        } else {
            return CliUsageError("export: unexpected argument");
        }
    }
    if (input.empty() || output.empty()) return CliUsageError("export: FILE and -o OUT.obj are needed");
    Mesh* mesh = CliLoadMesh(input);
    if (!mesh) return CliFailure;
    if (invert) InvertMesh(mesh);
    // The name the open command leaves behind; the save dialog proposes it
    // with ".obj" and overwrites it with the chosen name.
    char fileName[MeshFileNameSize];
    std::snprintf(fileName, sizeof fileName, "%s", CliFileTitle(input).c_str());
    AnswerDialogsWith(output);
    const int saved = SaveObjFile(OwnerMainWindow, mesh, fileName);
    FreeMesh(mesh);
    return saved ? CliSuccess : CliFailure;
}
