// `Ruvane --no-window` as a real process with no display: the same check,
// waits and start as the window, with each step printed.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/server_process.h"
#include "tests/support/run_command.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/stand_in.h"

namespace {

namespace fs = std::filesystem;

TEST(RuvaneCommand, MissingServerFailsAtOnce) {
  ScratchFolder server;
  const tests::CommandResult r =
      tests::RunProgram("Ruvane", {"--no-window", "--server-dir", server.path()});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("Server not found!: Please put this in the same folder as server.exe"),
            std::string::npos)
      << r.err;
}

// Takes the real 43 seconds: the waits are the program's own. Meanwhile a
// second restart of the same folder is refused, and the server started
// holds nothing of Ruvane's: its output goes to the log in its folder, so a
// caller reading Ruvane's output (`Ruvane --no-window | cat`) is done when
// Ruvane is.
TEST(RuvaneCommand, StartsTheServerOnceInItsFolderAfterTheWaitsAndEnds) {
  ScratchFolder server;
  // Records when and how it started (relative to its working folder), then
  // waits a minute as the stand-in, holding the output it was given.
  tests::CopyStandIn(server.At("stand-in"));
  server.Write("server.exe",
               "#!/bin/sh\necho \"$(date +%s.%N) argc=$#\" >> started.log\n"
               "exec ./stand-in \"$0\"\n");
  ASSERT_EQ(chmod(server.At("server.exe").c_str(), 0755), 0);
  struct stat folder;
  ASSERT_EQ(stat(server.path().c_str(), &folder), 0);
  const std::string inode = ":" + std::to_string(folder.st_ino) + " ";
  const auto before = std::chrono::system_clock::now();
  tests::CommandResult r;
  std::thread first([&] {
    r = tests::RunProgram("Ruvane", {"--no-window", "--server-dir", server.path()});
  });
  // The second starts once the first holds the folder's lock (seen in
  // /proc/locks, so that looking cannot take it from under the first).
  bool locked = false;
  for (int i = 0; i < 400 && !locked; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ifstream locks("/proc/locks");
    for (std::string line; !locked && std::getline(locks, line);) {
      locked = line.find("FLOCK") != std::string::npos && line.find(inode) != std::string::npos;
    }
  }
  EXPECT_TRUE(locked) << "the first Ruvane never took the lock";
  const tests::CommandResult second =
      tests::RunProgram("Ruvane", {"--no-window", "--server-dir", server.path()});
  EXPECT_EQ(second.exitStatus, 1);
  EXPECT_NE(second.err.find("Ruvane: Another restart of this server is already under way."),
            std::string::npos)
      << second.err;
  EXPECT_EQ(second.out, "");
  first.join();
  const double took =
      std::chrono::duration<double>(std::chrono::system_clock::now() - before).count();

  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_GE(took, 43.0);
  EXPECT_LT(took, 55.0) << "the server held Ruvane's output";
  // Started once: the one process found is the one printed, in its folder.
  const std::vector<common::ServerProcess> running = common::FindServerProcesses(server.path());
  ASSERT_EQ(running.size(), 1u);
  EXPECT_EQ(r.out, std::to_string(running[0].pid) + "\n");
  const std::string proc = "/proc/" + std::to_string(running[0].pid);
  EXPECT_EQ(fs::read_symlink(proc + "/cwd"), fs::canonical(server.path()));
  EXPECT_EQ(fs::read_symlink(proc + "/fd/1"), fs::canonical(server.At("server-output.log")));
  kill(running[0].pid, SIGKILL);
  // The start, and only it, is in the journal, with the same process id.
  const std::string journal = server.Read("server-tools.journal");
  EXPECT_EQ(std::count(journal.begin(), journal.end(), '\n'), 1) << journal;
  EXPECT_NE(journal.find("\"action\":\"start\""), std::string::npos) << journal;
  EXPECT_NE(journal.find("\"pid\":" + std::to_string(running[0].pid) + ","), std::string::npos)
      << journal;

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
