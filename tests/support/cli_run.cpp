#include "support/cli_run.h"

#include <cstdlib>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include "support/mesh_helpers.h"
#include "support/paths.h"

CliRunResult RunCliProgram(const std::string& tag, const std::string& arguments, const std::string& environment) {
    const std::string dir = TempDir(TestDirName(tag));
    const std::string command =
        environment + " '" + QUILLMERE_CLI_PATH + "' " + arguments + " >'" + dir + "/out' 2>'" + dir + "/err'";
    const int raw = std::system(command.c_str());
#if defined(_WIN32)
    const int status = raw;
#else
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    return CliRunResult{status, ReadWholeFile(dir + "/out"), ReadWholeFile(dir + "/err")};
}
