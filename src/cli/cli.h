// quillmere-cli: the menu and tool bar operations driven from a command line.
#pragma once

#include <string>
#include <vector>

using CliArgs = std::vector<std::string>;

// Exit statuses: 0 the operation succeeded, 1 it failed (the program's own
// message is on stderr), 2 a usage error.
constexpr int CliSuccess = 0;
constexpr int CliFailure = 1;
constexpr int CliUsage = 2;

// The subcommands; `args` excludes the program and subcommand names.
int CliInfo(const CliArgs& args);
int CliExport(const CliArgs& args);
int CliHair(const CliArgs& args);
int CliRender(const CliArgs& args);
int CliJpeg(const CliArgs& args);

int CliUsageError(const char* message);

// Reads `args` into an Options record with `parse` (one of the Parse*Options
// functions) and runs the subcommand's `run` on it; a usage error is printed
// instead and gives CliUsage.
template <typename Options>
int RunWithOptions(const CliArgs& args, std::string (*parse)(const CliArgs&, Options*), int (*run)(const Options&)) {
    Options options;
    const std::string usage = parse(args, &options);
    if (!usage.empty()) return CliUsageError(usage.c_str());
    return run(options);
}

// The next open or save dialog answers with `path` (the command line stands
// in for the user); an empty path makes it answer "cancel".
void AnswerDialogsWith(const std::string& path);
