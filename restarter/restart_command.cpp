#include "restarter/restart_command.h"

#include <QCoreApplication>
#include <QObject>

#include "common/cli/command_line.h"
#include "common/text_util.h"
#include "restarter/restart_sequence.h"

namespace ruvane {

namespace {

namespace cli = common::cli;

const QCommandLineOption kNoWindow(
    "no-window",
    "Restart the server with no window: each step is printed on standard error, and the "
    "started server's process id alone on standard output.");

}  // namespace

void DefineOptions(QCommandLineParser& parser) { parser.addOption(kNoWindow); }

int RunCommand(QCommandLineParser& parser) {
  if (!parser.positionalArguments().isEmpty()) {
    return cli::UsageError("unknown command " + parser.positionalArguments().first());
  }
  if (!parser.isSet(kNoWindow)) return cli::UsageError("--no-window is the only command");
  const bool quiet = parser.isSet("quiet");
  auto say = [quiet](const std::string& text) {
    if (!quiet) cli::PrintErr(text);
  };

  cli::ConsoleMessages messages;
  ProcessServerStarter starter;
  QObject owner;
  const Intervals intervals;
  int exitStatus = cli::kExitDone;
  RestartSequence sequence(
      &owner, intervals,
      {&messages, &starter,
       [&](Step step) {
         if (step == Step::kAnnounced) {
           say(std::string(kStatusRestarting) + " (starting it in " +
               common::Dec(intervals.activate / 1000) + " s)");
         } else {
           // For scripts, even with --quiet.
           cli::PrintOut(common::Dec(starter.started()));
           say("The server was started; ending in " + common::Dec(intervals.end / 1000) + " s.");
         }
       },
       [&](int code) {
         exitStatus = code;
         QCoreApplication::exit(code);
       }});
  if (!sequence.Load()) return exitStatus;
  say(std::string(kStatusPreparing) + " (announcing it in " + common::Dec(intervals.wait / 1000) +
      " s)");
  QCoreApplication::exec();
  return exitStatus;
}

}  // namespace ruvane
