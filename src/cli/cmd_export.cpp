// quillmere-cli export FILE -o OUT.obj [--invert]: load a mesh and write it as
// "Export as obj" does (OUT.obj, and the MTL library when it has materials).
#include "cli/cli.h"
#include "cli/cli_options.h"
#include "app/commands.h"

namespace {

int Export(const ExportOptions& options) {
    // "Open mesh File", "Invert mesh" and "Export as obj", answered from the
    // command line; the save dialog proposes the opened file's name.
    AnswerDialogsWith(options.input);
    if (!OpenMeshFile()) return CliFailure;  // the reader told why
    if (options.invert) InvertCurrentMesh();
    AnswerDialogsWith(options.output);
    const int saved = ExportMesh();
    ReleaseAppState();
    return saved ? CliSuccess : CliFailure;
}

}  // namespace

int CliExport(const CliArgs& args) { return RunWithOptions(args, ParseExportOptions, Export); }
