// quillmere-cli render [FILE] -o OUT.bmp [view] [--hair [hair]]: one preview
// frame of the built-in model (start-up state) or of FILE (the state after
// "Open mesh File"), drawn by the renderer and saved as "Save Image" saves it.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/cli.h"
#include "core/app_state.h"
#include "core/commands.h"
#include "core/hair_settings.h"
#include "core/lights.h"
#include "core/math3d.h"
#include "core/platform.h"
#include "formats/bmp_writer.h"
#include "render/frame_buffer.h"
#include "render/frame_driver.h"
#include "texture/texture_slots.h"

namespace {

struct RenderOptions {
    std::string input;
    std::string output;
    int width = 620, height = 520;
    int material = -1;        // preset index, -1 keeps the start-up choice
    std::string texture;      // wood, metal, pattern or a .jpg path
    bool wireframe = false;
    bool noBackcull = false;
    int background = 0;       // 1 or 2; 0 keeps the start-up grey
    int lights = -1;          // bit mask; -1 keeps light 1 alone
    std::string rotate;
    float zoom = 0.0f;        // 0 keeps 1.0
    bool invert = false;
    bool hair = false;
    int radiusStep = RadiusStepStart, stretchStep = 0;
    bool keepFaces = false, reduce = false;
};

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

// "x:DEG,y:DEG,...": turns applied one after the other to the view, each as
// the start-up tilt is made (x:-30 from the identity is the start-up view).
bool ApplyRotations(const std::string& text, bool apply) {
    size_t start = 0;
    while (start < text.size()) {
        const size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item.size() < 3 || item[1] != ':') return false;
        char* end = nullptr;
        const float degrees = std::strtof(item.c_str() + 2, &end);
        if (*end != '\0' || !std::isfinite(degrees)) return false;
        const float axis[3] = {item[0] == 'x' ? 1.0f : 0.0f, item[0] == 'y' ? 1.0f : 0.0f, item[0] == 'z' ? 1.0f : 0.0f};
        if (axis[0] + axis[1] + axis[2] != 1.0f) return false;
        if (apply) {
            Matrix4 turn;
            AxisAngleMatrix(degrees * ViewPi * (1.0f / 180.0f), axis[0], axis[1], axis[2], &turn);
            MultiplyMatrices(appState.rotation, turn, &appState.rotation);
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

int ParseOptions(const CliArgs& args, RenderOptions* o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= args.size()) return false;
            *out = args[++i];
            return true;
        };
        std::string v;
        if (a == "-o") {
            if (!value(&o->output)) return CliUsageError("render: -o needs a file name");
        } else if (a == "--size") {
            if (!value(&v) || !ParseSize(v, &o->width, &o->height)) return CliUsageError("render: --size WxH, each 10 or more");
        } else if (a == "--material") {
            if (!value(&v)) return CliUsageError("render: --material needs a name");
            o->material = -1;
            for (int p = 0; p < MaterialPresetCount; ++p) {
                if (v == materialPresetNames[p]) o->material = p;
            }
            if (o->material < 0) return CliUsageError("render: unknown material (Brass .. White, \"Prop Material\")");
        } else if (a == "--texture") {
            if (!value(&o->texture)) return CliUsageError("render: --texture wood|metal|pattern|FILE.jpg");
        } else if (a == "--wireframe") {
            o->wireframe = true;
        } else if (a == "--no-backcull") {
            o->noBackcull = true;
        } else if (a == "--background") {
            if (!value(&v) || !ParseInt(v, 1, 2, &o->background)) return CliUsageError("render: --background 1|2");
        } else if (a == "--lights") {
            if (!value(&v) || !ParseLights(v, &o->lights)) return CliUsageError("render: --lights 1,2,3 (or none)");
        } else if (a == "--rotate") {
            if (!value(&o->rotate) || !ApplyRotations(o->rotate, false)) return CliUsageError("render: --rotate x:DEG,y:DEG,...");
        } else if (a == "--zoom") {
            char* end = nullptr;
            if (!value(&v)) return CliUsageError("render: --zoom Z");
            o->zoom = std::strtof(v.c_str(), &end);
            if (*end != '\0' || !(o->zoom >= 1.0f) || !std::isfinite(o->zoom)) return CliUsageError("render: --zoom Z, 1 or more");
        } else if (a == "--invert") {
            o->invert = true;
        } else if (a == "--hair") {
            o->hair = true;
        } else if (a == "--radius-step") {
            if (!value(&v) || !ParseInt(v, RadiusStepMin, RadiusStepMax, &o->radiusStep)) return CliUsageError("render: --radius-step 1..20");
        } else if (a == "--stretch-step") {
            if (!value(&v) || !ParseInt(v, StretchStepMin, StretchStepMax, &o->stretchStep)) return CliUsageError("render: --stretch-step -10..10");
        } else if (a == "--keep-faces") {
            o->keepFaces = true;
        } else if (a == "--reduce") {
            o->reduce = true;
        } else if (!a.empty() && a[0] == '-') {
            return CliUnexpectedArgument("render", a);
        } else if (o->input.empty()) {
            o->input = a;
        } else {
            return CliUsageError("render: more than one input file");
        }
    }
    if (o->output.empty()) return CliUsageError("render: -o OUT.bmp is required");
    return CliSuccess;
}

int Fail(const char* what) {
    std::fprintf(stderr, "quillmere-cli: render: %s\n", what);
    return CliFailure;
}

// Applies the view options in the order the menus would: material first
// (it turns texturing and wireframe off), then texture and flags.
int ApplyView(const RenderOptions& o) {
    if (o.material >= 0) SelectMaterialPreset(o.material);
    if (!o.texture.empty()) {
        static const char* const builtin[] = {"wood", "metal", "pattern"};
        int slot = -1;
        for (int i = 0; i < 3; ++i) {
            if (o.texture == builtin[i]) slot = i;
        }
        if (slot < 0) {
            AnswerDialogsWith(o.texture);
            if (!LoadTextureFile(OwnerMainWindow, &appState.textures[TextureUser], userTextureName, UserTextureNameSize)) {
                return CliFailure;  // the loader told why
            }
            slot = TextureUser;
        }
        if (!appState.textures[slot].pixels) return Fail("that built-in texture is not in this build");
        appState.currentTexture = &appState.textures[slot];
        textureSelection = slot;
        appState.viewFlags |= ViewTextured;
    }
    if (o.wireframe) appState.viewFlags |= ViewWireframe;
    if (o.noBackcull) appState.viewFlags &= ~ViewBackculled;
    if (o.background) {
        backgroundSelection = o.background - 1;
        appState.background = backgroundTable[backgroundSelection];
    }
    if (o.lights >= 0) {
        // Switch only the lights that change, as the menu does.
        for (int i = 0; i < LightCount; ++i) {
            const int bit = 1 << i;
            if ((lightMask & bit) != (o.lights & bit)) SetLight(i, o.lights & bit);
        }
        lightMask = o.lights;
    }
    ApplyRotations(o.rotate, true);
    if (o.zoom > 0.0f) appState.zoom = o.zoom;
    return CliSuccess;
}

int RenderAndSave(const RenderOptions& o) {
    if (!InitialiseAppState()) return CliFailure;
    int status = CliSuccess;
    if (!o.input.empty()) {
        AnswerDialogsWith(o.input);
        if (!OpenMeshCommand()) status = CliFailure;  // the reader told why
    }
    if (status == CliSuccess && o.hair) {
        radiusStep = o.radiusStep;
        stretchStep = o.stretchStep;
        appState.hair = HairSettingsFor(baseRadius, radiusStep, stretchStep, o.keepFaces ? 0 : 1, o.reduce ? 1 : 0);
        if (!CreateHair()) status = CliFailure;
    }
    if (status == CliSuccess && o.invert) InvertCurrentMesh();
    if (status == CliSuccess) status = ApplyView(o);
    if (status == CliSuccess) {
        viewWidth = o.width;
        viewHeight = o.height;
        if (!CreateMemoryFrameBuffer(&frameBuffer, viewWidth, viewHeight)) {
            ShowMessageBox(OwnerNone, "Failed to create 3D context.", "", MessageOk);
            status = CliFailure;
        }
    }
    if (status == CliSuccess) {
        appState.fullRedraw = 1;
        DrawFrame(viewWidth, viewHeight, scene);
        AnswerDialogsWith(o.output);
        const Image24 image{frameBuffer.imagePixels, viewWidth, viewHeight, frameBuffer.width * 3};
        if (!SaveImageFile(OwnerMainWindow, image, meshFileName)) status = CliFailure;
    }
    ReleaseFrameBufferImages(&frameBuffer);
    ReleaseAppState();
    return status;
}

}  // namespace

int CliRender(const CliArgs& args) {
    RenderOptions options;
    const int parsed = ParseOptions(args, &options);
    if (parsed != CliSuccess) return parsed;
    return RenderAndSave(options);
}
