// The Convert click and the profile-file jobs, driven without a window.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "converter/page_click.h"
#include "tests/support/fake_page_view.h"
#include "tests/support/scratch_folder.h"

namespace vostrel {
namespace {

class ConvertJobTest : public ::testing::Test {
 protected:
  // items.ini with sections ITEM1 to ITEM<count>, each with its own name.
  void WriteItems(int count, const std::string& extra = "") {
    std::string ini;
    for (int n = 1; n <= count; ++n) {
      ini += "[ITEM" + std::to_string(n) + "]\r\nName=Item number " + std::to_string(n) +
             "\r\nType=1\r\n";
    }
    server.Write("items.ini", ini + extra);
  }

  bool HasItem(int n) { return server.Exists("Items/Item" + std::to_string(n) + ".dat"); }

  // The highest N with a file, checking that 1..N all have one.
  int ItemsConverted() {
    int n = 0;
    while (HasItem(n + 1)) ++n;
    return n;
  }

  ScratchFolder server;
  common::ServerFolder folder{server.path()};
  ConverterState state;
  FakePageView ui;
};

TEST_F(ConvertJobTest, ProgressIsRoundedHalfToEven) {
  WriteItems(8);
  ConvertClick(folder, state, Page::Items, "3", ui);
  EXPECT_EQ(ui.progress, (std::vector<int>{33, 67, 100}));
  EXPECT_EQ(state.ProgressPercent, 100);

  ui.progress.clear();
  ConvertClick(folder, state, Page::Items, "8", ui);
  EXPECT_EQ(ui.progress, (std::vector<int>{12, 25, 38, 50, 62, 75, 88, 100}));

  ui.progress.clear();
  ConvertClick(folder, state, Page::Items, "1", ui);
  EXPECT_EQ(ui.progress, (std::vector<int>{100}));
  EXPECT_EQ(ItemsConverted(), 8);
}

TEST_F(ConvertJobTest, ClickRunsTheJobWithStatusAndOnePumpPerRecord) {
  WriteItems(2);
  ConvertClick(folder, state, Page::Items, "4", ui);
  EXPECT_EQ(ui.statusHistory, (std::vector<std::string>{kStatusInitiated, kStatusCompleted}));
  EXPECT_EQ(ui.status[Page::Items], kStatusCompleted);
  EXPECT_EQ(ui.pumps, 4);
  EXPECT_EQ(state.MaxItems, 4);
  ASSERT_EQ(state.ItemTable.size(), 5u);
  EXPECT_EQ(state.ItemTable[2].Name, "Item number 2       ");
  // Numbers beyond the sections still get their files, built from empty values.
  EXPECT_EQ(ItemsConverted(), 4);
  EXPECT_EQ(server.Read("Items/Item4.dat").substr(0, 20), std::string(20, ' '));
  EXPECT_TRUE(ui.messages.shown.empty());
}

TEST_F(ConvertJobTest, MaximumFollowsTheNumericTextRule) {
  const struct {
    const char* text;
    int records;
  } cases[] = {{"12abc", 12}, {"2.5", 2}, {"3.5", 4}, {" 1 0", 10}, {"&H3", 3}};
  WriteItems(3);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::filesystem::remove_all(server.At("Items"));
    ConvertClick(folder, state, Page::Items, c.text, ui);
    EXPECT_EQ(ItemsConverted(), c.records);
    EXPECT_EQ(state.MaxItems, c.records);
  }
}

TEST_F(ConvertJobTest, MaximumBelowOneConvertsNothingOnEveryPage) {
  for (const char* ini : {"items.ini", "spells.ini", "signs.ini", "shops.ini", "npcs.ini"}) {
    server.Write(ini, "");
  }
  for (Page page : {Page::Items, Page::Spells, Page::Signs, Page::Shops, Page::NPCs}) {
    for (const char* text : {"0", "-5", "   ", "abc"}) {
      SCOPED_TRACE(std::string(text) + " on page " + std::to_string(static_cast<int>(page)));
      ui.statusHistory.clear();
      ui.pumps = 0;
      ConvertClick(folder, state, page, text, ui);
      EXPECT_EQ(ui.statusHistory, (std::vector<std::string>{kStatusInitiated, kStatusCompleted}));
      EXPECT_EQ(ui.pumps, 0);
      EXPECT_TRUE(ui.messages.shown.empty());
    }
  }
  EXPECT_FALSE(HasItem(1));
}

TEST_F(ConvertJobTest, MaximumBeyondSixteenBitsIsRefused) {
  WriteItems(1);
  ConvertClick(folder, state, Page::Items, "2", ui);
  ui.statusHistory.clear();
  for (const char* text : {"40000", "-40000", "32767.5", "1E10"}) {
    SCOPED_TRACE(text);
    ui.messages.shown.clear();
    ConvertClick(folder, state, Page::Items, text, ui);
    ASSERT_EQ(ui.messages.shown.size(), 1u);
    EXPECT_EQ(ui.messages.shown[0].prompt, kPromptBadMaximum);
    EXPECT_EQ(ui.messages.shown[0].title, kTitleBadMaximum);
    EXPECT_EQ(ui.messages.shown[0].buttons, common::MsgButtons::Ok);
  }
  EXPECT_TRUE(ui.statusHistory.empty());
  EXPECT_EQ(state.MaxItems, 2);
  EXPECT_EQ(state.ItemTable.size(), 3u);  // the last job's table is kept
  EXPECT_FALSE(HasItem(3));

  // The edges of the range are taken.
  EXPECT_EQ(ReadMaximum("32767", ui.messages), std::optional<int16_t>(32767));
  EXPECT_EQ(ReadMaximum("-32768", ui.messages), std::optional<int16_t>(-32768));
  EXPECT_EQ(ReadMaximum("32766.5", ui.messages), std::optional<int16_t>(32766));
}

TEST_F(ConvertJobTest, EmptyTextDoesNothingAtAll) {
  ConvertClick(folder, state, Page::Items, "", ui);  // items.ini is missing, too
  EXPECT_TRUE(ui.messages.shown.empty());
  EXPECT_TRUE(ui.statusHistory.empty());
  EXPECT_EQ(ui.pumps, 0);
  EXPECT_FALSE(server.Exists("Items"));
}

TEST_F(ConvertJobTest, MissingSourceShowsThePagesPrompt) {
  const struct {
    Page page;
    const char* prompt;
  } cases[] = {
      {Page::Items, "Please place this in the same folder as items.ini"},
      {Page::Spells, "Please place this in the same folder as spells.ini"},
      {Page::Signs, "Please place this in the same folder as signs.ini"},
      {Page::Shops, "Please place this in the same folder as shops.ini"},
      {Page::NPCs, "Please place this in the same folder as npcs.ini"},
  };
  server.MakeDir("items.ini");  // a folder is not the file
  for (const auto& c : cases) {
    ui.messages.shown.clear();
    ConvertClick(folder, state, c.page, "5", ui);
    ASSERT_EQ(ui.messages.shown.size(), 1u);
    EXPECT_EQ(ui.messages.shown[0].prompt, c.prompt);
    EXPECT_EQ(ui.messages.shown[0].title, kTitleFileNotFound);
    EXPECT_EQ(ui.messages.shown[0].buttons, common::MsgButtons::Ok);
    EXPECT_EQ(ui.messages.shown[0].icon, common::MsgIcon::None);
  }
  EXPECT_TRUE(ui.statusHistory.empty());
  EXPECT_EQ(ui.pumps, 0);
}

TEST_F(ConvertJobTest, SourceNameMatchesWithoutRegardToCase) {
  server.Write("ITEMS.INI", "[item1]\r\nname=Upper\r\n");
  ConvertClick(folder, state, Page::Items, "1", ui);
  EXPECT_TRUE(ui.messages.shown.empty());
  EXPECT_EQ(server.Read("Items/Item1.dat").substr(0, 5), "Upper");
}

TEST_F(ConvertJobTest, OutputFolderIsCreatedOrReused) {
  WriteItems(2);
  // Missing: created.
  ConvertClick(folder, state, Page::Items, "2", ui);
  EXPECT_EQ(ItemsConverted(), 2);

  // Existing in another case and empty: used as it is, no second folder.
  std::filesystem::remove_all(server.At("Items"));
  server.MakeDir("ITEMS");
  ConvertClick(folder, state, Page::Items, "2", ui);
  EXPECT_TRUE(server.Exists("ITEMS/Item2.dat"));
  EXPECT_FALSE(server.Exists("Items"));
  EXPECT_TRUE(ui.messages.shown.empty());
}

TEST_F(ConvertJobTest, SkippedRecordsAreListedAfterTheJob) {
  WriteItems(4, "[ITEM5]\r\nName=Broken\r\nType=256\r\n[ITEM6]\r\nName=After\r\n");
  server.Write("Items/Item5.dat", "old five");
  ConvertClick(folder, state, Page::Items, "7", ui);

  EXPECT_EQ(server.Read("Items/Item5.dat"), "old five");
  EXPECT_TRUE(HasItem(6));
  EXPECT_TRUE(HasItem(7));
  EXPECT_EQ(ui.status[Page::Items], kStatusCompleted);
  EXPECT_EQ(ui.progress.size(), 7u);
  ASSERT_EQ(ui.messages.shown.size(), 1u);
  const ShownMessage& box = ui.messages.shown[0];
  EXPECT_EQ(box.title, kTitleSkipped);
  EXPECT_NE(box.prompt.find("1 record was not converted"), std::string::npos) << box.prompt;
  EXPECT_NE(box.prompt.find("Record 5: "), std::string::npos) << box.prompt;
  EXPECT_NE(box.prompt.find("Type"), std::string::npos) << box.prompt;
  EXPECT_NE(box.prompt.find("256"), std::string::npos) << box.prompt;
  EXPECT_EQ(box.prompt.find("Record 6"), std::string::npos) << box.prompt;
}

TEST_F(ConvertJobTest, UnwritableFilesAreNamedInTheReport) {
  WriteItems(3);
  server.Write("Items/Item2.dat", "read-only");
  chmod(server.At("Items/Item2.dat").c_str(), 0444);
  ConvertClick(folder, state, Page::Items, "3", ui);
  EXPECT_EQ(server.Read("Items/Item2.dat"), "read-only");
  EXPECT_EQ(server.Read("Items/Item3.dat").size(), 92u);
  ASSERT_EQ(ui.messages.shown.size(), 1u);
  EXPECT_NE(ui.messages.shown[0].prompt.find("Record 2: "), std::string::npos);
  EXPECT_NE(ui.messages.shown[0].prompt.find("Item2.dat"), std::string::npos);
}

TEST_F(ConvertJobTest, LongSkipListsShowTheFirstTwentyAndTheCount) {
  std::string ini;
  for (int n = 1; n <= 25; ++n) {
    ini += "[ITEM" + std::to_string(n) + "]\r\nPic=" + std::string(300, '9') + "\r\n";
  }
  server.Write("items.ini", ini);
  ConvertClick(folder, state, Page::Items, "26", ui);
  EXPECT_EQ(ItemsConverted(), 0);
  EXPECT_TRUE(HasItem(26));
  ASSERT_EQ(ui.messages.shown.size(), 1u);
  const std::string& prompt = ui.messages.shown[0].prompt;
  EXPECT_NE(prompt.find("25 records were not converted"), std::string::npos) << prompt;
  EXPECT_NE(prompt.find("Record 20: "), std::string::npos);
  EXPECT_EQ(prompt.find("Record 21: "), std::string::npos);
  EXPECT_NE(prompt.find("and 5 more"), std::string::npos);
  EXPECT_LT(prompt.size(), 20u * 200u);  // a 300-digit value does not flood the box
}

TEST_F(ConvertJobTest, StopRequestEndsAfterTheRecordAtHand) {
  WriteItems(5);
  ui.onPump = [this](int pump) {
    if (pump == 3) ui.stop = true;
  };
  ConvertClick(folder, state, Page::Items, "5", ui);
  EXPECT_EQ(ItemsConverted(), 3);
  EXPECT_EQ(ui.pumps, 3);
  EXPECT_EQ(ui.progress, (std::vector<int>{20, 40, 60}));
  EXPECT_NE(ui.status[Page::Items], kStatusCompleted);
}

TEST_F(ConvertJobTest, EachClickMakesTheTableAnew) {
  WriteItems(3);
  ConvertClick(folder, state, Page::Items, "3", ui);
  state.ItemTable[1].Pic = 99;
  ConvertClick(folder, state, Page::Items, "2", ui);
  ASSERT_EQ(state.ItemTable.size(), 3u);
  EXPECT_EQ(state.ItemTable[1].Pic, 0);
  EXPECT_EQ(state.ItemTable[1].Name, "Item number 1       ");
}

}  // namespace
}  // namespace vostrel
