// quillmere-cli's argument parsing on arbitrary argument lists: the input is
// the arguments separated by NUL bytes, the first naming the command. A parse
// either gives the usage message or a record whose every value is one the
// command can run with.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "cli/cli_options.h"
#include "core/lights.h"
#include "formats/obj_writer.h"
#include "fuzz_support.h"
#include "render/frame_buffer.h"

namespace {

CliArgs SplitArguments(const uint8_t* data, size_t size) {
    CliArgs args;
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    args.push_back(current);
    return args;
}

bool InRange(int value, int lo, int hi) { return value >= lo && value <= hi; }

void CheckHairSteps(int radiusStep, int stretchStep) {
    Require(InRange(radiusStep, RadiusStepMin, RadiusStepMax), "radius step in range");
    Require(InRange(stretchStep, StretchStepMin, StretchStepMax), "stretch step in range");
}

void CheckFiles(const std::string& input, const std::string& output) {
    Require(!input.empty() && input[0] != '-', "an input file that is no option");
    Require(!output.empty(), "an output file");
}

void CheckRender(const RenderOptions& o) {
    Require(!o.output.empty(), "render: an output file");
    Require(o.input.empty() || o.input[0] != '-', "render: an input that is no option");
    Require(InRange(o.width, 10, MaxFrameBufferView) && InRange(o.height, 10, MaxFrameBufferView),
            "render: a view size the frame buffer takes");
    Require(InRange(o.material, -1, MaterialPresetCount - 1), "render: a material preset that exists");
    Require(InRange(o.background, 0, 2), "render: background 1 or 2");
    Require(InRange(o.lights, -1, (1 << LightCount) - 1), "render: lights among the three");
    Require(o.zoom == 0.0f || (o.zoom >= 1.0f && std::isfinite(o.zoom)), "render: zoom 1 or more");
    for (const ViewTurn& turn : o.turns) {
        Require(turn.axis[0] + turn.axis[1] + turn.axis[2] == 1.0f && std::isfinite(turn.degrees),
                "render: turns about one axis by finite angles");
    }
    CheckHairSteps(o.radiusStep, o.stretchStep);
}

// Parses with the command's parser; checks the record when it is accepted.
void ParseAndCheck(const std::string& command, const CliArgs& args) {
    std::string usage = "?";
    if (command == "info") {
        InfoOptions o;
        usage = ParseInfoOptions(args, &o);
        if (usage.empty()) Require(o.builtin == o.file.empty() || !o.builtin, "info: the built-in model has no file");
    } else if (command == "export") {
        ExportOptions o;
        usage = ParseExportOptions(args, &o);
        if (usage.empty()) {
            CheckFiles(o.input, o.output);
            Require(o.output.size() < ObjSavePathSize, "export: an output the save dialog holds");
        }
    } else if (command == "hair") {
        HairOptions o;
        usage = ParseHairOptions(args, &o);
        if (usage.empty()) {
            CheckFiles(o.input, o.output);
            CheckHairSteps(o.radiusStep, o.stretchStep);
            Require(InRange(o.onlyDynamic, 0, 1) && InRange(o.reduce, 0, 1), "hair: flags 0 or 1");
        }
    } else if (command == "jpeg") {
        JpegOptions o;
        usage = ParseJpegOptions(args, &o);
        if (usage.empty()) CheckFiles(o.input, o.output);
    } else if (command == "render") {
        RenderOptions o;
        usage = ParseRenderOptions(args, &o);
        if (usage.empty()) CheckRender(o);
    } else {
        return;
    }
    Require(usage.empty() || usage.compare(0, command.size() + 2, command + ": ") == 0, "a refusal names its command");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CliArgs args = SplitArguments(data, size);
    const std::string command = args.front();
    args.erase(args.begin());
    ParseAndCheck(command, args);
    return 0;
}
