// The converter fed files that are not what they should be: garbage, huge
// files and lines, odd bytes and line ends, and things that are not ordinary
// files at all. Every job ends, nothing blocks, nothing already written is
// lost.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "common/profile.h"
#include "common/program_folder.h"
#include "converter/converter_state.h"
#include "converter/map_job.h"
#include "converter/page_click.h"
#include "converter/profile_jobs.h"
#include "tests/reliability/reliability_support.h"
#include "tests/support/fake_page_view.h"
#include "tests/support/scratch_folder.h"

namespace {

using namespace reliability;

std::string Garbage(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(size, '\0');
  // Bytes of every value, with the profile syntax's own characters common
  // enough to make sections, keys and broken headers.
  const char syntax[] = "[]=\r\n;ITEM0123456789 ";
  for (char& c : s) {
    const unsigned r = rng();
    c = (r % 4 == 0) ? syntax[(r >> 8) % (sizeof syntax - 1)] : static_cast<char>(r >> 16);
  }
  return s;
}

TEST(BadSource, GarbageItemsFileConvertsOrSkipsEveryRecord) {
  vostrel::ConverterState cstate;
  Watchdog dog(20);
  ScratchFolder s;
  // Real sections whose values are garbage too: numbers that are no numbers,
  // overflow or hold control bytes.
  std::string sections;
  std::mt19937 rng(5);
  for (int n = 1; n < 60; ++n) {
    sections += "[ITEM" + std::to_string(n) + "]\r\n";
    for (const char* key :
         {"Name", "Pic", "Type", "Data1", "Data2", "Data3", "LevelReq", "ClassReq", "GuildReq"}) {
      std::string value = Garbage(rng() % 24, rng());
      std::replace(value.begin(), value.end(), '\r', '7');
      std::replace(value.begin(), value.end(), '\n', '9');
      sections += std::string(key) + "=" + value + "\r\n";
    }
  }
  s.Write("items.ini",
          Garbage(256 << 10, 99) + "\r\n" + sections + "[ITEM60]\r\nName=Dagger\r\nType=3\r\n");
  FakePageView ui;
  vostrel::ConvertClick(common::ServerFolder(s.path()), cstate, vostrel::Page::Items, "60", ui);

  EXPECT_EQ(ui.status[vostrel::Page::Items], vostrel::kStatusCompleted);
  std::string skippedText = ui.messages.shown.empty() ? "" : ui.messages.shown[0].prompt;
  int written = 0;
  for (int n = 1; n <= 60; ++n) {
    const bool file = s.Exists("Items/Item" + std::to_string(n) + ".dat");
    const bool skipped = skippedText.find("Record " + std::to_string(n) + ":") != std::string::npos;
    EXPECT_TRUE(file || skipped) << "item " << n << " neither written nor reported";
    written += file;
  }
  std::printf("[ tally    ] garbage items.ini: %d of 60 records written, the rest reported\n",
              written);
  EXPECT_EQ(cstate.ItemTable[60].Name.substr(0, 6), "Dagger");
}

// A server that logged into its own data file for years.
TEST(BadSource, TwoHundredMegabyteProfileIsReadToItsEnd) {
  Watchdog dog(120);
  ScratchFolder s;
  const std::string path = s.At("huge.ini");
  {
    std::ofstream out(path, std::ios::binary);
    std::string chunk;
    for (int i = 0; i < 1000; ++i) {
      chunk += "[S" + std::to_string(i) + "]\r\nKey=" + std::string(150, 'v') + "\r\n";
    }
    const size_t target = size_t{200} << 20;
    for (size_t written = 0; written < target; written += chunk.size()) out << chunk;
    out << "[Last]\r\nKey=found\r\n";
  }
  EXPECT_EQ(common::ReadIniKey(path, "Last", "Key"), "found");
  EXPECT_EQ(common::ReadIniKey(path, "S999", "Key"), std::string(150, 'v'));
  EXPECT_EQ(common::ReadIniKey(path, "Nowhere", "Key"), "");
  common::ForgetProfileCache();
  std::remove(path.c_str());
}

TEST(BadSource, TenMegabyteLinesAreCutOnReadAndKeptOnWrite) {
  vostrel::ConverterState cstate;
  Watchdog dog(30);
  ScratchFolder s;
  const std::string longValue(10 << 20, 'A');
  const std::string text =
      "[ITEM1]\r\nName=" + longValue + "\r\nType=3\r\n[Tail]\r\nLog=" + longValue;
  s.Write("items.ini", text);
  EXPECT_EQ(common::ReadIniKey(s.At("items.ini"), "ITEM1", "Name"),
            std::string(common::kMaxIniValue, 'A'));
  EXPECT_EQ(common::ReadIniKey(s.At("items.ini"), "ITEM1", "Type"), "3");
  EXPECT_EQ(common::ReadIniKey(s.At("items.ini"), "Tail", "Log").size(), common::kMaxIniValue);

  FakePageView ui;
  vostrel::ConvertClick(common::ServerFolder(s.path()), cstate, vostrel::Page::Items, "1", ui);
  EXPECT_EQ(ui.status[vostrel::Page::Items], vostrel::kStatusCompleted);
  EXPECT_EQ(cstate.ItemTable[1].Name, std::string(20, 'A'));

  // A key added after the long line changes no byte of it.
  ASSERT_TRUE(common::WriteIniKey(s.At("items.ini"), "ITEM1", "Data1", "7").ok());
  EXPECT_EQ(s.Read("items.ini"),
            "[ITEM1]\r\nName=" + longValue + "\r\nType=3\r\nData1=7\r\n[Tail]\r\nLog=" + longValue);
}

TEST(BadSource, NulBytesLoneCarriageReturnsAndByteOrderMark) {
  vostrel::ConverterState cstate;
  ScratchFolder s;
  using namespace std::string_literals;
  s.Write(
      "shops.ini",
      "\xEF\xBB\xBF[SHOP1]\rName=Smi\0thy\rJoinSay=Hi\rGiveItem1=4\0\r\n[SHOP2]\nName=Second\n"s);
  FakePageView ui;
  vostrel::ConvertClick(common::ServerFolder(s.path()), cstate, vostrel::Page::Shops, "2", ui);
  EXPECT_TRUE(ui.messages.shown.empty());
  const std::string shop1 = s.Read("Shops/Shop1.dat");
  EXPECT_NE(shop1.find("Name=Smi\r\n"), std::string::npos) << shop1;
  EXPECT_NE(shop1.find("JoinSay=Hi\r\n"), std::string::npos);
  EXPECT_NE(shop1.find("GiveItem1=4\r\n"), std::string::npos);
  EXPECT_NE(s.Read("Shops/Shop2.dat").find("Name=Second\r\n"), std::string::npos);
}

TEST(BadSource, SourceThatIsAFifoOrAFolderIsNotFound) {
  vostrel::ConverterState cstate;
  Watchdog dog(20);
  ScratchFolder s;
  ASSERT_EQ(mkfifo(s.At("items.ini").c_str(), 0644), 0);
  s.MakeDir("spells.ini");
  EXPECT_EQ(common::ReadIniKey(s.At("items.ini"), "ITEM1", "Name"), "");
  EXPECT_FALSE(common::WriteIniKey(s.At("items.ini"), "ITEM1", "Name", "x").ok());

  FakePageView ui;
  vostrel::ConvertClick(common::ServerFolder(s.path()), cstate, vostrel::Page::Items, "5", ui);
  vostrel::ConvertClick(common::ServerFolder(s.path()), cstate, vostrel::Page::Spells, "5", ui);
  ASSERT_EQ(ui.messages.shown.size(), 2u);
  EXPECT_EQ(ui.messages.shown[0].title, vostrel::kTitleFileNotFound);
  EXPECT_EQ(ui.messages.shown[1].title, vostrel::kTitleFileNotFound);
  EXPECT_FALSE(s.Exists("Items"));
}

TEST(BadSource, ShopFilesThatAreFifosOrFoldersAreSkipped) {
  vostrel::ConverterState cstate;
  Watchdog dog(20);
  ScratchFolder s;
  s.Write("shops.ini", "[SHOP1]\r\nName=A\r\n[SHOP2]\r\nName=B\r\n[SHOP3]\r\nName=C\r\n");
  s.MakeDir("Shops/Shop2.dat");
  ASSERT_EQ(mkfifo(s.At("Shops/Shop1.dat").c_str(), 0644), 0);
  common::JobEvents events;
  cstate.MaxShops = 3;
  const common::JobResult result =
      vostrel::ConvertShops(common::ServerFolder(s.path()), cstate, events);
  ASSERT_EQ(result.problems.size(), 2u);
  EXPECT_EQ(result.problems[0].item, 1);
  EXPECT_EQ(result.problems[1].item, 2);
  struct stat st;
  ASSERT_EQ(lstat(s.At("Shops/Shop1.dat").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_NE(s.Read("Shops/Shop3.dat").find("Name=C"), std::string::npos);
}

// What may stand at map 2, in the legacy folder or the converted one, that
// no binary read or write can use.
enum class Blocker { kFifo, kFolder, kDanglingLink };

void Place(const ScratchFolder& s, const std::string& relative, Blocker b) {
  const std::string at = s.At(relative);
  switch (b) {
    case Blocker::kFifo:
      ASSERT_EQ(mkfifo(at.c_str(), 0644), 0);
      break;
    case Blocker::kFolder:
      s.MakeDir(relative);
      break;
    case Blocker::kDanglingLink:
      ASSERT_EQ(symlink("no-such-folder/map.dat", at.c_str()), 0);
      break;
  }
}

TEST(BadSource, MapJobLeavesOutAMapThatIsNoOrdinaryFileAndStopsAtOneItCannotReach) {
  vostrel::ConverterState cstate;
  Watchdog dog(20);
  for (const bool legacySide : {true, false}) {
    for (Blocker b : {Blocker::kFifo, Blocker::kFolder, Blocker::kDanglingLink}) {
      SCOPED_TRACE(std::string(legacySide ? "maps" : "newmaps") + " blocker " +
                   std::to_string(static_cast<int>(b)));
      ScratchFolder s;
      s.Write("maps/map1.dat", std::string(2936, '\0'));
      s.Write("maps/map3.dat", std::string(2936, '\0'));
      s.MakeDir("newmaps");
      if (legacySide) {
        Place(s, "maps/map2.dat", b);
      } else {
        s.Write("maps/map2.dat", std::string(2936, '\0'));
        Place(s, "newmaps/map2.dat", b);
      }
      FakePageView ui;
      const common::JobResult result =
          vostrel::MapConvertClick(common::ServerFolder(s.path()), cstate, "3", 0, ui);
      EXPECT_EQ(s.Read("newmaps/map1.dat").size(), 4105u);
      ASSERT_EQ(ui.messages.shown.size(), 1u);
      if (b == Blocker::kDanglingLink) {
        // A link the operator made whose target cannot be reached stops
        // the job there, as any other failure does.
        EXPECT_FALSE(s.Exists("newmaps/map3.dat"));
        EXPECT_EQ(ui.status[vostrel::Page::Maps], "Conversion stopped at map 2.");
        EXPECT_NE(ui.messages.shown[0].prompt.find("map 2"), std::string::npos);
      } else {
        // Something that is not an ordinary file is never opened as one:
        // that map is left out and named, and the job goes on.
        EXPECT_EQ(s.Read("newmaps/map3.dat").size(), 4105u);
        EXPECT_EQ(common::OutcomeOf(result), common::Outcome::kSkipped);
        EXPECT_EQ(ui.messages.shown[0].title, vostrel::kTitleSkipped);
        EXPECT_NE(ui.messages.shown[0].prompt.find("Map 2: "), std::string::npos)
            << ui.messages.shown[0].prompt;
        EXPECT_NE(ui.messages.shown[0].prompt.find("not an ordinary file"), std::string::npos);
      }
    }
  }
}

}  // namespace
