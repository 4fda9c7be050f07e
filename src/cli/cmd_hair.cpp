#include "cli/cli.h"

int CliHair(const CliArgs&) { return CliUsageError("hair: not available in this build"); }
