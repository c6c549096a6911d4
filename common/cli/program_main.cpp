#include "common/cli/program_main.h"

#include <QApplication>
#include <QCoreApplication>
#include <cerrno>
#include <cstdio>

#include "common/cli/command_line.h"
#include "common/qt/app_icon.h"

namespace common::cli {

namespace {

void Name(const Manual& manual) {
  QCoreApplication::setApplicationName(manual.name);
  QCoreApplication::setApplicationVersion(TOOLS_VERSION);
}

// A command's results are worth nothing to a script if they did not reach
// standard output whole (a full disk, a closed pipe, /dev/full): that is a
// failure of the command, said on standard error.
int CheckOutputWritten(const char* program, int status) {
  const bool flushed = std::fflush(stdout) == 0 && !std::ferror(stdout);
  const int flushError = errno;
  const bool closed = std::fclose(stdout) == 0;
  const int closeError = errno;
  if (flushed && closed) return status;
  PrintErr(std::string(program) + ": the output could not be written: " +
           ErrnoText(flushed ? closeError : flushError));
  return status == kExitDone || status == kExitSkipped ? kExitFailed : status;
}

}  // namespace

int Main(int argc, char** argv, const Program& program) {
  const Manual& manual = program.manual();
  {
    QCommandLineParser chooser;
    AddOptions(chooser, manual);
    if (WantsWindow(chooser, argc, argv)) {
      if (Status s = ApplyServerDir(chooser); !s.ok()) {
        PrintErr(std::string(manual.name) + ": " + s.message());
        return kExitFailed;
      }
      // Without a display the toolkit would abort; a server with no screen
      // gets told what to do instead.
      if (qEnvironmentVariableIsEmpty("DISPLAY") &&
          qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
          qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        PrintErr(std::string(manual.name) +
                 ": there is no display to open the window on; give a command (see --help).");
        return kExitUsage;
      }
      QApplication app(argc, argv);
      Name(manual);
      QApplication::setWindowIcon(AppIcon(manual.icon));
      return program.runWindow();
    }
  }
  QCoreApplication app(argc, argv);
  Name(manual);
  QCommandLineParser parser;
  AddOptions(parser, manual);
  if (std::optional<int> status = ProcessCommonOptions(parser, app.arguments(), manual)) {
    return *status;
  }
  const int status = program.runCommand(parser);
  return CheckOutputWritten(manual.name, status);
}

}  // namespace common::cli
