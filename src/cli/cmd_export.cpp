#include "cli/cli.h"

int CliExport(const CliArgs&) { return CliUsageError("export: not available in this build"); }
