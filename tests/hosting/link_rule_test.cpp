// Which links the tools follow below the server folder: those of root and of
// the user running the tool, at every step of a path, and no others;
// outside the server folder, the caller's own path, links are followed as
// the system follows them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "common/file_search.h"
#include "common/profile.h"
#include "common/program_folder.h"
#include "common/trusted_folder.h"
#include "tests/support/run_as.h"
#include "tests/support/scratch_folder.h"

namespace common {
namespace {

class LinkRule : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(chmod(server.path().c_str(), 0755), 0);
    server.Write("real/items.ini", "[ITEM1]\r\nName=Axe\r\n");
    ASSERT_EQ(chmod(server.At("real").c_str(), 0755), 0);
    Link("real/items.ini", "byRoot.ini", 0);
    Link("real/items.ini", "byOperator.ini", tests::kStranger.uid);
    Link("real/items.ini", "byServer.ini", 1234);
    Link("real", "rootDir", 0);
    Link("real", "serverDir", 1234);
  }

  void Link(const std::string& target, const std::string& name, uid_t owner) {
    ASSERT_EQ(symlink(server.At(target).c_str(), server.At(name).c_str()), 0);
    ASSERT_EQ(lchown(server.At(name).c_str(), owner, owner), 0);
  }

  // What the tools make of `name`: the value read, or why nothing was.
  static std::string Reading(const std::string& name) {
    const ProfileReader reader(ProgramFolder() + "\\" + name);
    if (!reader.status().ok()) return IsUntrustedLink(reader.status()) ? "refused" : "failed";
    return reader.Get("ITEM1", "Name");
  }

  ScratchFolder server;
};

TEST_F(LinkRule, RootFollowsOnlyRootsLinks) {
  EXPECT_EQ(Reading("byRoot.ini"), "Axe");
  EXPECT_EQ(Reading("byOperator.ini"), "refused");
  EXPECT_EQ(Reading("byServer.ini"), "refused");
  EXPECT_EQ(Reading("ROOTDIR\\ITEMS.INI"), "Axe") << "the case rule goes on below a link";
  EXPECT_EQ(Reading("serverDir\\items.ini"), "refused") << "a folder step is checked too";
  EXPECT_FALSE(FileIsPresent("\\byServer.ini", false));
  EXPECT_FALSE(WriteIniKey(ProgramFolder() + "\\serverDir\\items.ini", "ITEM1", "Name", "x").ok());
  EXPECT_EQ(server.Read("real/items.ini"), "[ITEM1]\r\nName=Axe\r\n");
}

TEST_F(LinkRule, AnOperatorFollowsRootsAndHisOwn) {
  EXPECT_EQ(tests::RunAs(tests::kStranger,
                         [] {
                           std::string got;
                           for (const char* name : {"byRoot.ini", "byOperator.ini",
                                                    "byServer.ini", "serverDir\\items.ini"}) {
                             got += Reading(name) + " ";
                           }
                           return got;
                         }),
            "Axe Axe refused refused ");
}

TEST_F(LinkRule, ThePathTheCallerNamedIsHisOwn) {
  // The server folder itself reached through a link of another user, as
  // --server-dir may name it: the operator named that path.
  ScratchFolder elsewhere;
  const std::string named = elsewhere.At("game");
  ASSERT_EQ(symlink(server.path().c_str(), named.c_str()), 0);
  ASSERT_EQ(lchown(named.c_str(), 1234, 1234), 0);
  SetProgramFolder(named);
  EXPECT_EQ(Reading("byRoot.ini"), "Axe");
  EXPECT_EQ(Reading("byServer.ini"), "refused");
}

}  // namespace
}  // namespace common
