// Profile writes on a host where the server's files belong to the server's
// account and the operator runs the tools under another: a rewrite keeps
// the file's owner, group, mode, attributes and other names, and writes
// only what the operator may write.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <string>

#include "common/profile.h"
#include "common/program_folder.h"
#include "tests/support/run_as.h"
#include "tests/support/scratch_folder.h"

namespace common {
namespace {

constexpr uid_t kServerUid = 1234;
constexpr gid_t kServerGid = 2000;

class OtherUsersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The scratch folder is private to root; others must be able to enter.
    chmod(server.path().c_str(), 0755);
    server.MakeDir("Accounts");
    folder = server.At("Accounts");
  }

  // An account file owned by the server's account.
  std::string ServerFile(const std::string& name, mode_t mode) {
    server.Write("Accounts/" + name, "[CHAR1]\r\nName=Bob\r\n");
    const std::string path = folder + "/" + name;
    EXPECT_EQ(chown(path.c_str(), kServerUid, kServerGid), 0);
    EXPECT_EQ(chmod(path.c_str(), mode), 0);
    return path;
  }

  static struct stat StatOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st;
  }

  std::string Tool(const std::string& name) { return ProgramFolder() + "\\Accounts\\" + name; }

  ScratchFolder server;
  std::string folder;
};

TEST_F(OtherUsersTest, OperatorInTheServersGroupWritesWithoutTakingTheFile) {
  // The server's folder as servers set it up: the server's group may write.
  ASSERT_EQ(chown(folder.c_str(), kServerUid, kServerGid), 0);
  ASSERT_EQ(chmod(folder.c_str(), 0775), 0);
  const std::string path = ServerFile("bob.ini", 0664);
  EXPECT_EQ(
      RunAs(tests::kOperatorInServerGroup,
            [&] { return WriteIniKey(Tool("bob.ini"), "CHAR1", "InvItemNum1", "0").ToString(); }),
      "OK");
  const struct stat st = StatOf(path);
  EXPECT_EQ(st.st_uid, kServerUid);
  EXPECT_EQ(st.st_gid, kServerGid);
  EXPECT_EQ(st.st_mode & 07777, 0664u);
  EXPECT_EQ(server.Read("Accounts/bob.ini"), "[CHAR1]\r\nName=Bob\r\nInvItemNum1=0\r\n");
}

TEST_F(OtherUsersTest, OperatorWhoMayNotWriteTheFileIsRefusedAndChangesNothing) {
  // The folder lets anyone create files, so a rename would go through; the
  // file itself is the server's alone.
  ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
  const std::string path = ServerFile("bob.ini", 0644);
  const ino_t before = StatOf(path).st_ino;
  const std::string result = RunAs(tests::kStranger, [&] {
    return WriteIniKey(Tool("bob.ini"), "CHAR1", "InvItemNum1", "0").ToString();
  });
  EXPECT_NE(result.find("Permission denied"), std::string::npos) << result;
  EXPECT_EQ(StatOf(path).st_ino, before);
  EXPECT_EQ(StatOf(path).st_uid, kServerUid);
  EXPECT_EQ(server.Read("Accounts/bob.ini"), "[CHAR1]\r\nName=Bob\r\n");
}

TEST_F(OtherUsersTest, RootKeepsTheGroupInASetGroupIdFolder) {
  // The folder hands new files its own group; the rewritten file must keep
  // its old one, or the folder's group could read a 0640 file.
  ASSERT_EQ(chown(folder.c_str(), 0, 100), 0);
  ASSERT_EQ(chmod(folder.c_str(), 02775), 0);
  server.Write("Accounts/bob.ini", "[CHAR1]\r\n");
  const std::string path = folder + "/bob.ini";
  ASSERT_EQ(chown(path.c_str(), 0, 0), 0);
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(WriteIniKey(Tool("bob.ini"), "CHAR1", "STR", "5").ok());
  EXPECT_EQ(StatOf(path).st_gid, 0u);
  EXPECT_EQ(StatOf(path).st_mode & 07777, 0640u);
}

TEST_F(OtherUsersTest, ExtendedAttributesAndHardLinksSurviveARewrite) {
  server.Write("Accounts/bob.ini", "[CHAR1]\r\n");
  const std::string path = folder + "/bob.ini";
  ASSERT_EQ(setxattr(path.c_str(), "user.origin", "server", 6, 0), 0);
  ASSERT_TRUE(WriteIniKey(Tool("bob.ini"), "CHAR1", "STR", "5").ok());
  char value[16] = {};
  EXPECT_EQ(getxattr(path.c_str(), "user.origin", value, sizeof value), 6);
  EXPECT_STREQ(value, "server");

  // A second name for the same account file must see the new content.
  ASSERT_EQ(link(path.c_str(), (folder + "/bob-link.ini").c_str()), 0);
  ASSERT_TRUE(WriteIniKey(Tool("bob.ini"), "CHAR1", "DEF", "7").ok());
  EXPECT_EQ(server.Read("Accounts/bob-link.ini"), server.Read("Accounts/bob.ini"));
  EXPECT_EQ(server.Read("Accounts/bob.ini"), "[CHAR1]\r\nSTR=5\r\nDEF=7\r\n");
  EXPECT_EQ(StatOf(path).st_nlink, 2u);
}

TEST_F(OtherUsersTest, UnreadableFileIsAnErrorNotAnEmptyFile) {
  const std::string path = ServerFile("bob.ini", 0600);
  const std::string result = RunAs(tests::kStranger, [&] {
    const ProfileReader reader(Tool("bob.ini"));
    if (reader.Get("CHAR1", "Name") != "") return std::string("read a value");
    return reader.status().ToString();
  });
  EXPECT_NE(result.find("Permission denied"), std::string::npos) << result;
}

}  // namespace
}  // namespace common
