// Writes that fail part-way, on a full disk or through the layer's fault
// seam: the old file stays as it was and the failure is reported, never
// passed off as success.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "accounts/account_list.h"
#include "accounts/accounts_state.h"
#include "accounts/character_view.h"
#include "accounts/inventory_wipe.h"
#include "common/atomic_file.h"
#include "common/file_search.h"
#include "common/profile.h"
#include "common/program_folder.h"
#include "converter/converter_state.h"
#include "converter/map_job.h"
#include "converter/page_click.h"
#include "converter/profile_jobs.h"
#include "tests/reliability/reliability_support.h"
#include "tests/support/fake_page_view.h"
#include "tests/support/fault_file_system.h"
#include "tests/support/scratch_folder.h"

namespace {

using namespace reliability;

// Sets one key of Accounts/<name> through `server`'s file system.
common::Status SetKey(const common::ServerFolder& server, const char* name, const char* value) {
  common::Folder accounts;
  if (common::Status st = server.OpenFolder("Accounts", &accounts); !st.ok()) return st;
  common::ProfileEdit edit(accounts, name);
  edit.Set("CHAR1", "Level", value);
  return edit.Commit();
}

std::vector<int32_t> Numbers(const common::JobResult& result) {
  std::vector<int32_t> n;
  for (const common::ItemProblem& p : result.problems) n.push_back(p.item);
  return n;
}

// A process that died mid-write leaves ".<name>.tmp-<pid>-<n>"; a later
// process with the same id counts up the same names.
TEST(TemporaryLeftovers, NamesTakenByADeadWriterAreSkipped) {
  calmet::AccountsState astate;
  ScratchFolder s;
  s.Write("Accounts/bob.ini", "[CHAR1]\r\nName=Bob\r\n");
  const std::string folder = s.At("Accounts");
  std::vector<std::string> seen;
  tests::FaultFileSystem spy;
  spy.writesFail = [&](std::string_view) {
    seen = TempLeftovers(folder);
    return false;
  };
  ASSERT_TRUE(SetKey(common::ServerFolder(s.path(), spy), "bob.ini", "2").ok());
  ASSERT_EQ(seen.size(), 1u);
  // The names the next writes of this process would take.
  const std::string used = seen[0];
  const size_t dash = used.rfind('-');
  const int next = std::stoi(used.substr(dash + 1)) + 1;
  std::vector<std::string> planted;
  for (int i = 0; i < 5; ++i) {
    planted.push_back(used.substr(0, dash + 1) + std::to_string(next + i));
    s.Write("Accounts/" + planted.back(), "half a file from a killed run");
  }

  EXPECT_TRUE(SetKey(common::ServerFolder(s.path()), "bob.ini", "3").ok());
  EXPECT_EQ(s.Read("Accounts/bob.ini"), "[CHAR1]\r\nName=Bob\r\nLevel=3\r\n");
  // Another writer's file is not ours to delete.
  for (const std::string& name : planted) EXPECT_TRUE(s.Exists("Accounts/" + name)) << name;

  // Nothing sees the leftovers.
  const calmet::AccountListing listing =
      calmet::ListAccounts(common::ServerFolder::Program(), astate);
  EXPECT_EQ(listing.lines, std::vector<std::string>{"Bob.ini"});
  EXPECT_EQ(common::FindFirstFile(common::ProgramFolder() + "\\Accounts\\*"), "bob.ini");
  EXPECT_EQ(common::FindFirstFile(common::ProgramFolder() + "\\Accounts\\.*"), "");
}

TEST(FullDisk, WipeNamesEveryAccountItCouldNotWrite) {
  calmet::AccountsState astate;
  ScratchFolder s;
  s.MakeDir("Accounts");
  TmpfsMount disk(s.At("Accounts"), "64k");
  const std::string a = "[CHAR1]\r\nName=Ann\r\nInvItemNum1=5\r\n";
  const std::string b = "[CHAR2]\r\nName=Ben\r\nInvItemNum7=9\r\n";
  s.Write("Accounts/ann.ini", a);
  s.Write("Accounts/ben.ini", b);
  tests::FaultFileSystem fs;
  if (disk.mounted()) {
    disk.FillUp("filler.dat");
  } else {
    // No right to mount: the same failure, injected where the bytes go.
    fs.writesFail = [](std::string_view) { return true; };
  }

  const common::ServerFolder server(s.path(), fs);
  const calmet::AccountListing listing = calmet::ListAccounts(server, astate);
  common::JobEvents quiet;
  const common::JobResult result = calmet::WipeInventories(server, listing, quiet);

  EXPECT_TRUE(result.started);
  ASSERT_EQ(result.problems.size(), 2u);
  EXPECT_EQ(result.problems[0].name, "Ann.ini");
  EXPECT_EQ(result.problems[1].name, "Ben.ini");
  EXPECT_EQ(result.problems[0].kind, common::ItemProblem::Kind::kFailed);
  EXPECT_NE(result.problems[0].why.message().find("No space"), std::string::npos)
      << result.problems[0].why.ToString();
  // No account written: the job failed, however it ended.
  EXPECT_EQ(common::OutcomeOf(result), common::Outcome::kFailed);
  const calmet::Box box = calmet::WipeReport(result, listing.folder);
  EXPECT_EQ(box.title, calmet::kWipeFailedTitle);
  EXPECT_NE(box.prompt.find("Ben.ini"), std::string::npos);
  EXPECT_EQ(s.Read("Accounts/ann.ini"), a);
  EXPECT_EQ(s.Read("Accounts/ben.ini"), b);
  EXPECT_TRUE(TempLeftovers(s.At("Accounts")).empty());
}

TEST(FullDisk, ShopsThatDidNotFitAreListedAsSkipped) {
  vostrel::ConverterState cstate;
  ScratchFolder s;
  s.Write("shops.ini", "[SHOP1]\r\nName=Smithy\r\n[SHOP2]\r\nName=Baker\r\n");
  s.MakeDir("Shops");
  TmpfsMount disk(s.At("Shops"), "64k");
  const std::string old = "[SHOP1]\r\nName=Old smithy\r\nKeeper=Bob\r\n";
  s.Write("Shops/Shop1.dat", old);
  tests::FaultFileSystem fs;
  if (disk.mounted()) {
    disk.FillUp("filler");
  } else {
    // No right to mount: the same failure, injected where the bytes go.
    fs.writesFail = [](std::string_view) { return true; };
  }

  FakePageView ui;
  const common::JobResult result =
      vostrel::ConvertClick(common::ServerFolder(s.path(), fs), cstate, vostrel::Page::Shops, "2", ui);
  // No shop could be written: the job failed, it did not merely skip some.
  EXPECT_EQ(common::OutcomeOf(result), common::Outcome::kFailed);

  EXPECT_EQ(s.Read("Shops/Shop1.dat"), old);
  EXPECT_FALSE(s.Exists("Shops/Shop2.dat"));
  EXPECT_TRUE(TempLeftovers(s.At("Shops")).empty());
  ASSERT_EQ(ui.messages.shown.size(), 1u);
  EXPECT_EQ(ui.messages.shown[0].title, vostrel::kTitleSkipped);
  EXPECT_NE(ui.messages.shown[0].prompt.find("Record 1: cannot write"), std::string::npos)
      << ui.messages.shown[0].prompt;
  EXPECT_NE(ui.messages.shown[0].prompt.find("Record 2"), std::string::npos);
}

// Legacy map files of zeros for maps 1 to `count`.
void LegacyMaps(const ScratchFolder& s, int count) {
  for (int n = 1; n <= count; ++n)
    s.Write("maps/map" + std::to_string(n) + ".dat", std::string(2936, '\0'));
}

// A converted map is rewritten in place: one that has to grow on a full disk
// must not be left half old, half new.
TEST(FullDisk, MapJobStopsAtAMapThatCannotGrowAndKeepsIt) {
  vostrel::ConverterState cstate;
  ScratchFolder s;
  LegacyMaps(s, 3);
  s.MakeDir("newmaps");
  TmpfsMount disk(s.At("newmaps"), "64k");
  if (!disk.mounted()) GTEST_SKIP() << "no right to mount; the injected fault is tested below";
  s.Write("newmaps/map1.dat", std::string(4105, 'x'));  // full size: rewritten in its own blocks
  const std::string shortOld(300, 'o');
  s.Write("newmaps/map2.dat", shortOld);
  disk.FillUp("filler");

  FakePageView ui;
  vostrel::MapConvertClick(common::ServerFolder(s.path()), cstate, "3", 0, ui);

  const std::string map1 = s.Read("newmaps/map1.dat");
  EXPECT_EQ(map1.size(), 4105u);
  EXPECT_NE(map1, std::string(4105, 'x'));  // converted
  EXPECT_EQ(s.Read("newmaps/map2.dat"), shortOld);
  EXPECT_FALSE(s.Exists("newmaps/map3.dat"));
  EXPECT_EQ(ui.status[vostrel::Page::Maps], "Conversion stopped at map 2.");
  ASSERT_EQ(ui.messages.shown.size(), 1u);
  EXPECT_NE(ui.messages.shown[0].prompt.find("Maps 1 to 1 were converted"), std::string::npos)
      << ui.messages.shown[0].prompt;
}

TEST(InjectedWriteFault, RecordFileIsReportedAndKeptAsItWas) {
  vostrel::ConverterState cstate;
  ScratchFolder s;
  s.Write("items.ini", "[ITEM1]\r\nName=Axe\r\n[ITEM2]\r\nName=Bow\r\n[ITEM3]\r\nName=Cap\r\n");
  const std::string old = "an item file of an earlier conversion";
  s.Write("Items/Item2.dat", old);
  tests::FaultFileSystem fs;
  fs.writesFail = [](std::string_view name) { return name == "Item2.dat"; };

  FakePageView ui;
  vostrel::ConvertClick(common::ServerFolder(s.path(), fs), cstate, vostrel::Page::Items, "3", ui);

  EXPECT_EQ(s.Read("Items/Item2.dat"), old);
  EXPECT_TRUE(s.Exists("Items/Item1.dat"));
  EXPECT_TRUE(s.Exists("Items/Item3.dat"));
  EXPECT_EQ(ui.status[vostrel::Page::Items], vostrel::kStatusCompleted);
  ASSERT_EQ(ui.messages.shown.size(), 1u);
  EXPECT_EQ(ui.messages.shown[0].title, vostrel::kTitleSkipped);
  EXPECT_NE(ui.messages.shown[0].prompt.find("Record 2: cannot write"), std::string::npos)
      << ui.messages.shown[0].prompt;
}

TEST(InjectedWriteFault, NewRecordFileThatFailedIsNotLeftEmpty) {
  vostrel::ConverterState cstate;
  ScratchFolder s;
  s.Write("items.ini", "[ITEM1]\r\nName=Axe\r\n");
  tests::FaultFileSystem fs;
  fs.writesFail = [](std::string_view name) { return name == "Item1.dat"; };
  common::JobEvents events;
  cstate.MaxItems = 1;
  cstate.ItemTable.assign(2, {});
  EXPECT_EQ(Numbers(vostrel::ConvertItems(common::ServerFolder(s.path(), fs), cstate, events)),
            std::vector<int32_t>{1});
  EXPECT_FALSE(s.Exists("Items/Item1.dat"));
}

TEST(InjectedWriteFault, ShopFileIsReportedAndKeptAsItWas) {
  vostrel::ConverterState cstate;
  ScratchFolder s;
  s.Write("shops.ini", "[SHOP1]\r\nName=A\r\n[SHOP2]\r\nName=B\r\n[SHOP3]\r\nName=C\r\n");
  const std::string old = "[SHOP2]\r\nName=Old\r\n";
  s.Write("Shops/Shop2.dat", old);
  tests::FaultFileSystem fs;
  // A temporary file's name holds the name of the file it is for.
  fs.writesFail = [](std::string_view name) { return name.find("Shop2.dat") != name.npos; };
  common::JobEvents events;
  cstate.MaxShops = 3;
  EXPECT_EQ(Numbers(vostrel::ConvertShops(common::ServerFolder(s.path(), fs), cstate, events)),
            std::vector<int32_t>{2});
  EXPECT_EQ(s.Read("Shops/Shop2.dat"), old);
  EXPECT_NE(s.Read("Shops/Shop3.dat").find("Name=C"), std::string::npos);
}

TEST(InjectedWriteFault, MapJobStopsAtTheFailedMapWithEarlierMapsKept) {
  vostrel::ConverterState cstate;
  ScratchFolder s;
  LegacyMaps(s, 3);
  s.MakeDir("newmaps");
  const std::string old(4105, 'o');
  s.Write("newmaps/map2.dat", old);
  tests::FaultFileSystem fs;
  fs.writesFail = [](std::string_view name) { return name == "map2.dat"; };
  FakePageView ui;
  vostrel::MapConvertClick(common::ServerFolder(s.path(), fs), cstate, "3", 1, ui);
  EXPECT_EQ(s.Read("newmaps/map1.dat").size(), 4105u);
  EXPECT_EQ(s.Read("newmaps/map2.dat"), old);
  EXPECT_FALSE(s.Exists("newmaps/map3.dat"));
  EXPECT_EQ(ui.status[vostrel::Page::Maps], "Conversion stopped at map 2.");
  ASSERT_EQ(ui.messages.shown.size(), 1u);
}

}  // namespace
