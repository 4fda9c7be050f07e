#include "cli/cli.h"

int CliJpeg(const CliArgs&) { return CliUsageError("jpeg: not available in this build"); }
