#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "accounts/account_list.h"
#include "accounts/accounts_state.h"
#include "accounts/character_view.h"
#include "common/server_layout.h"
#include "tests/accounts/account_files.h"
#include "tests/support/scratch_folder.h"

namespace calmet {
namespace {

using Lines = std::vector<std::string>;

AccountListing ListScratch(AccountsState& state) {
  return ListAccounts(common::ServerFolder::Program(), state);
}

TEST(RecaseNameTest, LowersAllThenRaisesWordStarts) {
  EXPECT_EQ(RecaseName("BOB.INI"), "Bob.ini");
  EXPECT_EQ(RecaseName("mary ann.ini"), "Mary Ann.ini");
  EXPECT_EQ(RecaseName("o'neil.INI"), "O'neil.ini");
  // Punctuation and digits start no new word.
  EXPECT_EQ(RecaseName("ab_cd-ef.gh1ij"), "Ab_cd-ef.gh1ij");
  // Every blank control character does.
  EXPECT_EQ(RecaseName(std::string("a\tb\nc\vd\fe\rf g\0h", 15)),
            std::string("A\tB\nC\vD\fE\rF G\0H", 15));
  EXPECT_EQ(RecaseName(".ini"), ".ini");
  EXPECT_EQ(RecaseName(""), "");
}

TEST(ListAccountsTest, KeepsIniFilesAndCountsThem) {
  ScratchFolder s;
  s.Write("Accounts/a.ini", "");
  s.Write("Accounts/B.INI", "");
  s.Write("Accounts/notes.txt", "");
  AccountsState state;
  AccountListing l = ListScratch(state);
  EXPECT_TRUE(l.status.ok()) << l.status.ToString();
  EXPECT_EQ(l.lines, (Lines{"A.ini", "B.ini"}));
  EXPECT_EQ(l.files, (Lines{"a.ini", "B.INI"}));
  EXPECT_EQ(l.label, "Total Accounts: 2");
  EXPECT_EQ(state.TotalAccounts, 2);
}

TEST(ListAccountsTest, RecasesWordsInNames) {
  ScratchFolder s;
  s.Write("Accounts/mary ann.ini", "");
  s.Write("Accounts/o'neil.INI", "");
  AccountsState state;
  EXPECT_EQ(ListScratch(state).lines, (Lines{"Mary Ann.ini", "O'neil.ini"}));
}

TEST(ListAccountsTest, NoAccountsWhenFolderEmptyMissingOrHoldsOnlyAFolder) {
  {
    ScratchFolder s;  // no Accounts folder at all: no accounts, and no failure
    AccountsState state{.TotalAccounts = 7};
    AccountListing l = ListScratch(state);
    EXPECT_TRUE(l.status.ok()) << l.status.ToString();
    EXPECT_TRUE(l.lines.empty());
    EXPECT_EQ(l.label, "No accounts found.");
    EXPECT_EQ(state.TotalAccounts, 0);
  }
  {
    ScratchFolder s;
    s.MakeDir("Accounts/old");
    AccountsState state{.TotalAccounts = 7};
    AccountListing l = ListScratch(state);
    EXPECT_TRUE(l.status.ok()) << l.status.ToString();
    EXPECT_TRUE(l.lines.empty());
    EXPECT_EQ(l.label, "No accounts found.");
    EXPECT_EQ(state.TotalAccounts, 0);
  }
}

TEST(ListAccountsTest, OnlyNamesEndingInIniAfterRecasing) {
  ScratchFolder s;
  s.Write("Accounts/x.ini.bak", "");
  s.Write("Accounts/ini", "");
  s.Write("Accounts/.ini", "");
  s.Write("Accounts/y.iniX", "");
  AccountsState state;
  AccountListing l = ListScratch(state);
  EXPECT_EQ(l.lines, (Lines{".ini"}));
  EXPECT_EQ(l.label, "Total Accounts: 1");
}

TEST(ListAccountsTest, TheAccountsFolderInAnyCaseOfTheGivenServerFolder) {
  ScratchFolder s;
  s.Write("accounts/a.ini", "");
  ScratchFolder program;  // the program folder from here, with no accounts
  AccountsState state;
  const AccountListing l = ListAccounts(common::ServerFolder(s.path()), state);
  EXPECT_EQ(l.lines, (Lines{"A.ini"}));
  EXPECT_EQ(l.folder, s.At("accounts"));
}

TEST(ListAccountsTest, KeepsHostOrderNotTheOrderOfRecasedNames) {
  ScratchFolder s;
  // Host order is by upper-cased name: "AB.INI" < "A_B.INI" < "ZY.INI" <
  // "ZZ.INI" < "[Y.INI". Sorting the shown names would put "A_b.ini" first.
  for (const char* name : {"zz.ini", "[y.ini", "a_b.ini", "Zy.ini", "ab.INI"}) {
    s.Write(std::string("Accounts/") + name, "");
  }
  AccountsState state;
  EXPECT_EQ(ListScratch(state).lines, (Lines{"Ab.ini", "A_b.ini", "Zy.ini", "Zz.ini", "[y.ini"}));
}

TEST(ListAccountsTest, NamesDifferingOnlyInCaseKeepTheirOwnFiles) {
  ScratchFolder s;
  s.Write("Accounts/bob.ini", calmet_test::Section("CHAR1", {{"Name", "lower"}}));
  s.Write("Accounts/BOB.INI", calmet_test::Section("CHAR1", {{"Name", "upper"}}));
  AccountsState state;
  AccountListing l = ListScratch(state);
  ASSERT_EQ(l.lines, (Lines{"Bob.ini", "Bob.ini"}));
  ASSERT_EQ(l.files.size(), 2u);
  EXPECT_NE(l.files[0], l.files[1]);
  for (size_t i = 0; i < 2; ++i) {
    const AccountView v = ShowAccount(common::ServerFolder::Program(), l.files[i]);
    EXPECT_EQ(v.characters[0].caption, (l.files[i] == "bob.ini" ? "lower - " : "upper - "));
  }
}

TEST(ListAccountsTest, PassesOverNamesThatWouldLeaveTheFolder) {
  ScratchFolder s;
  s.Write("Accounts/..\\..\\evil.ini", "");
  s.Write("Accounts/good.ini", "");
  AccountsState state;
  AccountListing l = ListScratch(state);
  EXPECT_EQ(l.lines, (Lines{"Good.ini"}));
  EXPECT_EQ(state.TotalAccounts, 1);
}

TEST(ListAccountsTest, AFolderThatCannotBeListedIsReportedNotTakenForEmpty) {
  ScratchFolder s;
  // A link to itself: the name is there, but opening it as a folder fails.
  ASSERT_EQ(symlink("Accounts", s.At("Accounts").c_str()), 0);
  AccountsState state{.TotalAccounts = 7};
  AccountListing l = ListScratch(state);
  EXPECT_FALSE(l.status.ok());
  EXPECT_FALSE(l.status.IsNotFound()) << l.status.ToString();
  EXPECT_EQ(l.status.sysError(), ELOOP);
  EXPECT_NE(l.status.message().find("Accounts"), std::string::npos) << l.status.ToString();
  EXPECT_TRUE(l.lines.empty());
  EXPECT_TRUE(l.files.empty());
  EXPECT_EQ(l.label, "No accounts found.");
  EXPECT_EQ(state.TotalAccounts, 0);
}

TEST(ListAccountsTest, AFileInPlaceOfTheFolderMeansNoAccounts) {
  ScratchFolder s;
  s.Write("Accounts", "not a folder");
  AccountsState state{.TotalAccounts = 7};
  AccountListing l = ListScratch(state);
  EXPECT_TRUE(l.status.ok()) << l.status.ToString();
  EXPECT_EQ(l.label, "No accounts found.");
  EXPECT_EQ(state.TotalAccounts, 0);
}

}  // namespace
}  // namespace calmet
