// `Ruvane --no-window` as a real process with no display: the same check,
// waits and start as the window, with each step printed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
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

}  // namespace
