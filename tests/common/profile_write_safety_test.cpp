// Writes that must fail without harm, and the crash-safe replacement under
// them: the old file survives every failure, no temporary file is left, and
// links, modes and owners survive a success.
#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "common/atomic_file.h"
#include "common/profile.h"
#include "common/program_folder.h"
#include "common/server_folder.h"
#include "tests/common/status_assert.h"
#include "tests/support/fault_file_system.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/tool_paths.h"

namespace common {

namespace fs = std::filesystem;

namespace {

// Every name in the folder, hidden ones included, for spotting leftovers.
std::string Names(const std::string& folder) {
  std::string out;
  for (const auto& e : fs::directory_iterator(folder)) out += e.path().filename().string() + " ";
  return out;
}

TEST(ProfileWriteFailure, ReadOnlyFileIsLeftAlone) {
  ScratchFolder server;
  server.Write("a.ini", "[S]\r\nk=1\r\n");
  ASSERT_EQ(chmod(server.At("a.ini").c_str(), 0444), 0);
  const Status refused = WriteIniKey(Tool("a.ini"), "S", "k", "2");
  EXPECT_FALSE(refused.ok());
  EXPECT_EQ(refused.sysError(), EACCES) << refused.ToString();
  EXPECT_NE(refused.message().find("a.ini"), std::string::npos) << refused.ToString();
  ProfileEdit edit(Tool("a.ini"));
  edit.Set("S", "new", "x");
  const Status committed = edit.Commit();
  EXPECT_FALSE(committed.ok());
  EXPECT_EQ(committed.sysError(), EACCES) << committed.ToString();
  EXPECT_EQ(server.Read("a.ini"), "[S]\r\nk=1\r\n");
  EXPECT_EQ(Names(server.path()), "a.ini ");
  // Holding the value already is no failure: the file says what was asked.
  EXPECT_TRUE(IsOk(WriteIniKey(Tool("a.ini"), "S", "k", "1")));
}

TEST(ProfileWriteFailure, MissingFolderAndFolderPathCreateNothing) {
  ScratchFolder server;
  server.MakeDir("d.ini");
  EXPECT_FALSE(WriteIniKey(Tool("nodir\\a.ini"), "S", "k", "v").ok());
  EXPECT_FALSE(WriteIniKey(Tool("d.ini"), "S", "k", "v").ok());
  EXPECT_FALSE(WriteIniKey(Tool("d.ini\\x.ini\\y.ini"), "S", "k", "v").ok());
  EXPECT_EQ(Names(server.path()), "d.ini ");
  EXPECT_TRUE(fs::is_empty(server.At("d.ini")));
}

TEST(ProfileWriteFailure, FullDiskKeepsTheOldFileAndLeavesNoTemporary) {
  ScratchFolder server;
  server.Write("Shops/Shop1.dat", "[SHOP1]\r\nName=Old\r\n");
  tests::FaultFileSystem full;
  full.writesFail = [](std::string_view) { return true; };
  Folder shops;
  ASSERT_TRUE(IsOk(ServerFolder(server.path(), full).OpenFolder("\\Shops", &shops)));
  ProfileEdit edit(shops, "Shop1.dat");
  edit.Set("SHOP1", "Name", "New");
  const Status failed = edit.Commit();
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(failed.sysError(), ENOSPC);
  EXPECT_NE(failed.message().find("No space"), std::string::npos) << failed.ToString();
  EXPECT_NE(failed.message().find("Shop1.dat"), std::string::npos) << failed.ToString();
  EXPECT_EQ(server.Read("Shops/Shop1.dat"), "[SHOP1]\r\nName=Old\r\n");
  EXPECT_EQ(ReadIniKey(Tool("Shops\\Shop1.dat"), "SHOP1", "Name"), "Old");
  // A new file that cannot be written is not created either.
  ProfileEdit fresh(shops, "Shop2.dat");
  fresh.Set("SHOP2", "Name", "x");
  EXPECT_FALSE(fresh.Commit().ok());
  EXPECT_EQ(Names(server.At("Shops")), "Shop1.dat ");
  // Only this folder's files met the fault: the rest of the process writes.
  EXPECT_TRUE(IsOk(WriteIniKey(Tool("Shops\\Shop3.dat"), "SHOP3", "Name", "y")));
}

TEST(ProfileWriteFailure, Utf16FileIsNotGarbled) {
  ScratchFolder server;
  const std::string utf16(
      "\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0"
      "1\0\r\0\n\0",
      22);
  server.Write("a.ini", utf16);
  EXPECT_EQ(ReadIniKey(Tool("a.ini"), "S", "k"), "1");
  EXPECT_FALSE(WriteIniKey(Tool("a.ini"), "S", "k", "2").ok());
  EXPECT_EQ(server.Read("a.ini"), utf16);
}

TEST(ReplaceFileAtomically, SymlinkStaysALinkAndItsTargetChanges) {
  ScratchFolder server;
  server.Write("data/real.ini", "[S]\r\nk=1\r\n");
  ASSERT_EQ(symlink("data/real.ini", server.At("link.ini").c_str()), 0);
  ASSERT_TRUE(IsOk(WriteIniKey(Tool("link.ini"), "S", "k", "2")));
  EXPECT_TRUE(fs::is_symlink(server.At("link.ini")));
  EXPECT_EQ(server.Read("data/real.ini"), "[S]\r\nk=2\r\n");
  EXPECT_EQ(Names(server.At("data")), "real.ini ");
}

TEST(ReplaceFileAtomically, DanglingLinkCreatesItsTarget) {
  ScratchFolder server;
  server.MakeDir("data");
  ASSERT_EQ(symlink("data/new.ini", server.At("link.ini").c_str()), 0);
  ASSERT_TRUE(IsOk(WriteIniKey(Tool("link.ini"), "S", "k", "v")));
  EXPECT_TRUE(fs::is_symlink(server.At("link.ini")));
  EXPECT_EQ(server.Read("data/new.ini"), "[S]\r\nk=v\r\n");
}

TEST(ReplaceFileAtomically, KeepsModeAndOwner) {
  ScratchFolder server;
  server.Write("a.ini", "[S]\r\nk=1\r\n");
  ASSERT_EQ(chmod(server.At("a.ini").c_str(), 0640), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(server.At("a.ini").c_str(), 1234, 2345), 0);
  }
  ASSERT_TRUE(IsOk(WriteIniKey(Tool("a.ini"), "S", "k", "2")));
  struct stat st;
  ASSERT_EQ(stat(server.At("a.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 1234u);
    EXPECT_EQ(st.st_gid, 2345u);
  }
  EXPECT_EQ(server.Read("a.ini"), "[S]\r\nk=2\r\n");
}

TEST(ReplaceFileAtomically, NewFileGetsTheUsualModeAndNoLeftovers) {
  ScratchFolder server;
  const mode_t mask = umask(022);
  ASSERT_TRUE(IsOk(ReplaceFileAtomically(server.At("x.dat"), "abc")));
  umask(mask);
  struct stat st;
  ASSERT_EQ(stat(server.At("x.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  EXPECT_EQ(server.Read("x.dat"), "abc");
  ASSERT_TRUE(IsOk(ReplaceFileAtomically(server.At("x.dat"), "")));
  EXPECT_EQ(server.Read("x.dat"), "");
  EXPECT_EQ(Names(server.path()), "x.dat ");
}

TEST(ReplaceFileAtomically, RefusesFoldersAndMissingFolders) {
  ScratchFolder server;
  server.MakeDir("d");
  const Status folder = ReplaceFileAtomically(server.At("d"), "x");
  EXPECT_FALSE(folder.ok());
  EXPECT_NE(folder.message().find("not an ordinary file"), std::string::npos) << folder.ToString();
  const Status missing = ReplaceFileAtomically(server.At("missing/x"), "x");
  EXPECT_TRUE(missing.IsNotFound()) << missing.ToString();
  EXPECT_NE(missing.message().find("missing"), std::string::npos) << missing.ToString();
  EXPECT_TRUE(fs::is_directory(server.At("d")));
  EXPECT_EQ(Names(server.path()), "d ");
}

}  // namespace

}  // namespace common
