// Ruvane's command line: `--no-window` runs the restart with each step
// printed instead of shown; `--systemd-unit` prints a unit for the server.
#pragma once

#include <QCommandLineParser>

#include "common/cli/manual.h"

namespace ruvane {

// Ruvane's options and help (common/cli/manual.h).
const common::cli::Manual& Manual();
// Runs the command in `parser` (already parsed); returns the exit status.
int RunCommand(QCommandLineParser& parser);

}  // namespace ruvane
