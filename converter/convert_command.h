// Vostrel's command line: `convert KIND... [--max N] [--win98]`, the same
// jobs as the window's Convert buttons, with boxes and progress printed.
#pragma once

#include <QCommandLineParser>

namespace vostrel {

void DefineOptions(QCommandLineParser& parser);
// Runs the command in `parser` (already parsed); returns the exit status.
int RunCommand(QCommandLineParser& parser);

}  // namespace vostrel
