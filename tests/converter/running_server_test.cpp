// The Convert clicks of the window with this folder's server running: the
// question comes first (No by default), and No writes nothing.
#include <gtest/gtest.h>

#include <string>

#include "converter/page_click.h"
#include "tests/support/fake_page_view.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/stand_in.h"

namespace vostrel {
namespace {

TEST(RunningServer, TheWindowAsksBeforeEveryJobAndNoWritesNothing) {
  ScratchFolder server;
  server.Write("signs.ini", "[SIGN1]\r\nMsg=Welcome\r\n");
  server.Write("maps/map1.dat", std::string(64, '\0'));
  tests::CopyStandIn(server.At("server.exe"));
  tests::StandInProcess running("./server.exe", {"./server.exe"}, server.path());
  ASSERT_TRUE(running.started());
  const common::ServerFolder folder(server.path());
  ConverterState state;
  FakePageView ui;  // answers No unless told otherwise

  for (const common::JobResult& r : {ConvertClick(folder, state, Page::Signs, "3", ui),
                                     MapConvertClick(folder, state, "3", 0, ui)}) {
    EXPECT_FALSE(r.started) << r.job;
    EXPECT_TRUE(r.status.IsAborted()) << r.job << ": " << r.status.message();
  }
  EXPECT_FALSE(server.Exists("Signs") || server.Exists("Newmaps"));
  EXPECT_TRUE(ui.statusHistory.empty());
  ASSERT_EQ(ui.messages.shown.size(), 2u);
  for (const ShownMessage& m : ui.messages.shown) {
    EXPECT_EQ(m.buttons, common::MsgButtons::YesNoDefaultNo);
    EXPECT_NE(m.prompt.find("(process " + std::to_string(running.pid()) + ")"), std::string::npos);
  }

  ui.messages.answers = {common::MsgAnswer::Yes};
  EXPECT_EQ(common::OutcomeOf(ConvertClick(folder, state, Page::Signs, "3", ui)),
            common::Outcome::kCompleted);
  EXPECT_TRUE(server.Exists("Signs/Sign3.dat"));
}

}  // namespace
}  // namespace vostrel
