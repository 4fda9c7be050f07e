#include "cli/cli.h"

int CliInfo(const CliArgs&) { return CliUsageError("info: not available in this build"); }
