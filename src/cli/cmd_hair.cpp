// quillmere-cli hair FILE -o OUT.obj [--radius-step N] [--stretch-step N]
// [--keep-faces] [--reduce]: load FILE as "Open mesh File" does, build the
// ribbons as "Create" does with the hair settings of the given steps, and
// write the hair mesh as "Export as obj" does (OUT.obj, and OUT.mtl when the
// source had materials).
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "cli/cli.h"
#include "core/app_state.h"
#include "core/commands.h"
#include "core/hair_settings.h"

namespace {

// A whole decimal integer, nothing before or after it.
bool ParseStep(const std::string& text, int* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < -1000 || parsed > 1000) return false;
    *value = static_cast<int>(parsed);
    return true;
}

}  // namespace

int CliHair(const CliArgs& args) {
    std::string input, output;
    int radiusStepValue = RadiusStepStart, stretchStepValue = 0;
    int onlyDynamic = 1, reduce = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "-o" && hasValue) {
            output = args[++i];
        } else if (arg == "--radius-step" && hasValue) {
            if (!ParseStep(args[++i], &radiusStepValue) || !IsValidRadiusStep(radiusStepValue))
                return CliUsageError("hair: --radius-step takes a whole number from 1 to 20");
        } else if (arg == "--stretch-step" && hasValue) {
            if (!ParseStep(args[++i], &stretchStepValue) || !IsValidStretchStep(stretchStepValue))
                return CliUsageError("hair: --stretch-step takes a whole number from -10 to 10");
        } else if (arg == "--keep-faces") {
            onlyDynamic = 0;
        } else if (arg == "--reduce") {
            reduce = 1;
        } else if (!arg.empty() && arg[0] != '-' && input.empty()) {
            input = arg;
        } else {
            return CliUnexpectedArgument("hair", arg);
        }
    }
    if (input.empty() || output.empty()) return CliUsageError("hair: FILE and -o OUT.obj are needed");

    // The same commands as the program's: "Open mesh File", the arrows and
    // boxes of the tool bar, "Create", then "Export as obj" of the hair view.
    AnswerDialogsWith(input);
    if (!OpenMeshFile()) return CliFailure;  // the reader told why
    radiusStep = radiusStepValue;
    stretchStep = stretchStepValue;
    UpdateHairFields();
    appState.hair.onlyDynamic = onlyDynamic;
    appState.hair.reduce = reduce;
    int status = CreateHair() ? CliSuccess : CliFailure;
    if (status == CliSuccess) {
        AnswerDialogsWith(output);
        if (!ExportMesh()) status = CliFailure;
    }
    ReleaseAppState();
    return status;
}
