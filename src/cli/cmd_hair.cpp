// quillmere-cli hair FILE -o OUT.obj [--radius-step N] [--stretch-step N]
// [--keep-faces] [--reduce]: load FILE as "Open mesh File" does, build the
// ribbons as "Create" does with the hair settings of the given steps, and
// write the hair mesh as "Export as obj" does (OUT.obj, and OUT.mtl when the
// source had materials).
#include "cli/cli.h"
#include "cli/cli_options.h"
#include "app/commands.h"
#include "app/menu_commands.h"

namespace {

int BuildAndExportHair(const HairOptions& options) {
    // The same commands as the program's: "Open mesh File", the arrows and
    // boxes of the tool bar, "Create", then "Export as obj" of the hair view.
    AnswerDialogsWith(options.input);
    if (!OpenMeshFile()) return CliFailure;  // the reader told why
    SetHairControls(options.radiusStep, options.stretchStep, options.onlyDynamic, options.reduce);
    int status = CreateHair() ? CliSuccess : CliFailure;
    if (status == CliSuccess) {
        AnswerDialogsWith(options.output);
        if (!ExportMesh()) status = CliFailure;
    }
    ReleaseAppState();
    return status;
}

}  // namespace

int CliHair(const CliArgs& args) { return RunWithOptions(args, ParseHairOptions, BuildAndExportHair); }
