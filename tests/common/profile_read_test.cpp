// Reading profile files: what the recorded cases leave open — the parsed
// copy kept between reads, long values, paths and things that are no files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "common/profile.h"
#include "common/program_folder.h"
#include "tests/common/status_assert.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/tool_paths.h"

namespace common {

namespace {

// Sets the file's modification time to `sec` seconds and `nsec` nanoseconds.
void SetMtime(const std::string& path, time_t sec, long nsec) {
  timespec times[2] = {{sec, nsec}, {sec, nsec}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(ProfileReadCache, SameSizeRewriteWithinOneSecondIsSeen) {
  ScratchFolder server;
  server.Write("items.ini", "[ITEM1]\r\nName=Sword\r\n");
  SetMtime(server.At("items.ini"), 1700000000, 100);
  EXPECT_EQ(ReadIniKey(Tool("items.ini"), "ITEM1", "Name"), "Sword");

  // Same size, same second: only the nanoseconds tell the versions apart.
  // Written in place so that the inode stays too.
  int fd = open(server.At("items.ini").c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  const std::string next = "[ITEM1]\r\nName=Spear\r\n";
  ASSERT_EQ(write(fd, next.data(), next.size()), static_cast<ssize_t>(next.size()));
  close(fd);
  SetMtime(server.At("items.ini"), 1700000000, 200);
  EXPECT_EQ(ReadIniKey(Tool("items.ini"), "ITEM1", "Name"), "Spear");
}

TEST(ProfileReadCache, GrowingFileWithTheSameTimeIsSeen) {
  ScratchFolder server;
  server.Write("a.ini", "[S]\r\nk=1\r\n");
  SetMtime(server.At("a.ini"), 1700000000, 0);
  EXPECT_EQ(ReadIniKey(Tool("a.ini"), "S", "k"), "1");
  int fd = open(server.At("a.ini").c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "j=2\r\n", 5), 5);
  close(fd);
  SetMtime(server.At("a.ini"), 1700000000, 0);
  EXPECT_EQ(ReadIniKey(Tool("a.ini"), "S", "j"), "2");
}

TEST(ProfileReadCache, ReadAfterWriteSeesTheNewValue) {
  ScratchFolder server;
  server.Write("Accounts/bob.ini", "[CHAR1]\r\nInvItemNum1=5\r\nInvItemVal1=1\r\n");
  const std::string file = Tool("\\Accounts\\bob.ini");
  EXPECT_EQ(ReadIniKey(file, "CHAR1", "InvItemNum1"), "5");
  ASSERT_TRUE(IsOk(WriteIniKey(file, "CHAR1", "InvItemNum1", "0")));
  EXPECT_EQ(ReadIniKey(file, "CHAR1", "InvItemNum1"), "0");
  ProfileEdit edit(file);
  edit.Set("CHAR1", "InvItemVal1", "0");
  edit.Set("CHAR2", "Name", "x");
  ASSERT_TRUE(IsOk(edit.Commit()));
  EXPECT_EQ(ReadIniKey(file, "CHAR1", "InvItemVal1"), "0");
  EXPECT_EQ(ReadIniKey(file, "char2", "name"), "x");
}

TEST(ProfileReadCache, DeletedFileReadsAsMissingAndReappears) {
  ScratchFolder server;
  server.Write("a.ini", "[S]\r\nk=1\r\n");
  EXPECT_EQ(ReadIniKey(Tool("a.ini"), "S", "k"), "1");
  ASSERT_EQ(unlink(server.At("a.ini").c_str()), 0);
  EXPECT_EQ(ReadIniKey(Tool("a.ini"), "S", "k"), "");
  server.Write("a.ini", "[S]\r\nk=2\r\n");
  EXPECT_EQ(ReadIniKey(Tool("a.ini"), "S", "k"), "2");
}

TEST(ProfileReadCache, SeveralFilesReadInTurnKeepTheirOwnValues) {
  ScratchFolder server;
  for (int i = 0; i < 8; ++i)
    server.Write("f" + std::to_string(i) + ".ini", "[S]\r\nk=" + std::to_string(i) + "\r\n");
  for (int round = 0; round < 3; ++round)
    for (int i = 0; i < 8; ++i)
      EXPECT_EQ(ReadIniKey(Tool("F" + std::to_string(i) + ".INI"), "s", "K"), std::to_string(i));
}

TEST(ProfileReadValues, LongValuesAreCutTo4999Bytes) {
  ScratchFolder server;
  const std::string v4999(4999, 'a');
  const std::string v5000 = std::string(4999, 'b') + "c";
  const std::string v9000(9000, 'd');
  server.Write("a.ini", "[S]\r\nexact=" + v4999 + "\r\nover=" + v5000 + "\r\nfar=" + v9000 +
                            "\r\nafter=ok\r\n");
  EXPECT_EQ(ReadIniKey(Tool("a.ini"), "S", "exact"), v4999);
  EXPECT_EQ(ReadIniKey(Tool("a.ini"), "S", "over"), std::string(4999, 'b'));
  EXPECT_EQ(ReadIniKey(Tool("a.ini"), "S", "far"), std::string(4999, 'd'));
  EXPECT_EQ(ReadIniKey(Tool("a.ini"), "S", "after"), "ok");
}

TEST(ProfileReadValues, WrittenLongValueReadsBackCut) {
  ScratchFolder server;
  const std::string v(5000, 'z');
  ASSERT_TRUE(IsOk(WriteIniKey(Tool("a.ini"), "S", "k", v)));
  EXPECT_EQ(server.Read("a.ini"), "[S]\r\nk=" + v + "\r\n");  // stored whole
  EXPECT_EQ(ReadIniKey(Tool("a.ini"), "S", "k"), std::string(4999, 'z'));
}

TEST(ProfileReadValues, ManySectionsAndKeysAllFound) {
  ScratchFolder server;
  std::string text;
  for (int n = 1; n <= 3000; ++n) {
    text += "[ITEM" + std::to_string(n) + "]\r\n";
    for (int k = 0; k < 10; ++k)
      text += "Key" + std::to_string(k) + "=" + std::to_string(n * 10 + k) + "\r\n";
  }
  server.Write("items.ini", text);
  for (int n = 1; n <= 3000; n += 7)
    for (int k = 0; k < 10; ++k)
      ASSERT_EQ(
          ReadIniKey(Tool("items.ini"), "item" + std::to_string(n), "KEY" + std::to_string(k)),
          std::to_string(n * 10 + k));
  EXPECT_EQ(ReadIniKey(Tool("items.ini"), "ITEM3001", "Key0"), "");
  EXPECT_EQ(ReadIniKey(Tool("items.ini"), "ITEM1", "Key10"), "");
}

TEST(ProfileReadPaths, MixedCaseAndDoubledSeparators) {
  ScratchFolder server;
  server.Write("Items/Item7.dat", "[ITEM7]\r\nName=Bow\r\n");
  EXPECT_EQ(ReadIniKey(ProgramFolder() + "\\\\ITEMS\\\\item7.DAT", "ITEM7", "Name"), "Bow");
  EXPECT_EQ(ReadIniKey(ProgramFolder() + "\\items/ITEM7.dat", "item7", "name"), "Bow");
  EXPECT_EQ(ReadIniKey(server.At("Items/Item7.dat"), "ITEM7", "Name"), "Bow");  // a host path
  EXPECT_EQ(ReadIniKey(ProgramFolder() + "\\Items\\Item8.dat", "ITEM7", "Name"), "");
}

TEST(ProfileReadPaths, FolderAndFifoReadAsMissingWithoutBlocking) {
  ScratchFolder server;
  server.MakeDir("d.ini");
  EXPECT_EQ(ReadIniKey(Tool("d.ini"), "S", "k"), "");
  ASSERT_EQ(mkfifo(server.At("p.ini").c_str(), 0644), 0);
  // Nobody writes into the FIFO: opening it for reading in the usual way
  // would hang this test.
  EXPECT_EQ(ReadIniKey(Tool("p.ini"), "S", "k"), "");
  EXPECT_FALSE(WriteIniKey(Tool("p.ini"), "S", "k", "v").ok());
  struct stat st;
  ASSERT_EQ(lstat(server.At("p.ini").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(ProfileReadPaths, SymlinkIsReadThrough) {
  ScratchFolder server;
  server.Write("real.ini", "[S]\r\nk=1\r\n");
  ASSERT_EQ(symlink("real.ini", server.At("link.ini").c_str()), 0);
  EXPECT_EQ(ReadIniKey(Tool("LINK.ini"), "S", "k"), "1");
}

}  // namespace

}  // namespace common
