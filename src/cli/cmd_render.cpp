#include "cli/cli.h"

int CliRender(const CliArgs&) { return CliUsageError("render: not available in this build"); }
