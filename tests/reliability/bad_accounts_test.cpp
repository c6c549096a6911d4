// The account inspector fed an Accounts folder that is not what it should
// be: odd names, entries that are no ordinary files, links, and a folder that
// cannot be listed. Nothing crashes or blocks, and nothing but inventory keys
// changes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "accounts/account_list.h"
#include "accounts/accounts_state.h"
#include "accounts/character_view.h"
#include "accounts/inventory_wipe.h"
#include "common/profile.h"
#include "common/program_folder.h"
#include "tests/reliability/reliability_support.h"
#include "tests/support/scratch_folder.h"

namespace {

using namespace reliability;
using calmet::AccountListing;

AccountListing ListScratch(calmet::AccountsState& astate) {
  return calmet::ListAccounts(common::ServerFolder::Program(), astate);
}

common::JobResult WipeScratch(const AccountListing& listing) {
  common::JobEvents quiet;
  return calmet::WipeInventories(common::ServerFolder::Program(), listing, quiet);
}

std::string Account(const std::string& name) {
  return "[CHAR1]\r\nName=" + name + "\r\nLevel=4\r\nInvItemNum1=12\r\nInvItemVal1=3\r\n";
}

bool Wiped(const std::string& bytes) {
  return bytes.find("InvItemNum1=0\r\n") != std::string::npos &&
         bytes.find("InvItemDur100=0\r\n") != std::string::npos &&
         bytes.find("[CHAR3]") != std::string::npos;
}

TEST(BadAccounts, OddBytesAndSpacesInNamesAreListedShownAndWiped) {
  calmet::AccountsState astate;
  ScratchFolder s;
  const std::vector<std::string> names = {"m\xE9lanie dupont.ini", " leading space.ini",
                                          "two  spaces .ini", "\xFF\xFE.ini"};
  for (const std::string& n : names) s.Write("Accounts/" + n, Account("Hero"));

  const AccountListing listing = ListScratch(astate);
  ASSERT_EQ(listing.files.size(), names.size());
  for (const std::string& n : names) {
    EXPECT_NE(std::find(listing.files.begin(), listing.files.end(), n), listing.files.end()) << n;
  }
  EXPECT_NE(std::find(listing.lines.begin(), listing.lines.end(), "M\xE9lanie Dupont.ini"),
            listing.lines.end());
  for (const std::string& f : listing.files) {
    const calmet::AccountView view = calmet::ShowAccount(common::ServerFolder::Program(), f);
    ASSERT_TRUE(view.status.ok()) << f;
    EXPECT_EQ(view.characters[0].caption.substr(0, 4), "Hero") << f;
  }

  const common::JobResult result = WipeScratch(listing);
  EXPECT_TRUE(result.complete());
  for (const std::string& n : names) EXPECT_TRUE(Wiped(s.Read("Accounts/" + n))) << n;
}

TEST(BadAccounts, EntriesThatAreNoOrdinaryFilesAreReportedNotFatal) {
  calmet::AccountsState astate;
  Watchdog dog(20);
  ScratchFolder s;
  s.Write("Accounts/alice.ini", Account("Alice"));
  s.MakeDir("Accounts/folder.ini");
  ASSERT_EQ(mkfifo(s.At("Accounts/pipe.ini").c_str(), 0644), 0);
  s.Write("Accounts/zed.ini", Account("Zed"));

  const AccountListing listing = ListScratch(astate);
  for (const std::string& f : listing.files) {
    // Nothing to show, nothing blocks.
    const calmet::AccountView view = calmet::ShowAccount(common::ServerFolder::Program(), f);
    EXPECT_EQ(view.status.ok(), f == "alice.ini" || f == "zed.ini") << f;
  }
  const common::JobResult result = WipeScratch(listing);

  EXPECT_TRUE(Wiped(s.Read("Accounts/alice.ini")));
  EXPECT_TRUE(Wiped(s.Read("Accounts/zed.ini")));
  std::printf("[ tally    ] listed %zu of 4 entries; %zu reported as not wiped\n",
              listing.lines.size(), result.problems.size());
  // Whatever the listing kept of the two must be reported, not passed as wiped.
  for (const std::string& line : listing.lines) {
    if (line == "Folder.ini" || line == "Pipe.ini") {
      EXPECT_TRUE(std::any_of(result.problems.begin(), result.problems.end(),
                              [&](const common::ItemProblem& a) { return a.name == line; }))
          << line;
    }
  }
  struct stat st;
  ASSERT_EQ(lstat(s.At("Accounts/pipe.ini").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  ASSERT_EQ(lstat(s.At("Accounts/folder.ini").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_TRUE(TempLeftovers(s.At("Accounts")).empty());
}

// Root lists a folder whatever its mode bits say, so a folder that cannot be
// listed is made another way: a file, or a link to nowhere, in its place.
TEST(BadAccounts, AccountsFolderThatCannotBeListed) {
  calmet::AccountsState astate;
  for (const bool dangling : {false, true}) {
    SCOPED_TRACE(dangling ? "dangling link" : "regular file");
    ScratchFolder s;
    if (dangling) {
      ASSERT_EQ(symlink("gone", s.At("Accounts").c_str()), 0);
    } else {
      s.Write("Accounts", "not a folder");
    }
    const AccountListing listing = ListScratch(astate);
    EXPECT_TRUE(listing.files.empty());
    EXPECT_EQ(listing.label, "No accounts found.");
    EXPECT_EQ(astate.TotalAccounts, 0);
    EXPECT_FALSE(WipeScratch(listing).started);
    if (!dangling) {
      EXPECT_EQ(s.Read("Accounts"), "not a folder");
    }
    EXPECT_FALSE(s.Exists("gone"));
  }
}

TEST(BadAccounts, LinkedAccountFileIsWipedThroughTheLink) {
  calmet::AccountsState astate;
  ScratchFolder s;
  s.Write("store/real.ini", Account("Linked"));
  s.Write("Accounts/plain.ini", Account("Plain"));
  ASSERT_EQ(symlink("../store/real.ini", s.At("Accounts/linked.ini").c_str()), 0);

  const AccountListing listing = ListScratch(astate);
  ASSERT_EQ(listing.files.size(), 2u);
  EXPECT_TRUE(WipeScratch(listing).complete());

  struct stat st;
  ASSERT_EQ(lstat(s.At("Accounts/linked.ini").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  const std::string target = s.Read("store/real.ini");
  EXPECT_TRUE(Wiped(target));
  EXPECT_NE(target.find("Name=Linked\r\nLevel=4\r\n"), std::string::npos);
  EXPECT_TRUE(TempLeftovers(s.At("store")).empty());
}

}  // namespace
