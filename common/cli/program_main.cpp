#include "common/cli/program_main.h"

#include <QApplication>
#include <QCoreApplication>

#include "common/cli/command_line.h"

namespace common::cli {

namespace {

void Describe(QCommandLineParser& parser, const Program& program) {
  parser.setApplicationDescription(QString::fromUtf8(program.description) + "\n\n" +
                                   kExitStatusHelp);
  AddCommonOptions(parser);
  program.defineOptions(parser);
}

void Name(const Program& program) {
  QCoreApplication::setApplicationName(program.name);
  QCoreApplication::setApplicationVersion(TOOLS_VERSION);
}

}  // namespace

int Main(int argc, char** argv, const Program& program) {
  {
    QCommandLineParser chooser;
    Describe(chooser, program);
    if (WantsWindow(chooser, argc, argv)) {
      if (Status s = ApplyServerDir(chooser); !s.ok()) {
        PrintErr(std::string(program.name) + ": " + s.message());
        return kExitFailed;
      }
      // Without a display the toolkit would abort; a server with no screen
      // gets told what to do instead.
      if (qEnvironmentVariableIsEmpty("DISPLAY") &&
          qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
          qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        PrintErr(std::string(program.name) +
                 ": there is no display to open the window on; give a command (see --help).");
        return kExitUsage;
      }
      QApplication app(argc, argv);
      Name(program);
      return program.runWindow();
    }
  }
  QCoreApplication app(argc, argv);
  Name(program);
  QCommandLineParser parser;
  Describe(parser, program);
  if (std::optional<int> status = ProcessCommonOptions(parser, app.arguments())) return *status;
  return program.runCommand(parser);
}

}  // namespace common::cli
