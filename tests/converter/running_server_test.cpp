// The Convert clicks with this folder's server running: the window asks
// first (No by default) and writes nothing on No; the command line refuses.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "converter/map_job.h"
#include "converter/profile_jobs.h"
#include "tests/support/fake_job_ui.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/stand_in.h"

namespace vostrel {
namespace {

class RefusingJobUi : public FakeJobUi {
 public:
  common::ServerCheck ServerCheckMode() override { return common::ServerCheck::kRefuse; }
};

class RunningServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.Write("signs.ini", "[SIGN1]\r\nMsg=Welcome\r\n");
    server.Write("maps/map1.dat", std::string(64, '\0'));
    tests::CopyStandIn(server.At("server.exe"));
    running.emplace("./server.exe", std::vector<std::string>{"./server.exe"}, server.path());
    ASSERT_TRUE(running->started());
    who = "The game server of this folder is running (process " + std::to_string(running->pid()) +
          ")";
  }

  ScratchFolder server;
  std::optional<tests::StandInProcess> running;
  std::string who;
  ConverterState state;
};

TEST_F(RunningServerTest, TheWindowAsksAndNoWritesNothing) {
  FakeJobUi ui;  // answers No unless told otherwise
  EXPECT_EQ(ConvertClick(state, Page::Signs, "3", ui), JobOutcome::kServerRunning);
  EXPECT_EQ(MapConvertClick(state, "3", 0, ui), JobOutcome::kServerRunning);
  EXPECT_FALSE(server.Exists("Signs"));
  EXPECT_FALSE(server.Exists("newmaps") || server.Exists("Newmaps"));
  EXPECT_TRUE(ui.statusHistory.empty()) << ui.statusHistory.front();
  ASSERT_EQ(ui.messages.shown.size(), 2u);
  for (const ShownMessage& m : ui.messages.shown) {
    EXPECT_EQ(m.title, "Server running");
    EXPECT_EQ(m.buttons, common::MsgButtons::YesNoDefaultNo);
    EXPECT_EQ(m.prompt.rfind(who + ".", 0), 0u) << m.prompt;
  }

  ui.messages.answers = {common::MsgAnswer::Yes};
  EXPECT_EQ(ConvertClick(state, Page::Signs, "3", ui), JobOutcome::kCompleted);
  EXPECT_TRUE(server.Exists("Signs/Sign3.dat"));
}

TEST_F(RunningServerTest, TheCommandLineRefusesWithAReasonAndWritesNothing) {
  RefusingJobUi ui;
  EXPECT_EQ(ConvertClick(state, Page::Signs, "3", ui), JobOutcome::kServerRunning);
  EXPECT_EQ(MapConvertClick(state, "3", 0, ui), JobOutcome::kServerRunning);
  EXPECT_FALSE(server.Exists("Signs"));
  EXPECT_FALSE(server.Exists("newmaps") || server.Exists("Newmaps"));
  ASSERT_EQ(ui.messages.shown.size(), 2u);
  EXPECT_EQ(ui.messages.shown[0].prompt,
            "Nothing was converted: " + who +
                ". Stop the server first, or give --force to write anyway.");
  EXPECT_EQ(ui.messages.shown[0].icon, common::MsgIcon::Stop);

  // Once the server has ended the same job runs.
  running->Stop();
  EXPECT_EQ(ConvertClick(state, Page::Signs, "3", ui), JobOutcome::kCompleted);
  EXPECT_TRUE(server.Exists("Signs/Sign3.dat"));
}

}  // namespace
}  // namespace vostrel
