// Reading quillmere-cli's arguments into the option records of its commands.
#include "cli/cli_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "core/lights.h"
#include "formats/obj_writer.h"
#include "render/frame_buffer.h"

namespace {

// A whole decimal number from lo to hi, nothing after it.
bool ParseInt(const std::string& text, int lo, int hi, int* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || value < lo || value > hi) return false;
    *out = static_cast<int>(value);
    return true;
}

bool ParseSize(const std::string& text, int* width, int* height) {
    const size_t x = text.find('x');
    if (x == std::string::npos) return false;
    return ParseInt(text.substr(0, x), 10, MaxFrameBufferView, width) &&
           ParseInt(text.substr(x + 1), 10, MaxFrameBufferView, height);
}

bool ParseLights(const std::string& text, int* mask) {
    *mask = 0;
    if (text == "none") return true;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int light;
        if (!ParseInt(item, 1, LightCount, &light)) return false;
        *mask |= 1 << (light - 1);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

// "x:DEG,y:DEG,...": each item one turn about one axis.
bool ParseTurns(const std::string& text, std::vector<ViewTurn>* turns) {
    turns->clear();
    size_t start = 0;
    while (start < text.size()) {
        const size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item.size() < 3 || item[1] != ':') return false;
        char* end = nullptr;
        const float degrees = std::strtof(item.c_str() + 2, &end);
        if (*end != '\0' || !std::isfinite(degrees)) return false;
        const ViewTurn turn{{item[0] == 'x' ? 1.0f : 0.0f, item[0] == 'y' ? 1.0f : 0.0f, item[0] == 'z' ? 1.0f : 0.0f},
                            degrees};
        if (turn.axis[0] + turn.axis[1] + turn.axis[2] != 1.0f) return false;
        turns->push_back(turn);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

bool ParseMaterial(const std::string& name, int* material) {
    *material = -1;
    for (int p = 0; p < MaterialPresetCount; ++p) {
        if (name == materialPresetNames[p]) *material = p;
    }
    return *material >= 0;
}

bool ParseZoom(const std::string& text, float* zoom) {
    char* end = nullptr;
    *zoom = std::strtof(text.c_str(), &end);
    return *end == '\0' && *zoom >= 1.0f && std::isfinite(*zoom);
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        char c = text[text.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

bool IsFileArgument(const std::string& arg) { return !arg.empty() && arg[0] != '-'; }

// The refusal of an argument `command` does not take, naming it: an option
// it does not know, "-o" without its file name, or a word it has no place for.
std::string UnexpectedArgument(const char* command, const std::string& argument) {
    std::string message = std::string(command) + ": ";
    if (argument == "-o") return message + "-o needs a file name";
    if (argument.size() > 1 && argument[0] == '-') return message + "unknown option " + argument;
    return message + "unexpected argument " + argument;
}

// One option of the render command at args[*i] (its value after it); an
// empty result when it was read, "?" when it is no option of the command.
std::string ParseRenderOption(const CliArgs& args, size_t* i, RenderOptions* o) {
    const std::string& a = args[*i];
    const bool hasValue = *i + 1 < args.size();
    const std::string v = hasValue ? args[*i + 1] : std::string();
    if (hasValue &&
        (a == "-o" || a == "--size" || a == "--material" || a == "--texture" || a == "--background" ||
         a == "--lights" || a == "--rotate" || a == "--zoom" || a == "--radius-step" || a == "--stretch-step"))
        ++*i;
    if (a == "-o") {
        if (!hasValue) return "render: -o needs a file name";
        o->output = v;
        return "";
    }
    if (a == "--size")
        return hasValue && ParseSize(v, &o->width, &o->height) ? "" : "render: --size WxH, each 10 or more";
    if (a == "--material") {
        if (!hasValue) return "render: --material needs a name";
        return ParseMaterial(v, &o->material) ? "" : "render: unknown material (Brass .. White, \"Prop Material\")";
    }
    if (a == "--texture") {
        if (!hasValue) return "render: --texture wood|metal|pattern|FILE.jpg";
        o->texture = v;
        return "";
    }
    if (a == "--background") return hasValue && ParseInt(v, 1, 2, &o->background) ? "" : "render: --background 1|2";
    if (a == "--lights") return hasValue && ParseLights(v, &o->lights) ? "" : "render: --lights 1,2,3 (or none)";
    if (a == "--rotate") return hasValue && ParseTurns(v, &o->turns) ? "" : "render: --rotate x:DEG,y:DEG,...";
    if (a == "--zoom") {
        if (!hasValue) return "render: --zoom Z";
        return ParseZoom(v, &o->zoom) ? "" : "render: --zoom Z, 1 or more";
    }
    if (a == "--radius-step")
        return hasValue && ParseInt(v, RadiusStepMin, RadiusStepMax, &o->radiusStep) ? ""
                                                                                     : "render: --radius-step 1..20";
    if (a == "--stretch-step")
        return hasValue && ParseInt(v, StretchStepMin, StretchStepMax, &o->stretchStep)
                   ? ""
                   : "render: --stretch-step -10..10";
    bool* flag = a == "--wireframe"     ? &o->wireframe
                 : a == "--no-backcull" ? &o->noBackcull
                 : a == "--invert"      ? &o->invert
                 : a == "--hair"        ? &o->hair
                 : a == "--keep-faces"  ? &o->keepFaces
                 : a == "--reduce"      ? &o->reduce
                                        : nullptr;
    if (!flag) return "?";
    *flag = true;
    return "";
}

}  // namespace

std::string ParseInfoOptions(const CliArgs& args, InfoOptions* options) {
    for (const std::string& arg : args) {
        if (!arg.empty() && arg[0] == '-') return UnexpectedArgument("info", arg);
    }
    if (args.size() > 1) return "info: at most one FILE";
    options->builtin = args.empty();
    options->file = args.empty() ? std::string() : args[0];
    return "";
}

std::string ParseExportOptions(const CliArgs& args, ExportOptions* options) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size()) {
            options->output = args[++i];
        } else if (args[i] == "--invert") {
            options->invert = true;
        } else if (IsFileArgument(args[i]) && options->input.empty()) {
            options->input = args[i];
        } else {
            return UnexpectedArgument("export", args[i]);
        }
    }
    if (options->input.empty() || options->output.empty()) return "export: FILE and -o OUT.obj are needed";
    // The save dialog's buffer holds 320 characters; a longer answer would
    // read as "cancel" and end without a word.
    if (options->output.size() >= ObjSavePathSize) return "export: OUT.obj path longer than 319 characters";
    return "";
}

std::string ParseHairOptions(const CliArgs& args, HairOptions* options) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "-o" && hasValue) {
            options->output = args[++i];
        } else if (arg == "--radius-step" && hasValue) {
            if (!ParseInt(args[++i], RadiusStepMin, RadiusStepMax, &options->radiusStep))
                return "hair: --radius-step takes a whole number from 1 to 20";
        } else if (arg == "--stretch-step" && hasValue) {
            if (!ParseInt(args[++i], StretchStepMin, StretchStepMax, &options->stretchStep))
                return "hair: --stretch-step takes a whole number from -10 to 10";
        } else if (arg == "--keep-faces") {
            options->onlyDynamic = 0;
        } else if (arg == "--reduce") {
            options->reduce = 1;
        } else if (IsFileArgument(arg) && options->input.empty()) {
            options->input = arg;
        } else {
            return UnexpectedArgument("hair", arg);
        }
    }
    if (options->input.empty() || options->output.empty()) return "hair: FILE and -o OUT.obj are needed";
    return "";
}

std::string ParseJpegOptions(const CliArgs& args, JpegOptions* options) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size()) {
            options->output = args[++i];
        } else if (options->input.empty() && IsFileArgument(args[i])) {
            options->input = args[i];
        } else {
            return UnexpectedArgument("jpeg", args[i]);
        }
    }
    if (options->input.empty() || options->output.empty()) return "jpeg: needs IN.jpg and -o OUT.bmp|OUT.ppm";
    options->bmp = EndsWithNoCase(options->output, ".bmp");
    if (!options->bmp && !EndsWithNoCase(options->output, ".ppm")) return "jpeg: the output must end in .bmp or .ppm";
    return "";
}

std::string ParseRenderOptions(const CliArgs& args, RenderOptions* options) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string message = ParseRenderOption(args, &i, options);
        if (message.empty()) continue;
        if (message != "?") return message;
        const std::string& a = args[i];
        if (!a.empty() && a[0] == '-') return UnexpectedArgument("render", a);
        if (!options->input.empty()) return "render: more than one input file";
        options->input = a;
    }
    if (options->output.empty()) return "render: -o OUT.bmp is required";
    return "";
}
