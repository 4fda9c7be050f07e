// Loading a mesh file for quillmere-cli through the program's open command.
#include "cli/cli_mesh.h"

#include "cli/cli.h"
#include "app/app_state.h"
#include "app/commands.h"

Mesh* CliLoadMesh(const std::string& path) {
    // "Open mesh File" with the command line's path as the dialog's answer;
    // the caller takes the mesh out of the scene.
    AnswerDialogsWith(path);
    const int opened = OpenMeshFile();
    AnswerDialogsWith("");
    if (!opened) return nullptr;
    Mesh* mesh = appState.model.scene.meshes[0];
    appState.model.scene.meshes[0] = nullptr;
    appState.model.scene.meshCount = 0;
    return mesh;
}
