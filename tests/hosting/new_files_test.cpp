// What root makes in a server folder of the server's account (converted
// records, their folders, new shop files, the maps a conversion creates)
// belongs to that account, as the server's own data does: otherwise the
// server could no longer rewrite the data the operator just converted.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/support/run_as.h"
#include "tests/support/run_command.h"
#include "tests/support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

constexpr uid_t kServerUid = 1234;
constexpr gid_t kServerGid = 2000;

TEST(NewFiles, WhatRootMakesInTheServersFolderIsTheServers) {
  if (geteuid() != 0) GTEST_SKIP() << "making files for another account needs root";
  ScratchFolder server;
  server.Write("items.ini", "[ITEM1]\r\nName=Sword\r\n[ITEM2]\r\nName=Shield\r\n");
  server.Write("shops.ini", "[SHOP1]\r\nName=Smithy\r\n");
  server.MakeDir("maps");
  server.Write("maps/map1.dat", std::string(2936, '\0'));  // map 2 missing: made empty
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(server.path())) {
    ASSERT_EQ(lchown(e.path().c_str(), kServerUid, kServerGid), 0);
  }
  ASSERT_EQ(chown(server.path().c_str(), kServerUid, kServerGid), 0);
  ASSERT_EQ(chmod(server.path().c_str(), 0755), 0);

  const tests::CommandResult r = tests::RunProgram(
      "Vostrel",
      {"convert", "items", "shops", "maps", "--max", "2", "--server-dir", server.path()});
  ASSERT_EQ(r.exitStatus, 0) << r.err;

  int made = 0;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(server.path())) {
    // The journal is the operator's record of what was done, not the server's.
    if (e.path().filename() == "server-tools.journal") continue;
    struct stat st;
    ASSERT_EQ(lstat(e.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kServerUid) << e.path();
    EXPECT_EQ(st.st_gid, kServerGid) << e.path();
    ++made;
  }
  EXPECT_GE(made, 3 + 3 + 2 + 2 + 1 + 2) << "sources, maps, items, shops and their folders";

  // What that is for: the server's account rewrites a converted record.
  const std::string record = server.At("Items/Item1.dat");
  EXPECT_EQ(tests::RunAs({kServerUid, kServerGid, {}},
                         [&]() -> std::string {
                           const int fd = open(record.c_str(), O_WRONLY);
                           if (fd < 0) return std::strerror(errno);
                           close(fd);
                           return "";
                         }),
            "");
}

}  // namespace
