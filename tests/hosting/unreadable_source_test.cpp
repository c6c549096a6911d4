// A converter job run by an operator who may not read its source, or whose
// files cannot be flushed, never reports blank records or an unflushed job
// as a success.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "converter/map_job.h"
#include "converter/page_click.h"
#include "tests/support/fake_page_view.h"
#include "tests/support/run_as.h"
#include "tests/support/scratch_folder.h"

namespace vostrel {
namespace {

struct SourcePage {
  Page page;
  const char* source;
  const char* record;  // an existing record file the job must leave alone
};

const SourcePage kPages[] = {
    {Page::Items, "items.ini", "Items/Item1.dat"},
    {Page::Spells, "spells.ini", "Spells/Spell1.dat"},
    {Page::Signs, "signs.ini", "Signs/Sign1.dat"},
    {Page::Shops, "shops.ini", "Shops/Shop1.dat"},
    {Page::NPCs, "npcs.ini", "NPCs/NPC1.dat"},
};

std::string LastBox(const FakePageView& ui) {
  if (ui.messages.shown.empty()) return "no box";
  return ui.messages.shown.back().title + " | " + ui.messages.shown.back().prompt;
}

TEST(UnreadableSource, EveryKindConvertsNothingAndNamesTheFile) {
  for (const SourcePage& p : kPages) {
    SCOPED_TRACE(p.source);
    ScratchFolder server;
    chmod(server.path().c_str(), 0777);
    server.Write(p.source, "[X1]\r\nName=Sword\r\n");
    server.Write(p.record, "old record");
    const std::string record = server.At(p.record);
    chmod(server.At(p.record).substr(0, record.rfind('/')).c_str(), 0777);
    chmod(record.c_str(), 0666);
    ASSERT_EQ(chmod(server.At(p.source).c_str(), 0), 0);
    const std::string result = tests::RunAs(tests::kStranger, [&] {
      ConverterState state;
      FakePageView ui;
      const common::JobResult r =
          ConvertClick(common::ServerFolder(server.path()), state, p.page, "3", ui);
      if (common::OutcomeOf(r) != common::Outcome::kFailed) {
        return std::string("not reported as failed");
      }
      if (!ui.progress.empty()) return std::string("records were converted");
      return LastBox(ui);
    });
    EXPECT_EQ(result.rfind(std::string(kTitleUnreadable) + " | " + kPromptUnreadable, 0), 0u)
        << result;
    EXPECT_NE(result.find(std::string(p.source) + ": Permission denied"), std::string::npos)
        << result;
    EXPECT_EQ(server.Read(p.record), "old record");
  }
}

// A folder the operator may write but not read lets every record be written,
// but the flush that ends the job cannot open it: the job must not say it
// completed.
TEST(UnflushedJob, IsReportedAndNotCompleted) {
  ScratchFolder server;
  chmod(server.path().c_str(), 0777);
  server.Write("items.ini", "[ITEM1]\r\nName=Sword\r\n");
  server.Write("maps/map1.dat", "");
  chmod(server.At("maps").c_str(), 0777);
  server.MakeDir("Items");
  server.MakeDir("newmaps");
  for (const char* folder : {"Items", "newmaps"}) {
    ASSERT_EQ(chown(server.At(folder).c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod(server.At(folder).c_str(), 0333), 0);
  }
  const std::string result = tests::RunAs(tests::kStranger, [&server] {
    std::string report;
    const common::ServerFolder folder(server.path());
    ConverterState state;
    FakePageView items;
    if (common::OutcomeOf(ConvertClick(folder, state, Page::Items, "1", items)) !=
        common::Outcome::kFailed) {
      report += "items ok; ";
    }
    report += items.status[Page::Items] + " | " + LastBox(items) + "\n";
    FakePageView maps;
    if (common::OutcomeOf(MapConvertClick(folder, state, "1", 0, maps)) !=
        common::Outcome::kFailed) {
      report += "maps ok; ";
    }
    report += maps.status[Page::Maps] + " | " + LastBox(maps);
    return report;
  });
  const std::string expected =
      std::string(kStatusNotFlushed) + " | " + kTitleNotFlushed + " | " + kPromptNotFlushed;
  EXPECT_EQ(result.find(expected), 0u) << result;
  EXPECT_NE(result.find("\n" + expected), std::string::npos) << result;
  EXPECT_EQ(result.find(" ok; "), std::string::npos) << result;
  // The records themselves were written.
  chmod(server.At("Items").c_str(), 0755);
  chmod(server.At("newmaps").c_str(), 0755);
  EXPECT_TRUE(server.Exists("Items/Item1.dat"));
  EXPECT_TRUE(server.Exists("newmaps/map1.dat"));
}

}  // namespace
}  // namespace vostrel
