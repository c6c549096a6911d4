// Calmet's command line: `list`, `show ACCOUNT`, `find TEXT` and
// `wipe --yes [--backup DIR]`, through the same listing, view and wipe as
// the window, with its boxes printed.
#pragma once

#include <QCommandLineParser>

namespace calmet {

void DefineOptions(QCommandLineParser& parser);
// Runs the command in `parser` (already parsed); returns the exit status.
int RunCommand(QCommandLineParser& parser);

}  // namespace calmet
