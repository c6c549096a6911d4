// The one main() of the three programs: without a command the window opens
// (on --server-dir when given); with one, the command runs under a core
// application, with no display.
#pragma once

#include <QCommandLineParser>

namespace common::cli {

struct Program {
  const char* name;         // as --help and --version show it
  const char* description;  // what --help says before the options
  // Adds the program's own options and positional arguments.
  void (*defineOptions)(QCommandLineParser& parser);
  // Runs the command; the core application exists and the common options
  // (--server-dir, --help, --version) have been handled. Returns the exit
  // status.
  int (*runCommand)(QCommandLineParser& parser);
  // Opens the window and runs it; the widget application exists and the
  // program folder is set. Returns the exit status.
  int (*runWindow)();
};

int Main(int argc, char** argv, const Program& program);

}  // namespace common::cli
