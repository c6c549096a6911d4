// `Ruvane --no-window` as a real process with no display: the same check,
// waits and start as the window, with each step printed.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/run_command.h"
#include "tests/support/scratch_folder.h"

namespace {

TEST(RuvaneCommand, MissingServerFailsAtOnce) {
  ScratchFolder server;
  const tests::CommandResult r =
      tests::RunProgram("Ruvane", {"--no-window", "--server-dir", server.path()});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("Server not found!: Please put this in the same folder as server.exe"),
            std::string::npos)
      << r.err;
}

// Takes the real 43 seconds: the waits are the program's own.
TEST(RuvaneCommand, StartsTheServerOnceAfterTheWaitsAndEnds) {
  ScratchFolder server;
  // Records when it started; lets go of Ruvane's output at once, so that
  // only Ruvane's own end closes it.
  server.Write("server.exe",
               "#!/bin/sh\nexec >/dev/null 2>&1 </dev/null\n"
               "echo \"$(date +%s.%N) argc=$#\" >> \"$(dirname \"$0\")/started.log\"\n");
  ASSERT_EQ(chmod(server.At("server.exe").c_str(), 0755), 0);
  const auto before = std::chrono::system_clock::now();
  const tests::CommandResult r =
      tests::RunProgram("Ruvane", {"--no-window", "--server-dir", server.path()});
  const double took =
      std::chrono::duration<double>(std::chrono::system_clock::now() - before).count();
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_GE(took, 43.0);

  std::istringstream log(server.Read("started.log"));
  double startedAt = 0;
  std::string argc, more;
  log >> startedAt >> argc;
  EXPECT_EQ(argc, "argc=0");
  EXPECT_FALSE(log >> more) << "started twice";
  const double since = startedAt - std::chrono::duration<double>(before.time_since_epoch()).count();
  EXPECT_GE(since, 38.0);
  EXPECT_LT(since, took);

  size_t at = 0;
  for (const char* step : {"Preparing to restart the server...", "Restarting the server...",
                           "The server was started"}) {
    at = r.err.find(step, at);
    EXPECT_NE(at, std::string::npos) << step << " in " << r.err;
  }
}

// Runs `command` through the shell; its status and what it printed on
// either stream.
std::pair<int, std::string> Shell(const std::string& command) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, ""};
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// The unit for `server`, saved where systemd-analyze can read it, and the
// checker's verdict (no complaint at all is a pass: it warns without failing).
void ExpectUnitVerifies(const ScratchFolder& server, const std::string& unit) {
  const std::string file = server.At("game-server.service");
  std::ofstream(file) << unit;
  const auto [status, complaints] = Shell("systemd-analyze verify '" + file + "'");
  EXPECT_EQ(status, 0) << complaints;
  EXPECT_EQ(complaints, "") << unit;
}

std::string CurrentUser() { return getpwuid(getuid())->pw_name; }

TEST(RuvaneCommand, SystemdUnitRunsTheServerAsTheLauncherWouldAndVerifies) {
  ASSERT_EQ(Shell("command -v systemd-analyze").first, 0)
      << "systemd-analyze is missing: install the Debian package systemd";
  // A native server, in a folder whose name needs quoting in a unit.
  ScratchFolder native;
  native.MakeDir("game 100% $HOME");
  const std::string dir = native.At("game 100% $HOME");
  native.Write("game 100% $HOME/Server.EXE", "#!/bin/sh\nexit 0\n");
  ASSERT_EQ(chmod((dir + "/Server.EXE").c_str(), 0755), 0);
  tests::CommandResult r = tests::RunProgram(
      "Ruvane", {"--systemd-unit", "--user", CurrentUser(), "--server-dir", dir});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.out.find("WorkingDirectory=" + native.path() + "/game 100%% $HOME\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("ExecStart=\"" + native.path() + "/game 100%% $HOME/Server.EXE\"\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("User=" + CurrentUser() + "\n"), std::string::npos);
  EXPECT_NE(r.out.find("Restart=on-failure"), std::string::npos);
  // The restart limit is read from [Unit] only.
  EXPECT_LT(r.out.find("StartLimitBurst="), r.out.find("[Service]"));
  ExpectUnitVerifies(native, r.out);

  // A Windows server.exe goes through the wine on the PATH, as the launcher
  // decides, runnable or not.
  ScratchFolder windows;
  windows.Write("server.exe", std::string("MZ\x90\0", 4));
  windows.Write("bin/wine", "#!/bin/sh\nexit 0\n");
  ASSERT_EQ(chmod(windows.At("bin/wine").c_str(), 0755), 0);
  const std::string path = std::getenv("PATH");
  setenv("PATH", (windows.At("bin") + ":" + path).c_str(), 1);
  for (mode_t mode : {0644, 0755}) {
    ASSERT_EQ(chmod(windows.At("server.exe").c_str(), mode), 0);
    r = tests::RunProgram("Ruvane", {"--systemd-unit", "--user", CurrentUser(), "--server-dir",
                                     windows.path()});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.out.find("ExecStart=\"" + windows.At("bin/wine") + "\" \"" +
                         windows.At("server.exe") + "\"\n"),
              std::string::npos)
        << r.out;
    ExpectUnitVerifies(windows, r.out);
  }
  setenv("PATH", (windows.At("none") + ":" + path).c_str(), 1);
  r = tests::RunProgram("Ruvane", {"--systemd-unit", "--user", CurrentUser(), "--server-dir",
                                   windows.path()});
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("no wine"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
}

TEST(RuvaneCommand, SystemdUnitRefusesWhatItCannotWriteOrRunAs) {
  ScratchFolder server;
  // A newline in the folder's name would start a setting of its own.
  server.MakeDir("a\nExecStartPre=/bin/false");
  const std::string odd = server.At("a\nExecStartPre=/bin/false");
  server.Write("a\nExecStartPre=/bin/false/server.exe", "#!/bin/sh\n");
  ASSERT_EQ(chmod((odd + "/server.exe").c_str(), 0755), 0);
  tests::CommandResult r =
      tests::RunProgram("Ruvane", {"--systemd-unit", "--user", CurrentUser(), "--server-dir", odd});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, "");

  // Not executable, and no Windows program: the service could never start.
  server.Write("server.exe", "#!/bin/sh\n");
  r = tests::RunProgram("Ruvane",
                        {"--systemd-unit", "--user", CurrentUser(), "--server-dir", server.path()});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("executable"), std::string::npos) << r.err;
  ASSERT_EQ(chmod(server.At("server.exe").c_str(), 0755), 0);
  r = tests::RunProgram("Ruvane", {"--systemd-unit", "--user", "no-such-user-here", "--server-dir",
                                   server.path()});
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_EQ(r.out, "");
  // Without --user the folder's owner; as root's folder that must be named.
  r = tests::RunProgram("Ruvane", {"--systemd-unit", "--server-dir", server.path()});
  if (getuid() == 0) {
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_NE(r.err.find("--user"), std::string::npos) << r.err;
  } else {
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.out.find("User=" + CurrentUser() + "\n"), std::string::npos);
  }
  EXPECT_EQ(tests::RunProgram("Ruvane", {"--user", "root", "--no-window"}).exitStatus, 2);
  ScratchFolder empty;
  r = tests::RunProgram("Ruvane", {"--systemd-unit", "--user", "root", "--server-dir", empty.path()});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("Server not found!"), std::string::npos) << r.err;
}

TEST(RuvaneCommand, HelpAndVersionAreOursAlone) {
  tests::CommandResult r = tests::RunProgram("Ruvane", {"--help"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_NE(r.out.find("--systemd-unit"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("--help-all"), std::string::npos) << r.out;
  EXPECT_EQ(tests::RunProgram("Ruvane", {"--help-all"}).exitStatus, 2);
  EXPECT_EQ(tests::RunProgram("Ruvane", {"-v"}).exitStatus, 2);
  r = tests::RunProgram("Ruvane", {"--version"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, "Ruvane " TOOLS_VERSION "\n");
}

}  // namespace
