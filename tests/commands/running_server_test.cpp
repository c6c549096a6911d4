// The commands that write, with the folder's server.exe running: they refuse
// with status 1, name the process and write nothing, unless --force.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/run_command.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/stand_in.h"

namespace {

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class RunningServerCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    tests::CopyStandIn(server.At("server.exe"));
    running.emplace("./server.exe", std::vector<std::string>{"./server.exe"}, server.path());
    ASSERT_TRUE(running->started());
    who = "The game server of this folder is running (process " + std::to_string(running->pid()) +
          ")";
  }

  ScratchFolder backup;
  ScratchFolder server;
  std::optional<tests::StandInProcess> running;
  std::string who;
};

TEST_F(RunningServerCommand, VostrelConvertRefusesUnlessForced) {
  server.Write("spells.ini", "[SPELL1]\r\nName=Spark\r\n");
  server.Write("signs.ini", "[SIGN1]\r\nMsg=Welcome\r\n");
  const std::string dir = server.path();
  tests::CommandResult r = tests::RunProgram(
      "Vostrel", {"convert", "spells", "signs", "--max", "3", "--server-dir", dir});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("Server running: Nothing was converted: " + who +
                       ". Stop the server first, or give --force to write anyway."),
            std::string::npos)
      << r.err;
  EXPECT_EQ(Count(r.err, "Server running:"), 1u) << "the jobs after the first do not run";
  EXPECT_FALSE(server.Exists("Spells"));
  EXPECT_FALSE(server.Exists("Signs"));

  r = tests::RunProgram("Vostrel", {"convert", "spells", "signs", "--max", "3", "--force",
                                    "--server-dir", dir, "--quiet"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(Count(r.err, "Server running: " + who + "; writing anyway (--force)."), 2u) << r.err;
  EXPECT_TRUE(server.Exists("Spells/Spell3.dat"));
  EXPECT_TRUE(server.Exists("Signs/Sign3.dat"));
}

TEST_F(RunningServerCommand, CalmetWipeRefusesBeforeTheBackupUnlessForced) {
  const std::string account = "[CHAR1]\r\nName=Bob\r\nInvItemNum1=5\r\n";
  server.Write("Accounts/bob.ini", account);
  const std::string dir = server.path();
  tests::CommandResult r = tests::RunProgram(
      "Calmet", {"wipe", "--yes", "--backup", backup.At("b"), "--server-dir", dir});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("The wipe was not started, nothing was changed:\n" + who +
                       ". Stop the server first, or give --force to write anyway."),
            std::string::npos)
      << r.err;
  EXPECT_EQ(server.Read("Accounts/bob.ini"), account);
  EXPECT_FALSE(backup.Exists("b"));

  EXPECT_EQ(tests::RunProgram("Calmet", {"list", "--force", "--server-dir", dir}).exitStatus, 2);

  r = tests::RunProgram("Calmet", {"wipe", "--yes", "--force", "--server-dir", dir});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.err.find(who + "; writing anyway (--force)."), std::string::npos) << r.err;
  EXPECT_NE(server.Read("Accounts/bob.ini").find("InvItemNum1=0"), std::string::npos);
}

}  // namespace
