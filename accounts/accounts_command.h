// Calmet's command line: `list`, `show ACCOUNT`, `find TEXT` and
// `wipe --yes [--backup DIR]`, through the same listing, view and wipe as
// the window, with its boxes printed.
#pragma once

#include <QCommandLineParser>

#include "common/cli/manual.h"

namespace calmet {

// The program's options and help (common/cli/manual.h).
const common::cli::Manual& Manual();
// Runs the command in `parser` (already parsed); returns the exit status.
int RunCommand(QCommandLineParser& parser);

}  // namespace calmet
