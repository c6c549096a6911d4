// Vostrel's command line: `convert KIND... [--max N] [--win98]`, the same
// jobs as the window's Convert buttons, with boxes and progress printed.
#pragma once

#include <QCommandLineParser>

#include "common/cli/manual.h"

namespace vostrel {

// The program's options and help (common/cli/manual.h).
const common::cli::Manual& Manual();
// Runs the command in `parser` (already parsed); returns the exit status.
int RunCommand(QCommandLineParser& parser);

}  // namespace vostrel
