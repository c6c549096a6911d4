// A wipe and its restore run by an operator in the server's group, who may
// write the server's files but cannot give a file to the server's account.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "accounts/account_backup.h"
#include "accounts/wipe_backup.h"
#include "tests/support/file_tree.h"
#include "tests/support/run_as.h"
#include "tests/support/run_command.h"
#include "tests/support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

constexpr uid_t kServerUid = 1234;
constexpr gid_t kServerGid = 2000;

void ServerOwns(const std::string& path, mode_t mode) {
  ASSERT_EQ(chown(path.c_str(), kServerUid, kServerGid), 0) << path;
  ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
}

// Calmet run as the operator; "" and its standard error in `err` when it
// ended with `status`, otherwise what happened.
std::string CalmetAsOperator(const ScratchFolder& server, std::vector<std::string> args,
                             int status) {
  args.push_back("--server-dir");
  args.push_back(server.path());
  return tests::RunAs(tests::kOperatorInServerGroup, [&] {
    const tests::CommandResult r = tests::RunProgram("Calmet", args);
    return r.exitStatus == status ? std::string()
                                  : "status " + std::to_string(r.exitStatus) + ": " + r.err;
  });
}

TEST(WipeRestoreAsOperator, GivesBackEveryAccountAndSaysWhatItCouldNotGiveBack) {
  ScratchFolder server;
  chmod(server.path().c_str(), 0755);
  server.Write("Accounts/bob.ini", "[CHAR1]\r\nName=Bob\r\nInvItemNum1=7\r\nInvItemVal1=3\r\n");
  server.Write("Accounts/amy.ini", "[CHAR1]\r\nName=Amy\r\nInvItemNum2=9\r\n");
  // The server's folders as servers set them up: its group may write.
  ServerOwns(server.path(), 02775);
  ServerOwns(server.At("Accounts"), 02775);
  ServerOwns(server.At("Accounts/bob.ini"), 0660);
  ServerOwns(server.At("Accounts/amy.ini"), 0664);
  const auto before = tests::FileTree(server.At("Accounts"));

  ASSERT_EQ(CalmetAsOperator(server, {"wipe", "--yes"}, 0), "");
  ASSERT_NE(tests::FileTree(server.At("Accounts")), before);
  std::string backup;
  for (const auto& e : fs::directory_iterator(server.At("Backups"))) backup = e.path();
  ASSERT_NE(backup, "");
  // The backup is the operator's own, and no one else's to read.
  struct stat st {};
  ASSERT_EQ(stat(backup.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, tests::kOperatorInServerGroup.uid);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // Amy's account is gone since the wipe: made again, it is the operator's,
  // which the restore cannot change, but its mode it gives back.
  fs::remove(server.At("Accounts/amy.ini"));
  const std::string result = tests::RunAs(tests::kOperatorInServerGroup, [&] {
    const tests::CommandResult r = tests::RunProgram(
        "Calmet", {"restore", backup, "--yes", "--force", "--server-dir", server.path()});
    if (r.exitStatus != 0) return "status " + std::to_string(r.exitStatus) + ": " + r.err;
    if (r.err.find("amy.ini: owner 1234:2000 not given back") == std::string::npos) {
      return "the owner not given back is not named: " + r.err;
    }
    return std::string();
  });
  EXPECT_EQ(result, "");
  EXPECT_EQ(tests::FileTree(server.At("Accounts")), before);
  ASSERT_EQ(stat(server.At("Accounts/bob.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kServerUid);
  EXPECT_EQ(st.st_gid, kServerGid);
  EXPECT_EQ(st.st_mode & 07777, 0660u);
  ASSERT_EQ(stat(server.At("Accounts/amy.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, tests::kOperatorInServerGroup.uid);
  EXPECT_EQ(st.st_gid, kServerGid);
  EXPECT_EQ(st.st_mode & 07777, 0664u);
}

// A restore by root gives accounts the owner and mode its manifest lists.
// A backup the server's account made, or could have changed, would let it
// hand root's name to a file of its choosing: such a backup is neither put
// back nor made, and no manifest puts set-id bits on an account.
TEST(ForgedBackup, OnlyABackupNoOtherAccountCouldWriteIsPutBackAndNeverWithSetIdBits) {
  if (geteuid() != 0) GTEST_SKIP() << "the case is root restoring";
  ScratchFolder server;
  const std::string account = "[CHAR1]\r\nName=Bob\r\n";
  server.Write("Accounts/bob.ini", account);
  ServerOwns(server.path(), 0755);
  ServerOwns(server.At("Accounts"), 0755);
  ServerOwns(server.At("Accounts/bob.ini"), 0644);
  const std::string program = "#!/bin/sh\nid\n";
  // What the wipe would have written is what bob.ini holds now, so only
  // the backup's trust stands between it and the restore.
  calmet::Manifest manifest;
  manifest.files.push_back({"bob.ini", static_cast<int64_t>(program.size()),
                            calmet::ContentHash(program), 0, 0, 04755,
                            calmet::ContentHash(account)});
  const std::string json = calmet::ManifestJson(manifest);
  auto writeBackup = [&](const std::string& dir) {
    fs::create_directories(dir);
    std::ofstream(dir + "/manifest.json", std::ios::binary) << json;
    std::ofstream(dir + "/bob.ini", std::ios::binary) << program;
  };
  auto restore = [&](const std::string& dir) {
    return tests::RunProgram("Calmet", {"restore", dir, "--yes", "--server-dir", server.path()});
  };
  auto bobUntouched = [&](const std::string& what) {
    struct stat st {};
    ASSERT_EQ(stat(server.At("Accounts/bob.ini").c_str(), &st), 0);
    EXPECT_EQ(server.Read("Accounts/bob.ini"), account) << what;
    EXPECT_EQ(st.st_uid, kServerUid) << what;
    EXPECT_EQ(st.st_mode & 07777, 0644u) << what;
  };

  // Made by the server's account, in its own folder.
  const std::string forged = server.At("Backups/20261207T000000Z-wipe");
  ASSERT_EQ(tests::RunAs({kServerUid, kServerGid, {}},
                         [&] {
                           writeBackup(forged);
                           return std::string();
                         }),
            "");
  tests::CommandResult r = restore(forged);
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_NE(r.err.find("belongs to uid 1234, not to root"), std::string::npos) << r.err;
  bobUntouched("a backup of the server's account");

  // Root's, but its group may write it; nor is such a folder backed up into.
  ScratchFolder shared;
  writeBackup(shared.path());
  ASSERT_EQ(chmod(shared.path().c_str(), 0770), 0);
  r = restore(shared.path());
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_NE(r.err.find("may be written by its group"), std::string::npos) << r.err;
  bobUntouched("a group-writable backup");
  ScratchFolder open;
  ASSERT_EQ(chmod(open.path().c_str(), 0777), 0);
  r = tests::RunProgram("Calmet",
                        {"wipe", "--yes", "--backup", open.path(), "--server-dir", server.path()});
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_NE(r.err.find("may be written by anyone"), std::string::npos) << r.err;
  bobUntouched("a wipe with a backup anyone may write");

  // Root's own backup listing set-id bits: the bytes and owner come back,
  // the set-id bits do not.
  ScratchFolder trusted;
  writeBackup(trusted.path());
  r = restore(trusted.path());
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  struct stat st {};
  ASSERT_EQ(stat(server.At("Accounts/bob.ini").c_str(), &st), 0);
  EXPECT_EQ(server.Read("Accounts/bob.ini"), program);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
}

}  // namespace
