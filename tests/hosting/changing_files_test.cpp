// Files that change under the tools, and files no profile file should be:
// rewrites the cache cannot tell by their stamp, huge files, long names.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "common/profile.h"
#include "common/program_folder.h"
#include "tests/support/scratch_folder.h"

namespace common {
namespace {

int OpenDescriptors() {
  int n = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dirent* e = readdir(dir)) n += e->d_name[0] != '.';
  closedir(dir);
  return n;
}

TEST(ChangingFiles, ARewriteThatPutsTheOldTimeBackIsStillSeen) {
  ScratchFolder server;
  server.Write("items.ini", "[ITEM1]\r\nName=Axe\r\n");
  const std::string path = server.At("items.ini");
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  const std::string tool = ProgramFolder() + "\\items.ini";
  EXPECT_EQ(ReadIniKey(tool, "ITEM1", "Name"), "Axe");
  // Same size, same modification time: only the change time tells.
  for (int i = 0; i < 50; ++i) {
    const std::string name = i % 2 ? "Axe" : "Bow";
    server.Write("items.ini", "[ITEM1]\r\nName=" + name + "\r\n");
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    ASSERT_EQ(ReadIniKey(tool, "ITEM1", "Name"), name) << "rewrite " << i;
  }
}

TEST(ChangingFiles, AFileReadJustAfterItChangedIsNotTrustedByItsStamp) {
  // ramfs keeps times in coarse steps: a same-size rewrite within one step
  // keeps the whole stamp, so a file that changed that close to its reading
  // must be read again.
  ScratchFolder server;
  server.MakeDir("ram");
  const std::string ram = server.At("ram");
  ASSERT_EQ(mount("none", ram.c_str(), "ramfs", 0, nullptr), 0) << "needs root";
  const std::string tool = ProgramFolder() + "\\ram\\items.ini";
  int stale = 0;
  for (int i = 0; i < 200; ++i) {
    const std::string name = i % 2 ? "Axe" : "Bow";
    server.Write("ram/items.ini", "[ITEM1]\r\nName=" + name + "\r\n");
    stale += ReadIniKey(tool, "ITEM1", "Name") != name;
  }
  umount2(ram.c_str(), MNT_DETACH);
  EXPECT_EQ(stale, 0);
}

TEST(ChangingFiles, AHugeFileIsRefusedWithAReasonAndLeavesNoDescriptorOpen) {
  ScratchFolder server;
  server.MakeDir("Accounts");
  // Sparse: a terabyte that takes no room on the disk.
  const std::string path = server.At("Accounts/big.ini");
  int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, off_t{1} << 40), 0);
  close(fd);
  const std::string tool = ProgramFolder() + "\\Accounts\\big.ini";
  const int open = OpenDescriptors();
  for (int i = 0; i < 20; ++i) {
    const ProfileReader reader(tool);
    EXPECT_EQ(reader.Get("CHAR1", "Name"), "");
    EXPECT_EQ(reader.status().code(), Status::Code::kOutOfRange);
    EXPECT_NE(reader.status().message().find("big.ini"), std::string::npos);
    ProfileEdit edit(tool);
    edit.Set("CHAR1", "InvItemNum1", "0");
    EXPECT_EQ(edit.Commit().code(), Status::Code::kOutOfRange);
  }
  EXPECT_EQ(OpenDescriptors(), open);
}

TEST(ChangingFiles, AFileWithTheLongestNameCanBeRewritten) {
  ScratchFolder server;
  const std::string name = std::string(251, 'a') + ".ini";  // 255 bytes
  server.Write("Accounts/" + name, "[CHAR1]\r\n");
  const std::string tool = ProgramFolder() + "\\Accounts\\" + name;
  EXPECT_EQ(WriteIniKey(tool, "CHAR1", "InvItemNum1", "0").ToString(), "OK");
  EXPECT_EQ(server.Read("Accounts/" + name), "[CHAR1]\r\nInvItemNum1=0\r\n");
}

}  // namespace
}  // namespace common
