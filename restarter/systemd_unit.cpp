#include "restarter/systemd_unit.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "common/program_folder.h"
#include "common/text_util.h"

namespace ruvane {

namespace {

std::string Dec(int n) { return common::Dec(n); }

bool HoldsControl(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) return true;
  }
  return false;
}

// A value where the init system expands "%" specifiers.
std::string Specifiers(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

// One word of a command line, quoted: no splitting, no specifiers,
// backslashes and quotes kept, and no "$" variables in the arguments (the
// program's own path is never searched for them).
std::string Word(const std::string& word, bool program) {
  std::string out = "\"";
  for (char c : word) {
    if (c == '\\' || c == '"') out += '\\';
    if (c == '%' || (c == '$' && !program)) out += c;
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::vector<std::string> UnitCommand(const LaunchPlan& plan) {
  return plan.fallbackArgv.empty() ? plan.argv : plan.fallbackArgv;
}

common::Status WriteUnit(const UnitSettings& settings, std::string* unit) {
  const std::string& dir = settings.serverDir;
  if (dir.empty() || dir[0] != '/') {
    return common::Status::InvalidArgument("the server folder " + dir + " is not an absolute path");
  }
  if (HoldsControl(dir) || dir.find("/./") != std::string::npos ||
      dir.find("/../") != std::string::npos || dir.back() == ' ' || dir[1] == ' ') {
    return common::Status::InvalidArgument(
        "the server folder's path cannot be written in a unit file (it holds control "
        "characters, . or .., or ends in a space)");
  }
  if (settings.exec.empty()) return common::Status::InvalidArgument("no program to run");
  for (const std::string& word : settings.exec) {
    if (HoldsControl(word) || word.empty()) {
      return common::Status::InvalidArgument(
          "the server's command line cannot be written in a unit file");
    }
  }
  const std::string& user = settings.user;
  if (user.empty() || HoldsControl(user) || user.find_first_of(" \t\"'\\%") != std::string::npos) {
    return common::Status::InvalidArgument("the user name " + user +
                                           " cannot be written in a unit file");
  }
  std::string command;
  for (const std::string& word : settings.exec) {
    command += command.empty() ? Word(word, true) : " " + Word(word, false);
  }

  std::string& out = *unit;
  out.clear();
  out += "# The game server in " + dir + " as a service of the init system.\n";
  out += "# Save this as /etc/systemd/system/game-server.service (as root; another\n";
  out += "# name for each server), then:\n";
  out += "#   systemctl daemon-reload\n";
  out += "#   systemctl enable --now game-server.service\n";
  out += "# A restart is then \"systemctl restart game-server.service\", a stop\n";
  out += "# \"systemctl stop game-server.service\", and what the server prints is in\n";
  out += "# \"journalctl -u game-server.service\".\n";
  out += "[Unit]\n";
  out += "Description=Game server in " + Specifiers(dir) + "\n";
  out += "Wants=network-online.target\n";
  out += "After=network-online.target\n";
  out += "# A server that crashes " + Dec(kUnitStartLimit) + " times within " +
         Dec(kUnitStartInterval / 60) + " minutes is left stopped\n";
  out += "# (until \"systemctl reset-failed\" or a start by hand).\n";
  out += "StartLimitIntervalSec=" + Dec(kUnitStartInterval) + "\n";
  out += "StartLimitBurst=" + Dec(kUnitStartLimit) + "\n";
  out += "\n[Service]\n";
  out += "Type=simple\n";
  out += "User=" + user + "\n";
  out += "WorkingDirectory=" + Specifiers(dir) + "\n";
  out += "ExecStart=" + command + "\n";
  out += "Restart=on-failure\n";
  out += "RestartSec=" + Dec(kUnitRestartDelay) + "\n";
  out += "StandardInput=null\n";
  out += "StandardOutput=journal\n";
  out += "StandardError=journal\n";
  out += "# A stop asks the server to end and gives it " + Dec(kUnitStopTimeout) +
         " s to save before it is killed.\n";
  out += "KillSignal=SIGTERM\n";
  out += "TimeoutStopSec=" + Dec(kUnitStopTimeout) + "\n";
  out += "NoNewPrivileges=yes\n";
  out += "\n[Install]\n";
  out += "WantedBy=multi-user.target\n";
  return common::Status::OK();
}

common::Status ServerUnitSettings(const std::string& user, const std::string& searchPath,
                                  UnitSettings* settings) {
  settings->serverDir = common::ProgramFolder();
  std::string path;
  FileFacts facts;
  if (common::Status s = FindServer(&path, &facts); s.IsNotFound()) {
    return common::Status::NotFound("there is no server.exe in " + settings->serverDir);
  } else if (!s.ok()) {
    return s;
  }
  std::string wine = FindOnPath("wine", searchPath);
  if (facts.windowsImage && wine.empty()) {
    return common::Status::NotFound(
        "server.exe is a Windows program, and there is no wine on the PATH to run it");
  }
  // The init system would refuse it only when it starts the service.
  if (!facts.windowsImage && !facts.runnable) {
    return common::Status::IOError("server.exe in " + settings->serverDir +
                                   " is not a program this system can run (is it executable?)");
  }
  // A PATH entry relative to our working folder means nothing to the unit.
  if (!wine.empty() && wine[0] != '/') {
    char* here = getcwd(nullptr, 0);
    if (here) wine = std::string(here) + "/" + wine;
    free(here);
  }
  settings->exec = UnitCommand(PlanLaunch(path, facts, wine));

  if (!user.empty()) {
    const struct passwd* pw = getpwnam(user.c_str());
    if (!pw) return common::Status::InvalidArgument("there is no user " + user + " on this system");
    settings->user = pw->pw_name;
    return common::Status::OK();
  }
  // The server's account owns its folder; the root of the system should not
  // run a server that faces the internet unless named on purpose.
  struct stat st;
  if (stat(settings->serverDir.c_str(), &st) != 0) {
    return common::PosixError("server folder " + settings->serverDir, errno);
  }
  const struct passwd* pw = getpwuid(st.st_uid);
  if (st.st_uid == 0 || !pw) {
    return common::Status::InvalidArgument(
        "the server folder belongs to " + std::string(st.st_uid == 0 ? "root" : "no known user") +
        "; name the account the server is to run as with --user NAME");
  }
  settings->user = pw->pw_name;
  return common::Status::OK();
}

}  // namespace ruvane
