#include "restarter/restart_command.h"

#include <QCoreApplication>
#include <QObject>
#include <cstdio>
#include <cstdlib>

#include "common/cli/command_line.h"
#include "common/text_util.h"
#include "restarter/restart_sequence.h"
#include "restarter/startup_check.h"
#include "restarter/systemd_unit.h"

namespace ruvane {

namespace {

namespace cli = common::cli;

const QString kNoWindow = QStringLiteral("no-window");
const QString kSystemdUnit = QStringLiteral("systemd-unit");
const QString kUser = QStringLiteral("user");

int PrintSystemdUnit(const QString& user) {
  cli::ConsoleMessages messages;
  // The same check and box as a restart.
  if (!CheckServerPresent(messages)) return cli::kExitFailed;
  UnitSettings settings;
  const char* searchPath = std::getenv("PATH");
  common::Status s =
      ServerUnitSettings(user.toLocal8Bit().toStdString(), searchPath ? searchPath : "", &settings);
  if (!s.ok()) {
    cli::PrintErr("Ruvane: " + s.message());
    // An unknown user, or one that must be named, is the caller's to fix.
    return s.code() == common::Status::Code::kInvalidArgument ? cli::kExitUsage : cli::kExitFailed;
  }
  std::string unit;
  if (s = WriteUnit(settings, &unit); !s.ok()) {
    cli::PrintErr("Ruvane: " + s.message());
    return cli::kExitFailed;
  }
  std::fwrite(unit.data(), 1, unit.size(), stdout);
  std::fflush(stdout);
  return cli::kExitDone;
}

}  // namespace

const cli::Manual& Manual() {
  static const cli::Manual manual{
      "Ruvane",
      "restart a game server after a fixed delay, or print a systemd unit for it",
      "Ruvane restarts the game server of its server folder. It checks that server.exe lies "
      "there, waits 35 seconds, announces the restart, waits 3 seconds more, starts server.exe "
      "and ends 5 seconds later, leaving the server running on its own. The waits give a server "
      "that is shutting down time to end first. Without --no-window it shows each step in a "
      "window; closing the window before the start ends it and starts nothing.\n\n"
      "A server.exe that is a Windows program (its first bytes are \"MZ\") is started through "
      "wine when the system cannot run it by itself and wine is on the PATH; any other "
      "server.exe is started directly. The server gets no arguments and a session of its "
      "own; it starts in the server folder, its input from /dev/null and its output and "
      "errors appended to server-output.log there. Started by root, the server never runs as "
      "root while another account could change it: it runs as the owner of the server folder, "
      "or, when root owns the folder, as the owner of server.exe (or of the link by that "
      "name), with that account's groups and home; only when root owns all of them does it "
      "run as root.\n\n"
      "Ruvane refuses a second restart of the same server folder while one runs, and does not "
      "start a second server while this folder's server.exe still runs (\"The server is still "
      "running; not started.\").",
      {"[--server-dir DIR]", "--no-window [--quiet] [--server-dir DIR]",
       "--systemd-unit [--user NAME] [--server-dir DIR]"},
      {},
      {{"no-window", nullptr,
        "Restart the server with no window: each step is printed on standard error, and the "
        "started server's process id alone on standard output."},
       {"systemd-unit", nullptr,
        "Print, on standard output, a systemd unit that runs this folder's server.exe as a "
        "service (see RUNNING AS A SERVICE), and end."},
       {"user", "NAME",
        "With --systemd-unit: the account the server runs as (default: the owner of the server "
        "folder, unless that is root).",
        "--systemd-unit", cli::Completion::kUser}},
      {},
      {{0, "the server was started, or the unit printed"},
       {1,
        "server.exe is missing or could not be started, another restart of the folder is "
        "under way, the folder's server is still running, or no unit could be made for it"},
       {2,
        "bad usage: an unknown option, a --user that does not exist, or none given for a "
        "server folder that belongs to root"}},
      {{"server.exe",
        "The game server, started in the server folder (through wine when it is a "
        "Windows program). Its name is found without regard to case."},
       {"server-output.log",
        "In the server folder: what the started server prints, appended. Refused when it is a "
        "link, a FIFO or a file with more than one name."},
       {"server-tools.journal",
        "In the server folder: one line of JSON appended for each start (time, user, the "
        "server's process id), shared with Vostrel and Calmet; read it with Calmet journal. One "
        "that cannot be written is a warning, and the server is started all the same."}},
      {{"RUNNING AS A SERVICE",
        "On a system run by systemd the init system can keep the server alive instead: restart "
        "it after a crash, with a limit on crash loops, stop it cleanly, and keep what it "
        "prints in the journal. Ruvane --systemd-unit prints such a unit for the server folder: "
        "server.exe (through wine for a Windows program) with the server folder as working "
        "folder, run as --user NAME, restarted 10 seconds after a failure but left stopped "
        "after 5 failures within 10 minutes, its output in the journal, and stopped with "
        "SIGTERM and 2 minutes to save before it is killed. Install and enable it as root:\n"
        "  Ruvane --systemd-unit --user game --server-dir /srv/game \\\n"
        "      > /etc/systemd/system/game-server.service\n"
        "  systemctl daemon-reload\n"
        "  systemctl enable --now game-server.service\n\n"
        "The operator's restart is then systemctl restart game-server.service (which stops "
        "the server, waits for it, and starts it again), and what it printed is in journalctl "
        "-u game-server.service. Ruvane itself is not needed for that; do not run both on the "
        "same server folder."}},
      {{"--no-window --server-dir /srv/game",
        "Restart the server in /srv/game from a script, with no display:"},
       {"--systemd-unit --user game --server-dir /srv/game",
        "Print a unit that runs the server in /srv/game as the user game:"}},
      {"Vostrel(1)", "Calmet(1)", "systemctl(1)", "systemd.service(5)"},
      "ruvane",
      "Game Server Restarter",
      "game;server;restart;",
  };
  return manual;
}

int RunCommand(QCommandLineParser& parser) {
  if (!parser.positionalArguments().isEmpty()) {
    return cli::UsageError("unknown command " + parser.positionalArguments().first());
  }
  if (parser.isSet(kUser) && !parser.isSet(kSystemdUnit)) {
    return cli::UsageError("--user goes with --systemd-unit only");
  }
  if (parser.isSet(kSystemdUnit)) {
    if (parser.isSet(kNoWindow)) return cli::UsageError("give --no-window or --systemd-unit");
    if (parser.isSet(kUser) && parser.value(kUser).isEmpty()) {
      return cli::UsageError("--user needs a name");
    }
    return PrintSystemdUnit(parser.value(kUser));
  }
  if (!parser.isSet(kNoWindow)) {
    return cli::UsageError("give --no-window to restart, or --systemd-unit");
  }
  const bool quiet = parser.isSet("quiet");
  auto say = [quiet](const std::string& text) {
    if (!quiet) cli::PrintErr(text);
  };

  cli::ConsoleMessages messages;
  ProcessServerStarter starter;
  QObject owner;
  const Intervals intervals;
  int exitStatus = cli::kExitDone;
  const RestartSequence* sequence = nullptr;
  RestartSequence running(
      &owner, intervals,
      {&messages, &starter,
       [&](Step step) {
         if (step == Step::kAnnounced) {
           say(std::string(kStatusRestarting) + " (starting it in " +
               common::Dec(intervals.activate / 1000) + " s)");
         } else {
           // For scripts, even with --quiet.
           cli::PrintOut(common::Dec(starter.started()));
           if (const std::string as = starter.runsAs(); !as.empty()) {
             say("The server runs as " + as + ", not as root.");
           }
           if (const common::Status& j = sequence->result().journal; !j.ok()) {
             cli::PrintErr(std::string(kJournalWarning) + ": " + j.ToString());
           }
           say("The server was started; ending in " + common::Dec(intervals.end / 1000) + " s.");
         }
       },
       [&](const RestartResult& result) {
         exitStatus = ExitCodeOf(result);
         QCoreApplication::exit(exitStatus);
       }});
  sequence = &running;
  if (!running.Load()) return exitStatus;
  say(std::string(kStatusPreparing) + " (announcing it in " + common::Dec(intervals.wait / 1000) +
      " s)");
  QCoreApplication::exec();
  return exitStatus;
}

}  // namespace ruvane
