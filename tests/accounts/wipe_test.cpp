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
#include "tests/support/recording_messages.h"
#include "tests/support/scratch_folder.h"

namespace calmet {
namespace {

using calmet_test::Section;

// Records what the wipe asks of the window, and what the view would show at
// each step.
class RecordingWipeUi : public WipeUi {
 public:
  explicit RecordingWipeUi(const AccountsState& state) : state_(state) {}
  void SelectAccount(int position) override {
    selected.push_back(position);
    flagWhenSelected.push_back(state_.WipeInProgress);
    viewFrozen = viewFrozen && !ShowAccount("a.ini", state_);
  }
  void SetProgress(float percent) override { progress.push_back(percent); }
  common::MessagePort& Messages() override { return messages; }

  std::vector<int> selected;
  std::vector<bool> flagWhenSelected;
  std::vector<float> progress;
  bool viewFrozen = true;
  RecordingMessages messages;

 private:
  const AccountsState& state_;
};

AccountListing ListScratch(AccountsState& state) {
  return ListAccounts(common::layout::ServerPath(common::layout::kAccountsFolder), state);
}

std::string Read(const std::string& file, const std::string& section, const std::string& key) {
  return common::ReadIniKey(common::layout::AccountFile(file), section, key);
}

// The listed names of the accounts the wipe could not write, in order.
std::vector<std::string> FailedNames(const WipeResult& r) {
  std::vector<std::string> names;
  for (const AccountNotWiped& a : r.failed) names.push_back(a.name);
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
  AccountListing l = ListScratch(state);
  RecordingWipeUi ui(state);
  WipeResult r = WipeInventories(l, state, ui);

  EXPECT_TRUE(r.ran);
  EXPECT_TRUE(r.failed.empty());
  ExpectWiped("a.ini");
  ExpectWiped("b.ini");
  EXPECT_EQ(CountInventoryLines(s.Read("Accounts/a.ini")), 900u);
  EXPECT_EQ(ui.progress, (std::vector<float>{50.0f, 100.0f}));
  EXPECT_EQ(ui.selected, (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(ui.flagWhenSelected, (std::vector<bool>{true, true, true}));
  EXPECT_TRUE(ui.viewFrozen);
  ASSERT_EQ(ui.messages.shown.size(), 1u);
  EXPECT_EQ(ui.messages.shown[0].prompt, "Inventory wipe completed.");
  EXPECT_EQ(ui.messages.shown[0].title, "Inventories cleared.");
  EXPECT_EQ(ui.messages.shown[0].buttons, common::MsgButtons::Ok);
  EXPECT_EQ(ui.messages.shown[0].icon, common::MsgIcon::None);
  EXPECT_FALSE(state.WipeInProgress);

  std::optional<AccountView> v = ShowAccount("a.ini", state);
  ASSERT_TRUE(v);
  EXPECT_EQ(v->characters[0].inventory[0], "1: <free item slot>");
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
  AccountListing l = ListScratch(state);
  RecordingWipeUi ui(state);
  ASSERT_TRUE(WipeInventories(l, state, ui).failed.empty());
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
  AccountListing l = ListScratch(state);
  RecordingWipeUi ui(state);
  WipeResult r = WipeInventories(l, state, ui);

  EXPECT_EQ(FailedNames(r), (std::vector<std::string>{"Locked.ini"}));
  // The reason is kept: the file and what is wrong with it.
  ASSERT_EQ(r.failed.size(), 1u);
  EXPECT_FALSE(r.failed[0].status.ok());
  EXPECT_NE(r.failed[0].status.message().find("locked.ini"), std::string::npos)
      << r.failed[0].status.ToString();
  EXPECT_NE(r.failed[0].status.message().find("read-only"), std::string::npos)
      << r.failed[0].status.ToString();
  EXPECT_EQ(s.Read("Accounts/locked.ini"), locked);
  ExpectWiped("a.ini");
  ExpectWiped("z.ini");
  EXPECT_EQ(ui.progress, (std::vector<float>{static_cast<float>(100.0 / 3),
                                             static_cast<float>(200.0 / 3), 100.0f}));
  ASSERT_EQ(ui.messages.shown.size(), 1u);
  const ShownMessage& m = ui.messages.shown[0];
  EXPECT_NE(m.prompt.find("Locked.ini"), std::string::npos);
  EXPECT_EQ(m.prompt.find("A.ini"), std::string::npos);
  EXPECT_EQ(m.prompt.find("completed"), std::string::npos);
  EXPECT_NE(m.title, "Inventories cleared.");
  EXPECT_EQ(m.buttons, common::MsgButtons::Ok);
  // Each name with why, so that an operator can tell a file the server keeps
  // changing from one that is protected.
  EXPECT_EQ(m.prompt, std::string(kWipeFailed) + "\nLocked.ini (" + s.At("Accounts/locked.ini") +
                          " is read-only)");
  EXPECT_FALSE(state.WipeInProgress);
}

TEST(WipeTest, AFailedWriteIsReportedAndLeavesTheFile) {
  ScratchFolder s;
  const std::string full = Section("CHAR2", {{"InvItemNum3", "7"}});
  s.Write("Accounts/a.ini", "");
  s.Write("Accounts/full.ini", full);
  common::SetWriteFaultForTesting([](const std::string& path) {
    return path.size() >= 9 && path.compare(path.size() - 9, 9, "/full.ini") == 0;
  });
  AccountsState state;
  AccountListing l = ListScratch(state);
  RecordingWipeUi ui(state);
  WipeResult r = WipeInventories(l, state, ui);
  common::SetWriteFaultForTesting(nullptr);
  EXPECT_EQ(FailedNames(r), (std::vector<std::string>{"Full.ini"}));
  ASSERT_EQ(r.failed.size(), 1u);
  EXPECT_FALSE(r.failed[0].status.ok());
  EXPECT_NE(r.failed[0].status.message().find("full.ini"), std::string::npos)
      << r.failed[0].status.ToString();
  EXPECT_EQ(s.Read("Accounts/full.ini"), full);
  ExpectWiped("a.ini");
  ASSERT_EQ(ui.messages.shown.size(), 1u);
  EXPECT_NE(ui.messages.shown[0].prompt.find("Full.ini"), std::string::npos);
  EXPECT_EQ(ui.messages.shown[0].icon, common::MsgIcon::Stop);
}

TEST(WipeTest, AFolderNamedLikeAnAccountIsReportedNotWiped) {
  ScratchFolder s;
  s.MakeDir("Accounts/old.ini");
  s.Write("Accounts/a.ini", "");
  AccountsState state;
  AccountListing l = ListScratch(state);
  RecordingWipeUi ui(state);
  WipeResult r = WipeInventories(l, state, ui);
  EXPECT_EQ(FailedNames(r), (std::vector<std::string>{"Old.ini"}));
  ASSERT_EQ(r.failed.size(), 1u);
  EXPECT_NE(r.failed[0].status.message().find("not an ordinary file"), std::string::npos)
      << r.failed[0].status.ToString();
  ExpectWiped("a.ini");
}

TEST(WipeTest, EachOfTwoSameNamedAccountsIsWritten) {
  ScratchFolder s;
  s.Write("Accounts/bob.ini", Section("CHAR1", {{"Name", "lower"}}));
  s.Write("Accounts/BOB.INI", Section("CHAR1", {{"Name", "upper"}}));
  AccountsState state;
  AccountListing l = ListScratch(state);
  RecordingWipeUi ui(state);
  ASSERT_TRUE(WipeInventories(l, state, ui).failed.empty());
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
  AccountListing l = ListScratch(state);
  std::remove(s.At("Accounts/gone.ini").c_str());
  RecordingWipeUi ui(state);
  const WipeResult r = WipeInventories(l, state, ui);
  ASSERT_EQ(r.failed.size(), 1u);
  EXPECT_EQ(r.failed[0].name, "Gone.ini");
  EXPECT_TRUE(r.failed[0].status.IsNotFound());
  EXPECT_FALSE(s.Exists("Accounts/gone.ini"));
  ExpectWiped("a.ini");
  ASSERT_FALSE(ui.messages.shown.empty());
  EXPECT_EQ(ui.messages.shown.back().title, kWipeFailedTitle);
}

TEST(WipeTest, StopsAtOnceWithoutAccounts) {
  {
    ScratchFolder s;  // no Accounts folder at all
    AccountsState state;
    AccountListing l = ListScratch(state);
    RecordingWipeUi ui(state);
    EXPECT_FALSE(WipeInventories(l, state, ui).ran);
    EXPECT_TRUE(ui.selected.empty() && ui.progress.empty() && ui.messages.shown.empty());
    EXPECT_FALSE(state.WipeInProgress);
  }
  {
    ScratchFolder s;  // files, but none of them an account
    s.Write("Accounts/notes.txt", "x");
    AccountsState state;
    AccountListing l = ListScratch(state);
    RecordingWipeUi ui(state);
    EXPECT_FALSE(WipeInventories(l, state, ui).ran);
    EXPECT_TRUE(ui.messages.shown.empty());
    EXPECT_EQ(s.Read("Accounts/notes.txt"), "x");
  }
  {
    ScratchFolder s;  // listed, but the files are gone before the wipe
    s.Write("Accounts/a.ini", "");
    AccountsState state;
    AccountListing l = ListScratch(state);
    std::remove(s.At("Accounts/a.ini").c_str());
    RecordingWipeUi ui(state);
    EXPECT_FALSE(WipeInventories(l, state, ui).ran);
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
  const AccountListing listing = ListScratch(state);
  BackupResult backup;
  ASSERT_TRUE(BackUpAccounts(listing, s.At("saved"), &backup).ok());
  // The server saves b after the backup, and c's copy is missing from it.
  const std::string newer = Section("CHAR1", {{"Name", "A"}, {"InvItemNum1", "6"}});
  s.Write("Accounts/b.ini", newer);
  backup.accounts[2].copied = false;
  RecordingWipeUi ui(state);
  const WipeResult r = WipeInventories(listing, state, ui, &backup);
  EXPECT_EQ(FailedNames(r), (std::vector<std::string>{"B.ini", "C.ini"}));
  EXPECT_NE(r.failed[0].status.message().find("changed since it was backed up"),
            std::string::npos);
  EXPECT_NE(r.failed[1].status.message().find("not in the backup"), std::string::npos);
  EXPECT_EQ(Read("a.ini", "CHAR1", "InvItemNum1"), "0");
  EXPECT_EQ(s.Read("Accounts/b.ini"), newer);
  EXPECT_EQ(s.Read("Accounts/c.ini"), full);
}

}  // namespace
}  // namespace calmet
