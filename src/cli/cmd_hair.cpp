// quillmere-cli hair FILE -o OUT.obj [--radius-step N] [--stretch-step N]
// [--keep-faces] [--reduce]: load FILE as "Open mesh File" does, build the
// ribbons as "Create" does with the hair settings of the given steps, and
// write the hair mesh as "Export as obj" does (OUT.obj, and OUT.mtl when the
// source had materials).
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "cli/cli.h"
#include "cli/cli_mesh.h"
#include "core/app_state.h"
#include "core/hair_settings.h"
#include "core/platform.h"
#include "formats/obj_writer.h"
#include "ribbon/ribbon_builder.h"

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
            return CliUsageError("hair: unexpected argument");
        }
    }
    if (input.empty() || output.empty()) return CliUsageError("hair: FILE and -o OUT.obj are needed");

    Mesh* source = CliLoadMesh(input);
    if (!source) return CliFailure;
    const HairSettings settings =
        HairSettingsFor(BaseRadius, radiusStepValue, stretchStepValue, onlyDynamic, reduce);
    Mesh* hair = BuildHairMesh(source, settings);
    FreeMesh(source);
    if (!hair) {
        ShowMessageBox(OwnerToolBar, "unable to create hair", "error", MessageOk);
        return CliFailure;
    }
    // The export proposes the opened file's name; the save dialog, answered
    // with OUT.obj, overwrites it.
    char fileName[MeshFileNameSize];
    std::snprintf(fileName, sizeof fileName, "%s", CliFileTitle(input).c_str());
    AnswerDialogsWith(output);
    const int saved = SaveObjFile(OwnerMainWindow, hair, fileName);
    FreeMesh(hair);
    return saved ? CliSuccess : CliFailure;
}
