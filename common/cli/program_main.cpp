#include "common/cli/program_main.h"

#include <QApplication>
#include <QCoreApplication>

#include "common/cli/command_line.h"
#include "common/qt/app_icon.h"

namespace common::cli {

namespace {

void Name(const Manual& manual) {
  QCoreApplication::setApplicationName(manual.name);
  QCoreApplication::setApplicationVersion(TOOLS_VERSION);
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
  return program.runCommand(parser);
}

}  // namespace common::cli
