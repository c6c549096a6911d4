// Ruvane's command line: `--no-window` runs the restart with each step
// printed instead of shown.
#pragma once

#include <QCommandLineParser>

namespace ruvane {

void DefineOptions(QCommandLineParser& parser);
// Runs the command in `parser` (already parsed); returns the exit status.
int RunCommand(QCommandLineParser& parser);

}  // namespace ruvane
