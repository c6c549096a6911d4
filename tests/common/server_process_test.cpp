// Finding a server folder's running server.exe among real processes: started
// from its folder, through a stand-in wine in the forms wine shows, as
// another account sees it, and what the tools do before a write.
#include "common/server_process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/recording_messages.h"
#include "tests/support/run_as.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/stand_in.h"

namespace common {
namespace {

// The processes found for `folder`, as "pid" or "pid?" (possibly).
std::vector<std::string> Found(const std::string& folder) {
  std::vector<std::string> out;
  for (const ServerProcess& p : FindServerProcesses(folder)) {
    out.push_back(std::to_string(p.pid) + (p.certain ? "" : "?"));
  }
  return out;
}

bool Finds(const std::string& folder, const tests::StandInProcess& process, bool certain = true) {
  const std::vector<std::string> found = Found(folder);
  const std::string want = std::to_string(process.pid()) + (certain ? "" : "?");
  return std::find(found.begin(), found.end(), want) != found.end();
}

bool FindsAny(const std::string& folder, const tests::StandInProcess& process) {
  for (const ServerProcess& p : FindServerProcesses(folder)) {
    if (p.pid == process.pid()) return true;
  }
  return false;
}

std::string Windows(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// A server folder with the stand-in as its server.exe, another folder with
// its own server.exe, and a folder of tools holding the stand-in wine.
class ServerProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    chmod(server.path().c_str(), 0755);
    tests::CopyStandIn(server.At("server.exe"));
    tests::CopyStandIn(other.At("server.exe"));
    tests::CopyStandIn(tools.At("wine"));
    tests::CopyStandIn(tools.At("bash"));
    wine = tools.At("wine");
  }

  ScratchFolder tools, other;
  ScratchFolder server;  // made last: the program folder
  std::string wine;
};

TEST_F(ServerProcessTest, AServerStartedInItsFolderIsFoundAndAShellStandingThereIsNot) {
  tests::StandInProcess shell(tools.At("bash"), {"bash", "notes.txt"}, server.path());
  tests::StandInProcess elsewhere("./server.exe", {"./server.exe"}, other.path());
  ASSERT_TRUE(shell.started() && elsewhere.started());
  EXPECT_TRUE(Found(server.path()).empty());
  EXPECT_TRUE(FindRunningServer().empty());

  tests::StandInProcess running("./server.exe", {"./server.exe"}, server.path());
  ASSERT_TRUE(running.started());
  EXPECT_EQ(Found(server.path()), std::vector<std::string>{std::to_string(running.pid())});
  // By another spelling of the folder: a link to it, "..".
  ASSERT_EQ(symlink(server.path().c_str(), tools.At("game").c_str()), 0);
  EXPECT_TRUE(Finds(tools.At("game"), running));
  EXPECT_TRUE(
      Finds(server.path() + "/../" + server.path().substr(server.path().rfind('/') + 1), running));

  // An update that replaces the file under the running server.
  ASSERT_EQ(unlink(server.At("server.exe").c_str()), 0);
  tests::CopyStandIn(server.At("server.exe"));
  EXPECT_TRUE(Finds(server.path(), running));
  running.Stop();
  EXPECT_TRUE(Found(server.path()).empty());
}

TEST_F(ServerProcessTest, NamesCompareWithoutRegardToCase) {
  ASSERT_EQ(rename(server.At("server.exe").c_str(), server.At("SERVER.EXE").c_str()), 0);
  tests::StandInProcess running("./SERVER.EXE", {"./SERVER.EXE"}, server.path());
  ASSERT_TRUE(running.started());
  EXPECT_TRUE(Finds(server.path(), running));
  // Through wine, which finds files whatever the case of the name given.
  tests::StandInProcess viaWine(wine, {"wine", "Z:" + Windows(server.path()) + "\\Server.Exe"},
                                tools.path());
  ASSERT_TRUE(viaWine.started());
  EXPECT_TRUE(Finds(server.path(), viaWine));
}

TEST_F(ServerProcessTest, AServerRunThroughWineIsFoundInEachFormWineShows) {
  const std::string z = "Z:" + Windows(server.At("server.exe"));
  // Relative to wine's working folder, absolute, Windows style on drive Z:
  // and in NT form.
  tests::StandInProcess relative(wine, {"wine", "server.exe"}, server.path());
  tests::StandInProcess absolute(wine, {"wine", server.At("server.exe")}, tools.path());
  tests::StandInProcess driveZ(wine, {z}, tools.path());
  tests::StandInProcess ntForm(wine, {"wine64", "\\\\?\\unix" + Windows(server.At("server.exe"))},
                               tools.path());
  // Drive C: of a wine prefix whose C: is the folder above the server's.
  ScratchFolder prefix;
  prefix.MakeDir("dosdevices");
  const std::string parent = server.path().substr(0, server.path().rfind('/'));
  const std::string name = server.path().substr(parent.size() + 1);
  ASSERT_EQ(symlink(parent.c_str(), prefix.At("dosdevices/c:").c_str()), 0);
  tests::StandInProcess driveC(wine, {"C:\\" + name + "\\server.exe"}, tools.path(),
                               {"WINEPREFIX=" + prefix.path()});
  for (const auto* p : {&relative, &absolute, &driveZ, &ntForm, &driveC}) {
    ASSERT_TRUE(p->started());
    EXPECT_TRUE(Finds(server.path(), *p)) << p->pid();
  }

  // Not this folder's: the other folder's by relative name, a drive the
  // prefix does not have, a name that only ends like it.
  tests::StandInProcess otherFolder(wine, {"wine", "server.exe"}, other.path());
  tests::StandInProcess noDrive(wine, {"D:\\" + name + "\\server.exe"}, tools.path(),
                                {"WINEPREFIX=" + prefix.path()});
  tests::StandInProcess lookalike(wine, {"wine", "myserver.exe"}, server.path());
  for (const auto* p : {&otherFolder, &noDrive, &lookalike}) {
    ASSERT_TRUE(p->started());
    EXPECT_FALSE(FindsAny(server.path(), *p)) << p->pid();
  }
}

TEST_F(ServerProcessTest, AnotherAccountsServerWhoseFolderCannotBeReadCountsAsPossiblyOurs) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another account";
  // The server runs as root; the operator is an unprivileged account that
  // sees its command line but not its executable or working folder.
  tests::StandInProcess relative("./server.exe", {"./server.exe"}, server.path());
  tests::StandInProcess absolute(wine, {"wine", server.At("server.exe")}, tools.path());
  tests::StandInProcess elsewhere(wine, {"wine", "server.exe"}, other.path());
  ASSERT_TRUE(relative.started() && absolute.started() && elsewhere.started());
  const std::string folder = server.path();
  const std::string seen = tests::RunAs(tests::kStranger, [&] {
    std::string out = " ";
    for (const ServerProcess& p : FindServerProcesses(folder)) {
      out += std::to_string(p.pid) + (p.certain ? " " : "? ");
    }
    return out;
  });
  // Only these three count here: other tests' stand-ins may run meanwhile.
  // Both relative names are possibly ours; the absolute one is ours.
  EXPECT_NE(seen.find(" " + std::to_string(relative.pid()) + "? "), std::string::npos) << seen;
  EXPECT_NE(seen.find(" " + std::to_string(absolute.pid()) + " "), std::string::npos) << seen;
  EXPECT_NE(seen.find(" " + std::to_string(elsewhere.pid()) + "? "), std::string::npos) << seen;
}

TEST(DescribeServerProcessesTest, NamesEveryProcessAndWhichAreOnlyPossible) {
  EXPECT_EQ(DescribeServerProcesses({{12, true}}), "process 12");
  EXPECT_EQ(DescribeServerProcesses({{12, true}, {40, true}}), "processes 12, 40");
  EXPECT_EQ(DescribeServerProcesses({{7, false}}),
            "possibly process 7 (a server.exe whose folder cannot be checked)");
  EXPECT_EQ(DescribeServerProcesses({{7, false}, {12, true}, {9, false}}),
            "process 12; possibly processes 7, 9 (server.exe programs whose folders cannot be "
            "checked)");
}

TEST_F(ServerProcessTest, BeforeAWriteTheWindowAsksTheCommandRefusesOrIsForced) {
  RecordingMessages quiet;
  for (ServerCheck mode : {ServerCheck::kAsk, ServerCheck::kRefuse, ServerCheck::kForce}) {
    EXPECT_TRUE(CheckServerBeforeWrite(quiet, mode).ok());
  }
  EXPECT_TRUE(quiet.shown.empty()) << "nothing to say while the server is stopped";

  tests::StandInProcess running("./server.exe", {"./server.exe"}, server.path());
  ASSERT_TRUE(running.started());
  const std::string who =
      "The game server of this folder is running (process " + std::to_string(running.pid()) + ")";

  RecordingMessages asked;
  asked.answers = {MsgAnswer::No, MsgAnswer::Yes};
  const Status no = CheckServerBeforeWrite(asked, ServerCheck::kAsk);
  EXPECT_TRUE(no.IsAborted());
  EXPECT_EQ(no.message(), who + ".");
  EXPECT_TRUE(CheckServerBeforeWrite(asked, ServerCheck::kAsk).ok());
  ASSERT_EQ(asked.shown.size(), 2u);
  EXPECT_EQ(asked.shown[0].prompt, who +
                                       ".\n\nWriting its files while it runs can lose the "
                                       "server's saves or these changes. Write anyway?");
  EXPECT_EQ(asked.shown[0].title, "Server running");
  EXPECT_EQ(asked.shown[0].buttons, MsgButtons::YesNoDefaultNo);

  RecordingMessages command;
  const Status refused = CheckServerBeforeWrite(command, ServerCheck::kRefuse);
  EXPECT_EQ(refused.message(), who + ". Stop the server first, or give --force to write anyway.");
  EXPECT_TRUE(command.shown.empty()) << "the caller reports the refusal as its job's failure";

  EXPECT_TRUE(CheckServerBeforeWrite(command, ServerCheck::kForce).ok());
  ASSERT_EQ(command.shown.size(), 1u);
  EXPECT_EQ(command.shown[0].prompt, who + "; writing anyway (--force).");
  EXPECT_EQ(command.shown[0].buttons, MsgButtons::Ok);
}

}  // namespace
}  // namespace common
