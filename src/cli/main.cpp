#include <clocale>
#include <cstdio>
#include <cstring>

#include "cli/cli.h"

namespace {

const char* const usageText =
    "usage: quillmere-cli COMMAND ...\n"
    "  info [FILE]                      statistics and bounds (no FILE: the built-in model)\n"
    "  hair FILE -o OUT.obj [hair]      build hair ribbons and export them\n"
    "  export FILE -o OUT.obj [--invert]  export the loaded mesh\n"
    "  render [FILE] -o OUT.bmp [view] [--hair [hair]]  one preview frame\n"
    "  jpeg IN.jpg -o OUT.bmp|OUT.ppm   decode with the texture decoder\n"
    "  hair:  --radius-step N  --stretch-step N  --keep-faces  --reduce\n"
    "  view:  --size WxH  --material NAME  --texture wood|metal|pattern|FILE.jpg\n"
    "         --wireframe  --no-backcull  --background 1|2  --lights 1,2,3\n"
    "         --rotate x:DEG,y:DEG,...  --zoom Z  --invert\n";

struct Command {
    const char* name;
    int (*run)(const CliArgs&);
};

const Command commands[] = {
    {"info", CliInfo}, {"export", CliExport}, {"hair", CliHair},
    {"render", CliRender}, {"jpeg", CliJpeg},
};

}  // namespace

int CliUsageError(const char* message) {
    if (message && *message) std::fprintf(stderr, "quillmere-cli: %s\n", message);
    std::fputs(usageText, stderr);
    return CliUsage;
}

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C");
    if (argc < 2) return CliUsageError(nullptr);
    for (const Command& command : commands) {
        if (std::strcmp(argv[1], command.name) == 0) {
            return command.run(CliArgs(argv + 2, argv + argc));
        }
    }
    return CliUsageError("unknown command");
}
