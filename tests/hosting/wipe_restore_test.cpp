// A wipe and its restore run by an operator in the server's group, who may
// write the server's files but cannot give a file to the server's account.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

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

}  // namespace
