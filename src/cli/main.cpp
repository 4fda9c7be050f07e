#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/cli.h"

namespace {

const char* const usageText =
    "usage: quillmere-cli COMMAND ...\n"
    "       quillmere-cli --help | -h | --version\n"
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
    {"info", CliInfo}, {"export", CliExport}, {"hair", CliHair}, {"render", CliRender}, {"jpeg", CliJpeg},
};

// Help and the version are asked for anywhere on the line, after a command
// too ("quillmere-cli render --help"); they answer on stdout and succeed.
bool AnsweredHelpOrVersion(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usageText, stdout);
            return true;
        }
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quillmere-cli %s\n", QUILLMERE_VERSION);
            return true;
        }
    }
    return false;
}

}  // namespace

int CliUsageError(const char* message) {
    if (message && *message) std::fprintf(stderr, "quillmere-cli: %s\n", message);
    std::fputs(usageText, stderr);
    return CliUsage;
}

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C");
    if (AnsweredHelpOrVersion(argc, argv)) return CliSuccess;
    if (argc < 2) return CliUsageError(nullptr);
    for (const Command& command : commands) {
        if (std::strcmp(argv[1], command.name) == 0) {
            return command.run(CliArgs(argv + 2, argv + argc));
        }
    }
    const char* kind = argv[1][0] == '-' ? "unknown option " : "unknown command ";
    return CliUsageError((kind + std::string(argv[1])).c_str());
}
