#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "accounts/account_backup.h"
#include "accounts/account_list.h"
#include "common/server_layout.h"
#include "tests/support/scratch_folder.h"

namespace calmet {
namespace {

AccountListing ListScratch() {
  AccountsState state;
  return ListAccounts(common::layout::ServerPath(common::layout::kAccountsFolder), state);
}

mode_t Mode(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 0777;
}

TEST(BackupTest, CopiesKeepBytesAndModeAndNeverReplaceAnotherFile) {
  ScratchFolder s;
  s.Write("Accounts/a.ini", std::string("[CHAR1]\r\nName=A\0b\r\n", 20));
  s.Write("Accounts/B.INI", "");
  ASSERT_EQ(chmod(s.At("Accounts/a.ini").c_str(), 0640), 0);
  const AccountListing listing = ListScratch();
  const std::string dir = s.At("saved/today");

  ASSERT_TRUE(BackUpAccounts(listing, dir).ok());
  EXPECT_EQ(s.Read("saved/today/a.ini"), s.Read("Accounts/a.ini"));
  EXPECT_EQ(s.Read("saved/today/B.INI"), "");
  EXPECT_EQ(Mode(s.At("saved/today/a.ini")), 0640u);
  EXPECT_EQ(Mode(dir), 0700u);  // account files hold passwords
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);
  // The same backup again changes nothing and succeeds.
  EXPECT_TRUE(BackUpAccounts(listing, dir).ok());

  // Once an account has changed, the earlier copy is kept and the backup fails.
  s.Write("Accounts/a.ini", "changed");
  const common::Status changed = BackUpAccounts(listing, dir);
  EXPECT_FALSE(changed.ok());
  EXPECT_NE(changed.message().find(dir + "/a.ini"), std::string::npos) << changed.message();
  EXPECT_NE(s.Read("saved/today/a.ini"), "changed");
}

TEST(BackupTest, RefusesFoldersItCannotUse) {
  ScratchFolder s;
  s.Write("Accounts/a.ini", "x");
  s.Write("plain-file", "");
  const AccountListing listing = ListScratch();
  for (const std::string& dir : {s.At("Accounts"), s.At("plain-file"), s.At("plain-file/sub")}) {
    const common::Status status = BackUpAccounts(listing, dir);
    EXPECT_FALSE(status.ok()) << dir;
    EXPECT_NE(status.message().find(s.path()), std::string::npos) << status.message();
  }
  EXPECT_EQ(s.Read("Accounts/a.ini"), "x");

  // An account gone since the listing is not silently left out.
  ASSERT_EQ(std::remove(s.At("Accounts/a.ini").c_str()), 0);
  EXPECT_FALSE(BackUpAccounts(listing, s.At("later")).ok());
}

}  // namespace
}  // namespace calmet
