// The server's account, taken over, plants links under the server folder,
// which it owns; the operator then runs the tools there as root, or as a
// member of the server's group. No link the operator did not make is
// followed: what it points to stays as it was, the file is named, and the
// job goes on with the others and says that something was left out.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "converter/converter_state.h"
#include "converter/profile_jobs.h"
#include "tests/support/fake_page_view.h"
#include "tests/support/run_as.h"
#include "tests/support/run_command.h"
#include "tests/support/scratch_folder.h"

namespace {

constexpr uid_t kServerUid = 1234;
constexpr gid_t kServerGid = 2000;
const tests::Identity kServerAccount{kServerUid, kServerGid, {}};

// Account files with something in every inventory slot the wipe empties.
std::string Account(const std::string& name) {
  return "[CHAR1]\r\nName=" + name + "\r\nInvItemNum1=7\r\nInvItemVal1=3\r\nInvItemDur1=9\r\n";
}

class PlantedLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    // Laid out as servers are: the folder and its data belong to the
    // server's account, which its group may write.
    server.MakeDir("Items");
    server.MakeDir("Accounts");
    for (const char* path : {"", "Items", "Accounts"}) Own(path);
    outside.Write("passwd", "root:x:0:0:root:/root:/bin/bash\n");
    ASSERT_EQ(chmod(outside.At("passwd").c_str(), 0640), 0);
    ASSERT_EQ(chmod(outside.path().c_str(), 0755), 0);
  }

  void Own(const std::string& relative) {
    const std::string path = relative.empty() ? server.path() : server.At(relative);
    ASSERT_EQ(chown(path.c_str(), kServerUid, kServerGid), 0);
    ASSERT_EQ(chmod(path.c_str(), 0775), 0);
  }

  // `relative` -> `target`, made by the server's account.
  void Plant(const std::string& target, const std::string& relative) {
    EXPECT_EQ(tests::RunAs(kServerAccount,
                           [&]() -> std::string {
                             if (symlink(target.c_str(), server.At(relative).c_str()) == 0) {
                               return "";
                             }
                             return std::strerror(errno);
                           }),
              "");
  }

  ScratchFolder outside;  // stands for /etc: root's, outside the server folder
  ScratchFolder server;
};

TEST_F(PlantedLinks, RootConvertingItemsDoesNotWriteThroughALinkOfTheServer) {
  server.Write("items.ini", "[ITEM1]\r\nName=Sword\r\n[ITEM5]\r\nName=r::0:0:://:/bin/bash\r\n");
  Plant(outside.At("passwd"), "Items/Item5.dat");
  const std::string before = outside.Read("passwd");

  const tests::CommandResult r = tests::RunProgram(
      "Vostrel", {"convert", "items", "--max", "5", "--server-dir", server.path()});
  EXPECT_EQ(r.exitStatus, 3) << "done, with a record left out\n" << r.err;
  EXPECT_EQ(outside.Read("passwd"), before);
  EXPECT_NE(r.err.find("Item5.dat is a symbolic link of uid 1234"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("not followed"), std::string::npos) << r.err;
  EXPECT_EQ(server.Read("Items/Item1.dat").substr(0, 5), "Sword");
  EXPECT_EQ(server.Read("Items/Item4.dat").size(), 92u) << "the records after it are written";
}

TEST_F(PlantedLinks, ASourceThatIsALinkOfTheServerConvertsNothingAndSaysWhy) {
  Plant(outside.At("passwd"), "items.ini");
  const tests::CommandResult r = tests::RunProgram(
      "Vostrel", {"convert", "items", "--max", "2", "--server-dir", server.path()});
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_NE(r.err.find("Nothing was converted: " + server.At("items.ini") +
                       " is a symbolic link of uid 1234"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(server.Exists("Items/Item1.dat"));
}

TEST_F(PlantedLinks, AnOperatorInTheServersGroupIsNotLedToWriteHisOwnFiles) {
  // The operator's own file: he may write it, so only the rule keeps it.
  outside.Write("notes", "mine\n");
  ASSERT_EQ(chown(outside.At("notes").c_str(), 65534, 65534), 0);
  server.Write("items.ini", "[ITEM2]\r\nName=Bow\r\n");
  Plant(outside.At("notes"), "Items/Item2.dat");
  const std::string result = tests::RunAs(tests::kOperatorInServerGroup, [this] {
    vostrel::ConverterState state;
    FakePageView ui;
    const common::JobResult outcome = vostrel::ConvertClick(common::ServerFolder(server.path()),
                                                            state, vostrel::Page::Items, "3", ui);
    if (common::OutcomeOf(outcome) != common::Outcome::kSkipped) {
      return std::string("not reported as skipped");
    }
    if (ui.messages.shown.empty() ||
        ui.messages.shown.back().prompt.find("Record 2: ") == std::string::npos) {
      return std::string("record 2 not named");
    }
    return std::string();
  });
  EXPECT_EQ(result, "");
  EXPECT_EQ(outside.Read("notes"), "mine\n");
  EXPECT_EQ(server.Read("Items/Item3.dat").size(), 92u);
}

TEST_F(PlantedLinks, TheWipeLeavesAnAccountLinkOfTheServerAndWipesTheRest) {
  server.Write("Accounts/bob.ini", Account("Bob"));
  Own("Accounts/bob.ini");
  Plant(outside.At("passwd"), "Accounts/zz.ini");
  const std::string before = outside.Read("passwd");

  const tests::CommandResult r =
      tests::RunProgram("Calmet", {"wipe", "--yes", "--server-dir", server.path()});
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_EQ(outside.Read("passwd"), before);
  EXPECT_NE(r.err.find("Zz.ini ("), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("not followed"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Inventory wipe completed."), std::string::npos) << r.err;
  EXPECT_NE(server.Read("Accounts/bob.ini").find("InvItemNum1=0"), std::string::npos);
}

TEST_F(PlantedLinks, AnAccountsFolderThatIsALinkOfTheServerIsNeitherListedNorWiped) {
  // Another folder of profile files, which the server's account points the
  // accounts folder at.
  outside.Write("elsewhere/a.ini", Account("A"));
  ASSERT_EQ(rename(server.At("Accounts").c_str(), server.At("Accounts.old").c_str()), 0);
  Plant(outside.At("elsewhere"), "Accounts");

  const tests::CommandResult list =
      tests::RunProgram("Calmet", {"list", "--server-dir", server.path()});
  EXPECT_EQ(list.exitStatus, 1) << list.err;
  EXPECT_NE(list.err.find("not followed"), std::string::npos) << list.err;

  const tests::CommandResult wipe =
      tests::RunProgram("Calmet", {"wipe", "--yes", "--server-dir", server.path()});
  EXPECT_NE(wipe.exitStatus, 0) << wipe.err;
  EXPECT_EQ(outside.Read("elsewhere/a.ini"), Account("A"));
}

}  // namespace
