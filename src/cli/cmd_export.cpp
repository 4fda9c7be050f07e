// quillmere-cli export FILE -o OUT.obj [--invert]: load a mesh and write it as
// "Export as obj" does (OUT.obj, and the MTL library when it has materials).
#include "cli/cli.h"
#include "core/commands.h"
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
            return CliUnexpectedArgument("export", args[i]);
        }
    }
    if (input.empty() || output.empty()) return CliUsageError("export: FILE and -o OUT.obj are needed");
    // The save dialog's buffer holds 320 characters; a longer answer would
    // read as "cancel" and end without a word.
    if (output.size() >= ObjSavePathSize) return CliUsageError("export: OUT.obj path longer than 319 characters");
    // "Open mesh File", "Invert mesh" and "Export as obj", answered from the
    // command line; the save dialog proposes the opened file's name.
    AnswerDialogsWith(input);
    if (!OpenMeshFile()) return CliFailure;  // the reader told why
    if (invert) InvertCurrentMesh();
    AnswerDialogsWith(output);
    const int saved = ExportMesh();
    ReleaseAppState();
    return saved ? CliSuccess : CliFailure;
}
