// `Ruvane --no-window` as a real process with no display: the same check,
// waits and start as the window, with each step printed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
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

}  // namespace
