// The one main() of the three programs: without a command the window opens
// (on --server-dir when given); with one, the command runs under a core
// application, with no display.
#pragma once

#include <QCommandLineParser>

#include "common/cli/manual.h"

namespace common::cli {

struct Program {
  // Its name, options and help; the parser takes its options from there.
  const Manual& (*manual)();
  // Runs the command; the core application exists and the common options
  // (--server-dir, --help, --version) have been handled. Returns the exit
  // status.
  int (*runCommand)(QCommandLineParser& parser);
  // Opens the window and runs it; the widget application exists, its
  // windows have the program's icon, and the program folder is set. Returns
  // the exit status.
  int (*runWindow)();
};

int Main(int argc, char** argv, const Program& program);

}  // namespace common::cli
