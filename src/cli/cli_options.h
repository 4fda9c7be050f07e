// The arguments of each quillmere-cli command read into a plain record, apart
// from running the command, so that any argument list can be checked without
// touching a file.
#pragma once

#include <string>
#include <vector>

#include "app/app_state.h"
#include "cli/cli.h"

// Each Parse*Options function reads `args` (the arguments after the command
// name) into `options` and returns an empty string when they are complete and
// valid, else the usage message that the command prints before its usage
// text; `options` is then partly filled and of no use.

struct InfoOptions {
    std::string file;  // empty: the built-in model
    bool builtin = true;
};
std::string ParseInfoOptions(const CliArgs& args, InfoOptions* options);

struct ExportOptions {
    std::string input;
    std::string output;  // shorter than the save dialog's 320 characters
    bool invert = false;
};
std::string ParseExportOptions(const CliArgs& args, ExportOptions* options);

struct HairOptions {
    std::string input;
    std::string output;
    int radiusStep = RadiusStepStart;  // RadiusStepMin..RadiusStepMax
    int stretchStep = 0;               // StretchStepMin..StretchStepMax
    int onlyDynamic = 1;
    int reduce = 0;
};
std::string ParseHairOptions(const CliArgs& args, HairOptions* options);

struct JpegOptions {
    std::string input;
    std::string output;
    bool bmp = false;  // else PPM
};
std::string ParseJpegOptions(const CliArgs& args, JpegOptions* options);

// One turn of --rotate: `degrees` about the x, y or z axis (one of `axis` is 1).
struct ViewTurn {
    float axis[3];
    float degrees;  // finite
};

struct RenderOptions {
    std::string input;              // empty: the built-in model
    std::string output;             // never empty after a successful parse
    int width = 620, height = 520;  // 10..MaxFrameBufferView each
    int material = -1;              // preset index, -1 keeps the start-up choice
    std::string texture;            // wood, metal, pattern or a .jpg path
    bool wireframe = false;
    bool noBackcull = false;
    int background = 0;           // 1 or 2; 0 keeps the start-up grey
    int lights = -1;              // bit mask of lights 1..3; -1 keeps light 1 alone
    std::vector<ViewTurn> turns;  // applied in order to the view
    float zoom = 0.0f;            // 0 keeps 1.0; else 1 or more, finite
    bool invert = false;
    bool hair = false;
    int radiusStep = RadiusStepStart, stretchStep = 0;
    bool keepFaces = false, reduce = false;
};
std::string ParseRenderOptions(const CliArgs& args, RenderOptions* options);
