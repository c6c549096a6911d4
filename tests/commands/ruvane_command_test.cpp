// `Ruvane --no-window` as a real process with no display: the same check,
// waits and start as the window, with each step printed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
  tests::CopyStandIn(server.At("server.exe"));  // waits a minute, holding what it was given
  const auto before = std::chrono::steady_clock::now();
  tests::CommandResult r;
  std::thread first([&] {
    r = tests::RunProgram("Ruvane", {"--no-window", "--server-dir", server.path()});
  });
  // The second starts once the first holds the folder's lock (seen in
  // /proc/locks, so that looking cannot take it from under the first).
  struct stat folder;
  ASSERT_EQ(stat(server.path().c_str(), &folder), 0);
  const std::string inode = ":" + std::to_string(folder.st_ino) + " ";
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
      std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();

  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_GE(took, 43.0);
  EXPECT_LT(took, 55.0) << "the server held Ruvane's output";
  ASSERT_FALSE(r.out.empty()) << r.err;
  EXPECT_EQ(r.out.back(), '\n');
  const pid_t pid = std::atoi(r.out.c_str());
  ASSERT_GT(pid, 0) << r.out;
  const std::string proc = "/proc/" + std::to_string(pid);
  EXPECT_EQ(fs::read_symlink(proc + "/exe"), fs::canonical(server.At("server.exe")));
  EXPECT_EQ(fs::read_symlink(proc + "/cwd"), fs::canonical(server.path()));
  EXPECT_EQ(fs::read_symlink(proc + "/fd/0"), "/dev/null");
  for (const char* fd : {"/fd/1", "/fd/2"}) {
    EXPECT_EQ(fs::read_symlink(proc + fd), fs::canonical(server.At("server-output.log"))) << fd;
  }
  // Started once: the one process found is the one printed.
  const std::vector<common::ServerProcess> running = common::FindServerProcesses(server.path());
  ASSERT_EQ(running.size(), 1u);
  EXPECT_EQ(running[0].pid, pid);
  kill(pid, SIGKILL);

  size_t at = 0;
  for (const char* step : {"Preparing to restart the server...", "Restarting the server...",
                           "The server was started"}) {
    at = r.err.find(step, at);
    EXPECT_NE(at, std::string::npos) << step << " in " << r.err;
  }
}

}  // namespace
