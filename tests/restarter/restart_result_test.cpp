// How a restart's result becomes the program's exit status: only a started
// server, or a restart the operator called off, is a success.
#include <gtest/gtest.h>

#include "restarter/restart_sequence.h"

namespace ruvane {
namespace {

RestartResult Loaded() {
  RestartResult r;
  r.job.first = r.job.last = 1;
  r.job.started = true;
  return r;
}

TEST(RestartResult, OnlyAStartedServerOrAWindowClosedFirstIsASuccess) {
  RestartResult started = Loaded();
  started.job.done = 1;
  started.server = 4242;
  EXPECT_EQ(ExitCodeOf(started), 0);

  RestartResult closed = Loaded();
  closed.job.stopped = true;
  EXPECT_EQ(ExitCodeOf(closed), 0);

  RestartResult stillRunning = Loaded();
  stillRunning.job.problems.push_back({1, "server.exe", common::Status::Aborted("running"),
                                       common::ItemProblem::Kind::kFailed});
  EXPECT_EQ(ExitCodeOf(stillRunning), 1);
  stillRunning.job.stopped = true;
  EXPECT_EQ(ExitCodeOf(stillRunning), 1) << "a failure stays one when the window closes after";

  RestartResult locked;  // another restart held the folder: never started
  locked.job.status = common::Status::Aborted("under way");
  EXPECT_EQ(ExitCodeOf(locked), 1);
  EXPECT_EQ(common::OutcomeOf(locked.job), common::Outcome::kFailed);
}

}  // namespace
}  // namespace ruvane
