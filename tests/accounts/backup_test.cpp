#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "accounts/account_backup.h"
#include "accounts/account_list.h"
#include "common/server_layout.h"
#include "tests/support/scratch_folder.h"

namespace calmet {
namespace {

mode_t Mode(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 0777;
}

TEST(BackupTest, KeepsBytesAndModeAndNeverReplacesAnotherFile) {
  ScratchFolder s;
  s.Write("Accounts/a.ini", std::string("[CHAR1]\r\nName=A\0b\r\n", 20));
  ASSERT_EQ(chmod(s.At("Accounts/a.ini").c_str(), 0640), 0);
  s.Write("plain-file", "");
  AccountsState state;
  const AccountListing listing =
      ListAccounts(common::layout::ServerPath(common::layout::kAccountsFolder), state);
  const std::string dir = s.At("saved/today");

  BackupResult result;
  ASSERT_TRUE(BackUpAccounts(listing, dir, &result).ok());
  ASSERT_EQ(result.accounts.size(), 1u);
  EXPECT_TRUE(result.accounts[0].copied);
  EXPECT_EQ(result.accounts[0].hash, ContentHash(s.Read("Accounts/a.ini")));
  EXPECT_EQ(s.Read("saved/today/a.ini"), s.Read("Accounts/a.ini"));
  EXPECT_EQ(Mode(s.At("saved/today/a.ini")), 0640u);
  EXPECT_EQ(Mode(dir), 0700u);                     // account files hold passwords
  EXPECT_TRUE(BackUpAccounts(listing, dir, &result).ok());  // the same backup again
  EXPECT_TRUE(result.accounts[0].copied);

  // A changed account does not replace its earlier copy.
  s.Write("Accounts/a.ini", "changed");
  const common::Status changed = BackUpAccounts(listing, dir, &result);
  EXPECT_NE(changed.message().find(dir + "/a.ini"), std::string::npos) << changed.ToString();
  EXPECT_NE(s.Read("saved/today/a.ini"), "changed");
  EXPECT_FALSE(BackUpAccounts(listing, s.At("plain-file/sub"), &result).ok());
  // An account gone since the listing is not silently left out: the result
  // says why it has no copy, and the wipe, which must not wipe what has no
  // copy, names it.
  ASSERT_EQ(std::remove(s.At("Accounts/a.ini").c_str()), 0);
  EXPECT_TRUE(BackUpAccounts(listing, s.At("later"), &result).ok());
  EXPECT_FALSE(result.accounts[0].copied);
  EXPECT_TRUE(result.accounts[0].skipped.IsNotFound()) << result.accounts[0].skipped.ToString();
  EXPECT_FALSE(s.Exists("later/a.ini"));
}

}  // namespace
}  // namespace calmet
