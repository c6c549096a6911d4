// The commands that write, with the folder's server.exe running: they refuse
// with status 1, name the process and write nothing, unless --force.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/run_command.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/stand_in.h"

namespace {

using tests::RunProgram;

TEST(RunningServerCommand, ConvertAndWipeRefuseUnlessForced) {
  ScratchFolder backup;
  ScratchFolder server;
  const std::string dir = server.path();
  const std::string account = "[CHAR1]\r\nName=Bob\r\nInvItemNum1=5\r\n";
  server.Write("Accounts/bob.ini", account);
  server.Write("spells.ini", "[SPELL1]\r\nName=Spark\r\n");
  server.Write("signs.ini", "[SIGN1]\r\nMsg=Welcome\r\n");
  tests::CopyStandIn(server.At("server.exe"));
  tests::StandInProcess running("./server.exe", {"./server.exe"}, dir);
  ASSERT_TRUE(running.started());
  const std::string who =
      "The game server of this folder is running (process " + std::to_string(running.pid()) + ")";
  const std::string refusal = who + ". Stop the server first, or give --force to write anyway.";

  tests::CommandResult r =
      RunProgram("Vostrel", {"convert", "spells", "signs", "--max", "3", "--server-dir", dir});
  EXPECT_EQ(r.exitStatus, 1);
  // Said once: the jobs after the first do not run.
  EXPECT_EQ(r.err,
            "Server running: Nothing was converted: " + refusal + " (server folder " + dir + ")\n");
  EXPECT_FALSE(server.Exists("Spells") || server.Exists("Signs"));
  // A dry run writes nothing, so the server is no reason to refuse it.
  r = RunProgram("Vostrel",
                 {"convert", "spells", "signs", "--max", "3", "--dry-run", "--server-dir", dir});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err.find("Server running"), std::string::npos) << r.err;
  EXPECT_FALSE(server.Exists("Spells") || server.Exists("Signs"));
  r = RunProgram("Vostrel", {"convert", "spells", "signs", "--max", "3", "--force", "--quiet",
                             "--server-dir", dir});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.err.find("Server running: " + who + "; writing anyway (--force)."),
            std::string::npos);
  EXPECT_TRUE(server.Exists("Spells/Spell3.dat") && server.Exists("Signs/Sign3.dat"));

  r = RunProgram("Calmet", {"wipe", "--yes", "--backup", backup.At("b"), "--server-dir", dir});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("The wipe was not started, nothing was changed:\n" + refusal),
            std::string::npos)
      << r.err;
  EXPECT_EQ(server.Read("Accounts/bob.ini"), account);
  EXPECT_FALSE(backup.Exists("b"));
  r = RunProgram("Calmet", {"wipe", "--yes", "--force", "--server-dir", dir});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(server.Read("Accounts/bob.ini").find("InvItemNum1=0"), std::string::npos);
}

}  // namespace
