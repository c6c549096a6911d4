#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "accounts/account_list.h"
#include "accounts/accounts_state.h"
#include "accounts/character_view.h"
#include "accounts/inventory_wipe.h"
#include "common/atomic_file.h"
#include "common/profile.h"
#include "common/server_layout.h"
#include "tests/accounts/account_files.h"
#include "tests/support/fault_file_system.h"
#include "tests/support/recording_messages.h"
#include "tests/support/scratch_folder.h"

namespace calmet {
namespace {

using calmet_test::Section;

// Records the wipe's events in order, and stops it when asked to.
class RecordingEvents : public common::JobEvents {
 public:
  void Started(const common::JobResult& r) override {
    log.push_back("started " + std::to_string(r.first) + ".." + std::to_string(r.last));
  }
  void BeforeItem(int32_t item) override { log.push_back("before " + std::to_string(item)); }
  void ItemDone(int32_t item) override { log.push_back("done " + std::to_string(item)); }
  void ItemProblem(const common::ItemProblem& p) override {
    log.push_back("problem " + std::to_string(p.item));
  }
  bool StopRequested() override { return ++asked == stopAt; }
  void Finished(const common::JobResult&) override { log.push_back("finished"); }

  std::vector<std::string> log;
  int asked = 0;
  int stopAt = 0;  // stops when asked for the stopAt-th time
};

using Log = std::vector<std::string>;

common::ServerFolder Server(const ScratchFolder& s) { return common::ServerFolder(s.path()); }

AccountListing ListScratch(const ScratchFolder& s, AccountsState& state) {
  return ListAccounts(Server(s), state);
}

std::string Read(const std::string& file, const std::string& section, const std::string& key) {
  return common::ReadIniKey(common::layout::AccountFile(file), section, key);
}

// The listed names of the accounts the wipe could not write, in order.
std::vector<std::string> FailedNames(const common::JobResult& r) {
  std::vector<std::string> names;
  for (const common::ItemProblem& a : r.problems) names.push_back(a.name);
  return names;
}

// Checks that all 900 inventory keys of `file` read "0".
void ExpectWiped(const std::string& file) {
  int notZero = 0;
  for (int c = 1; c <= 3; ++c) {
    for (int slot = 1; slot <= 100; ++slot) {
      for (const char* prefix : {"InvItemNum", "InvItemVal", "InvItemDur"}) {
        if (Read(file, "CHAR" + std::to_string(c), prefix + std::to_string(slot)) != "0") ++notZero;
      }
    }
  }
  EXPECT_EQ(notZero, 0) << file;
}

// The file's lines (line ends kept) that are not inventory keys.
std::vector<std::string> OtherLines(const std::string& bytes) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    end = end == std::string::npos ? bytes.size() : end + 1;
    std::string line = bytes.substr(start, end - start);
    if (line.rfind("InvItem", 0) != 0) out.push_back(line);
    start = end;
  }
  return out;
}

size_t CountInventoryLines(const std::string& bytes) {
  size_t n = 0;
  for (size_t p = bytes.find("InvItem"); p != std::string::npos; p = bytes.find("InvItem", p + 1))
    ++n;
  return n;
}

TEST(WipeTest, TwoAccountsGetEveryInventoryKeyZeroed) {
  ScratchFolder s;
  s.MakeDir("Items");
  s.Write("Items/Item5.dat", calmet_test::ItemFile("5", "Sword", "1"));
  s.Write(
      "Accounts/a.ini",
      Section("CHAR1",
              {{"Name", "Bob"}, {"InvItemNum1", "5"}, {"InvItemVal1", "3"}, {"InvItemDur1", "9"}}));
  s.Write("Accounts/b.ini", Section("CHAR2", {{"InvItemNum100", "5"}}));
  AccountsState state;
  AccountListing l = ListScratch(s, state);
  RecordingEvents ui;
  const common::JobResult r = WipeInventories(Server(s), l, ui);

  EXPECT_TRUE(r.started);
  EXPECT_TRUE(r.complete());
  EXPECT_EQ(r.job, "wipe");
  EXPECT_EQ(r.done, 2);
  EXPECT_TRUE(r.problems.empty());
  ExpectWiped("a.ini");
  ExpectWiped("b.ini");
  EXPECT_EQ(CountInventoryLines(s.Read("Accounts/a.ini")), 900u);
  // Each account told before it is written and once it is: the window
  // selects and moves its bar from these; the job itself selects nothing.
  EXPECT_EQ(ui.log, (Log{"started 1..2", "before 1", "done 1", "before 2", "done 2", "finished"}));
  EXPECT_EQ(ui.asked, 1);  // after each account but the last
  const Box box = WipeReport(r, l.folder);
  EXPECT_EQ(box.prompt, "Inventory wipe completed.");
  EXPECT_EQ(box.title, "Inventories cleared.");
  EXPECT_EQ(box.icon, common::MsgIcon::None);
  EXPECT_EQ(box.about, s.At("Accounts"));

  const AccountView v = ShowAccount(Server(s), "a.ini");
  EXPECT_EQ(v.characters[0].inventory[0], "1: <free item slot>");
}

TEST(WipeTest, EveryOtherByteStays) {
  ScratchFolder s;
  const std::string before =
      "; written by the server\r\n"
      "[General]\r\n"
      "Password=  secret \r\n"
      "InvItemNum1=44\r\n"
      "\r\n"
      "[CHAR1]\r\n"
      "Name=Bob\r\n"
      "Level=12\r\n"
      "Access=3\r\n"
      "STR=10\r\n"
      "DEF=11\r\n"
      "SPEED=12\r\n"
      "MAGI=13\r\n"
      "InvItemNum1=5\r\n"
      "InvItemVal1 = 100\r\n"
      "Extra=keep me\r\n"
      "\r\n"
      "[CHAR2]\n"
      "Name=Ann\n"
      "InvItemNum50=7\n"
      "[Bank]\r\n"
      "InvItemNum1=9\r\n"
      "[CHAR3]\r\n"
      "Name=Cy\r\n";
  s.Write("Accounts/bob.ini", before);
  AccountsState state;
  AccountListing l = ListScratch(s, state);
  RecordingEvents ui;
  ASSERT_TRUE(WipeInventories(Server(s), l, ui).complete());
  const std::string after = s.Read("Accounts/bob.ini");
  ExpectWiped("bob.ini");
  EXPECT_EQ(OtherLines(after), OtherLines(before));
  // Inventory keys of other sections are not touched.
  EXPECT_EQ(Read("bob.ini", "General", "InvItemNum1"), "44");
  EXPECT_EQ(Read("bob.ini", "Bank", "InvItemNum1"), "9");
  EXPECT_EQ(Read("bob.ini", "CHAR1", "Name"), "Bob");
  EXPECT_EQ(Read("bob.ini", "CHAR1", "Extra"), "keep me");
  // 900 in the three characters plus the two in other sections.
  EXPECT_EQ(CountInventoryLines(after), 902u);
}

TEST(WipeTest, AccountsThatCannotBeWrittenAreNamedAndKeepTheirBytes) {
  ScratchFolder s;
  const std::string locked = Section("CHAR1", {{"Name", "Locked"}, {"InvItemNum1", "5"}});
  s.Write("Accounts/a.ini", "");
  s.Write("Accounts/locked.ini", locked);
  s.Write("Accounts/z.ini", "");
  ASSERT_EQ(chmod(s.At("Accounts/locked.ini").c_str(), 0444), 0);
  AccountsState state;
  AccountListing l = ListScratch(s, state);
  RecordingEvents ui;
  const common::JobResult r = WipeInventories(Server(s), l, ui);

  EXPECT_EQ(FailedNames(r), (std::vector<std::string>{"Locked.ini"}));
  // The reason is kept: the file and what is wrong with it.
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_FALSE(r.problems[0].why.ok());
  EXPECT_NE(r.problems[0].why.message().find("locked.ini"), std::string::npos)
      << r.problems[0].why.ToString();
  EXPECT_NE(r.problems[0].why.message().find("read-only"), std::string::npos)
      << r.problems[0].why.ToString();
  EXPECT_EQ(s.Read("Accounts/locked.ini"), locked);
  ExpectWiped("a.ini");
  ExpectWiped("z.ini");
  EXPECT_EQ(ui.log, (Log{"started 1..3", "before 1", "done 1", "before 2", "problem 2",
                         "before 3", "done 3", "finished"}));
  // A read-only file is the system's refusal of the write, not a choice.
  EXPECT_EQ(r.problems[0].kind, common::ItemProblem::Kind::kFailed);
  EXPECT_EQ(r.problems[0].item, 2);
  EXPECT_EQ(common::OutcomeOf(r), common::Outcome::kSkipped);
  const Box m = WipeReport(r, l.folder);
  EXPECT_NE(m.prompt.find("Locked.ini"), std::string::npos);
  EXPECT_EQ(m.prompt.find("A.ini"), std::string::npos);
  EXPECT_EQ(m.prompt.find("completed"), std::string::npos);
  EXPECT_NE(m.title, "Inventories cleared.");
  EXPECT_EQ(m.icon, common::MsgIcon::Stop);
  // Each name with why, so that an operator can tell a file the server keeps
  // changing from one that is protected.
  EXPECT_EQ(m.prompt, std::string(kWipeFailed) + "\nLocked.ini (" + s.At("Accounts/locked.ini") +
                          " is read-only)");
}

TEST(WipeTest, AFailedWriteIsReportedAndLeavesTheFile) {
  ScratchFolder s;
  const std::string full = Section("CHAR2", {{"InvItemNum3", "7"}});
  s.Write("Accounts/a.ini", "");
  s.Write("Accounts/full.ini", full);
  // The disk is full for this account's writes (its temporary file is named
  // after it) and for nothing else.
  tests::FaultFileSystem disk;
  disk.writesFail = [](std::string_view name) {
    return name.find("full.ini") != std::string_view::npos;
  };
  AccountsState state;
  AccountListing l = ListScratch(s, state);
  RecordingEvents ui;
  const common::JobResult r = WipeInventories(common::ServerFolder(s.path(), disk), l, ui);
  EXPECT_EQ(FailedNames(r), (std::vector<std::string>{"Full.ini"}));
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_FALSE(r.problems[0].why.ok());
  EXPECT_NE(r.problems[0].why.message().find("full.ini"), std::string::npos)
      << r.problems[0].why.ToString();
  EXPECT_EQ(s.Read("Accounts/full.ini"), full);
  ExpectWiped("a.ini");
  const Box box = WipeReport(r, l.folder);
  EXPECT_NE(box.prompt.find("Full.ini"), std::string::npos);
  EXPECT_EQ(box.icon, common::MsgIcon::Stop);
}

TEST(WipeTest, AFolderNamedLikeAnAccountIsReportedNotWiped) {
  ScratchFolder s;
  s.MakeDir("Accounts/old.ini");
  s.Write("Accounts/a.ini", "");
  AccountsState state;
  AccountListing l = ListScratch(s, state);
  RecordingEvents ui;
  const common::JobResult r = WipeInventories(Server(s), l, ui);
  EXPECT_EQ(FailedNames(r), (std::vector<std::string>{"Old.ini"}));
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_NE(r.problems[0].why.message().find("not an ordinary file"), std::string::npos)
      << r.problems[0].why.ToString();
  ExpectWiped("a.ini");
}

TEST(WipeTest, EachOfTwoSameNamedAccountsIsWritten) {
  ScratchFolder s;
  s.Write("Accounts/bob.ini", Section("CHAR1", {{"Name", "lower"}}));
  s.Write("Accounts/BOB.INI", Section("CHAR1", {{"Name", "upper"}}));
  AccountsState state;
  AccountListing l = ListScratch(s, state);
  RecordingEvents ui;
  ASSERT_TRUE(WipeInventories(Server(s), l, ui).complete());
  ExpectWiped("bob.ini");
  ExpectWiped("BOB.INI");
  EXPECT_EQ(Read("bob.ini", "CHAR1", "Name"), "lower");
  EXPECT_EQ(Read("BOB.INI", "CHAR1", "Name"), "upper");
  EXPECT_FALSE(s.Exists("Accounts/Bob.ini"));
}

TEST(WipeTest, AnAccountRemovedAfterListingIsNamedAndNotMadeAnew) {
  ScratchFolder s;
  s.Write("Accounts/a.ini", "");
  s.Write("Accounts/gone.ini", "[CHAR1]\r\nName=Gone\r\n");
  AccountsState state;
  AccountListing l = ListScratch(s, state);
  std::remove(s.At("Accounts/gone.ini").c_str());
  RecordingEvents ui;
  const common::JobResult r = WipeInventories(Server(s), l, ui);
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_EQ(r.problems[0].name, "Gone.ini");
  EXPECT_TRUE(r.problems[0].why.IsNotFound());
  EXPECT_FALSE(s.Exists("Accounts/gone.ini"));
  ExpectWiped("a.ini");
  EXPECT_EQ(r.problems[0].kind, common::ItemProblem::Kind::kSkipped);
  EXPECT_EQ(WipeReport(r, l.folder).title, kWipeFailedTitle);
}

TEST(WipeTest, StopsAtOnceWithoutAccounts) {
  {
    ScratchFolder s;  // no Accounts folder at all
    AccountsState state;
    AccountListing l = ListScratch(s, state);
    RecordingEvents ui;
    const common::JobResult r = WipeInventories(Server(s), l, ui);
    EXPECT_FALSE(r.started);
    EXPECT_TRUE(r.status.IsNotFound()) << r.status.ToString();
    EXPECT_TRUE(ui.log.empty());
  }
  {
    ScratchFolder s;  // files, but none of them an account
    s.Write("Accounts/notes.txt", "x");
    AccountsState state;
    AccountListing l = ListScratch(s, state);
    RecordingEvents ui;
    EXPECT_FALSE(WipeInventories(Server(s), l, ui).started);
    EXPECT_TRUE(ui.log.empty());
    EXPECT_EQ(s.Read("Accounts/notes.txt"), "x");
  }
  {
    ScratchFolder s;  // listed, but the files are gone before the wipe
    s.Write("Accounts/a.ini", "");
    AccountsState state;
    AccountListing l = ListScratch(s, state);
    std::remove(s.At("Accounts/a.ini").c_str());
    RecordingEvents ui;
    EXPECT_FALSE(WipeInventories(Server(s), l, ui).started);
    EXPECT_FALSE(s.Exists("Accounts/a.ini"));
  }
}

TEST(WipeTest, WithABackupOnlyWhatTheBackupHoldsIsWiped) {
  ScratchFolder s;
  const std::string full = Section("CHAR1", {{"Name", "A"}, {"InvItemNum1", "5"}});
  s.Write("Accounts/a.ini", full);
  s.Write("Accounts/b.ini", full);
  s.Write("Accounts/c.ini", full);
  AccountsState state;
  const AccountListing listing = ListScratch(s, state);
  BackupResult backup;
  common::JobEvents quiet;
  ASSERT_TRUE(
      BackupFailure(BackUpAccounts(Server(s), listing, s.At("saved"), &backup, quiet)).ok());
  // The server saves b after the backup, and c's copy is missing from it.
  const std::string newer = Section("CHAR1", {{"Name", "A"}, {"InvItemNum1", "6"}});
  s.Write("Accounts/b.ini", newer);
  backup.accounts[2].copied = false;
  RecordingEvents ui;
  const common::JobResult r = WipeInventories(Server(s), listing, ui, &backup);
  EXPECT_EQ(FailedNames(r), (std::vector<std::string>{"B.ini", "C.ini"}));
  EXPECT_EQ(r.skipped(), 2);
  EXPECT_NE(r.problems[0].why.message().find("changed since it was backed up"),
            std::string::npos);
  EXPECT_NE(r.problems[1].why.message().find("not in the backup"), std::string::npos);
  EXPECT_EQ(Read("a.ini", "CHAR1", "InvItemNum1"), "0");
  EXPECT_EQ(s.Read("Accounts/b.ini"), newer);
  EXPECT_EQ(s.Read("Accounts/c.ini"), full);
}

// Stopped (an interrupt on the command line), the wipe ends between two
// accounts: those before are wiped and on disk, the rest untouched, and the
// box says where it stopped.
TEST(WipeTest, AStopEndsItBetweenTwoAccounts) {
  ScratchFolder s;
  const std::string full = Section("CHAR1", {{"Name", "A"}, {"InvItemNum1", "5"}});
  for (const char* name : {"a.ini", "b.ini", "c.ini", "d.ini"}) {
    s.Write(std::string("Accounts/") + name, full);
  }
  AccountsState state;
  const AccountListing l = ListScratch(s, state);
  RecordingEvents ui;
  ui.stopAt = 2;  // asked after a, then after b
  const common::JobResult r = WipeInventories(Server(s), l, ui);
  EXPECT_EQ(ui.log, (Log{"started 1..4", "before 1", "done 1", "before 2", "done 2", "finished"}));
  EXPECT_TRUE(r.stopped);
  EXPECT_TRUE(r.flushed.ok()) << r.flushed.ToString();
  EXPECT_EQ(r.done, 2);
  EXPECT_EQ(r.untried(), 2);
  EXPECT_EQ(common::OutcomeOf(r), common::Outcome::kStopped);
  ExpectWiped("a.ini");
  ExpectWiped("b.ini");
  EXPECT_EQ(s.Read("Accounts/c.ini"), full);
  EXPECT_EQ(s.Read("Accounts/d.ini"), full);
  const Box box = WipeReport(r, l.folder);
  EXPECT_EQ(box.title, kWipeFailedTitle);
  EXPECT_EQ(box.prompt,
            "The wipe was stopped before account 3 of 4; accounts 3 to 4 were not wiped.");
}

}  // namespace
}  // namespace calmet
