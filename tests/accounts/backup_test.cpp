#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "accounts/account_backup.h"
#include "accounts/account_list.h"
#include "common/server_layout.h"
#include "tests/support/scratch_folder.h"

namespace calmet {
namespace {

// The backup as the wipe sees it: OK when it may rely on the copies.
common::Status Backup(const AccountListing& listing, const std::string& dir,
                      BackupResult* result) {
  common::JobEvents quiet;
  return BackupFailure(
      BackUpAccounts(common::ServerFolder::Program(), listing, dir, result, quiet));
}

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
      ListAccounts(common::ServerFolder::Program(), state);
  const std::string dir = s.At("saved/today");

  BackupResult result;
  ASSERT_TRUE(Backup(listing, dir, &result).ok());
  ASSERT_EQ(result.accounts.size(), 1u);
  EXPECT_TRUE(result.accounts[0].copied);
  EXPECT_EQ(result.accounts[0].hash, ContentHash(s.Read("Accounts/a.ini")));
  EXPECT_EQ(s.Read("saved/today/a.ini"), s.Read("Accounts/a.ini"));
  EXPECT_EQ(Mode(s.At("saved/today/a.ini")), 0640u);
  EXPECT_EQ(Mode(dir), 0700u);                     // account files hold passwords
  EXPECT_TRUE(Backup(listing, dir, &result).ok());  // the same backup again
  EXPECT_TRUE(result.accounts[0].copied);

  // A changed account does not replace its earlier copy.
  s.Write("Accounts/a.ini", "changed");
  const common::Status changed = Backup(listing, dir, &result);
  EXPECT_NE(changed.message().find(dir + "/a.ini"), std::string::npos) << changed.ToString();
  EXPECT_NE(s.Read("saved/today/a.ini"), "changed");
  EXPECT_FALSE(Backup(listing, s.At("plain-file/sub"), &result).ok());
  // An account gone since the listing is not silently left out: the result
  // says why it has no copy, and the wipe, which must not wipe what has no
  // copy, names it.
  ASSERT_EQ(std::remove(s.At("Accounts/a.ini").c_str()), 0);
  EXPECT_TRUE(Backup(listing, s.At("later"), &result).ok());
  EXPECT_FALSE(result.accounts[0].copied);
  EXPECT_TRUE(result.accounts[0].skipped.IsNotFound()) << result.accounts[0].skipped.ToString();
  EXPECT_FALSE(s.Exists("later/a.ini"));
}

// A process id that no longer runs.
pid_t DeadPid() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

TEST(BackupTest, HoldsRealBytesOnly) {
  ScratchFolder s;
  s.Write("Accounts/a.ini", "[CHAR1]\r\nName=A\r\n");
  s.Write("Accounts/b.ini", "[CHAR1]\r\nName=B\r\n");
  ASSERT_EQ(mkfifo(s.At("Accounts/pipe.ini").c_str(), 0600), 0);
  AccountsState state;
  const AccountListing listing =
      ListAccounts(common::ServerFolder::Program(), state);
  ASSERT_EQ(listing.files.size(), 3u);
  BackupResult result;

  // Links pointing back at the accounts are no copies of them, and a FIFO
  // with an account's name would hang a backup that opened it to compare.
  s.MakeDir("linked");
  ASSERT_EQ(symlink(s.At("Accounts/a.ini").c_str(), s.At("linked/a.ini").c_str()), 0);
  const common::Status linked = Backup(listing, s.At("linked"), &result);
  EXPECT_FALSE(linked.ok());
  EXPECT_NE(linked.message().find("linked/a.ini is not an ordinary file"), std::string::npos)
      << linked.ToString();
  s.MakeDir("piped");
  ASSERT_EQ(mkfifo(s.At("piped/b.ini").c_str(), 0600), 0);
  EXPECT_FALSE(Backup(listing, s.At("piped"), &result).ok());
  EXPECT_FALSE(s.Exists("piped/a.ini")) << "nothing is renamed into place once one entry failed";

  // A FIFO among the accounts is no account: left out, named, and never
  // waited on; the others are copied.
  ASSERT_TRUE(Backup(listing, s.At("good"), &result).ok());
  ASSERT_EQ(result.accounts.size(), 3u);
  EXPECT_TRUE(result.accounts[0].copied);
  EXPECT_TRUE(result.accounts[1].copied);
  EXPECT_FALSE(result.accounts[2].copied);
  EXPECT_NE(result.accounts[2].skipped.message().find("pipe.ini is not an ordinary file"),
            std::string::npos);
  EXPECT_FALSE(s.Exists("good/pipe.ini"));
}

TEST(BackupTest, TemporaryFilesOfAKilledBackupAreRemovedByTheNext) {
  ScratchFolder s;
  s.Write("Accounts/a.ini", "[CHAR1]\r\nName=A\r\n");
  const std::string dead = std::to_string(DeadPid());
  s.Write("saved/.a.ini.tmp-" + dead + "-b1", "half");
  s.Write("saved/.z.ini.backup-" + dead, "half");  // an earlier version's name
  s.Write("saved/.a.ini.tmp-1-b1", "pid 1 lives");
  s.Write("saved/.notes.tmp-x", "not ours");
  AccountsState state;
  const AccountListing listing =
      ListAccounts(common::ServerFolder::Program(), state);
  BackupResult result;
  ASSERT_TRUE(Backup(listing, s.At("saved"), &result).ok());
  EXPECT_FALSE(s.Exists("saved/.a.ini.tmp-" + dead + "-b1"));
  EXPECT_FALSE(s.Exists("saved/.z.ini.backup-" + dead));
  EXPECT_TRUE(s.Exists("saved/.a.ini.tmp-1-b1"));
  EXPECT_TRUE(s.Exists("saved/.notes.tmp-x"));
  EXPECT_EQ(s.Read("saved/a.ini"), s.Read("Accounts/a.ini"));
}

// Stopped between two accounts, the backup leaves no temporary file and no
// copy the wipe could rely on.
TEST(BackupTest, AStopLeavesNoTemporaryFileAndNothingToRelyOn) {
  ScratchFolder s;
  for (const char* name : {"a.ini", "b.ini", "c.ini"}) {
    s.Write(std::string("Accounts/") + name, std::string("[CHAR1]\r\nName=") + name + "\r\n");
  }
  AccountsState state;
  const AccountListing listing = ListAccounts(common::ServerFolder::Program(), state);
  class StopAfterTwo : public common::JobEvents {
   public:
    bool StopRequested() override { return ++asked == 2; }
    int asked = 0;
  } events;
  BackupResult result;
  const common::JobResult r =
      BackUpAccounts(common::ServerFolder::Program(), listing, s.At("saved"), &result, events);
  EXPECT_TRUE(r.stopped);
  EXPECT_EQ(r.done, 2);
  EXPECT_EQ(r.job, "backup");
  EXPECT_TRUE(BackupFailure(r).IsAborted()) << BackupFailure(r).ToString();
  for (const BackedUpAccount& a : result.accounts) EXPECT_FALSE(a.copied);
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(s.At("saved"))) {
    left.push_back(e.path().filename().string());
  }
  EXPECT_TRUE(left.empty()) << left.front();
}

}  // namespace
}  // namespace calmet
