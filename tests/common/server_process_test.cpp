// Finding a folder's running server.exe among real processes: started from
// its folder, through a stand-in wine in the forms wine shows, as another
// account sees it, and what the tools do before a write.
#include "common/server_process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "tests/support/recording_messages.h"
#include "tests/support/run_as.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/stand_in.h"

namespace common {
namespace {

using tests::StandInProcess;

class ServerProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& p :
         {server.At("server.exe"), other.At("server.exe"), tools.At("wine"), tools.At("bash")}) {
      tests::CopyStandIn(p);
    }
  }
  // Whether `p` is found as the server folder's, certainly or possibly.
  bool Finds(const StandInProcess& p, bool certain = true) {
    EXPECT_TRUE(p.started());
    for (const ServerProcess& s : FindServerProcesses(server.path())) {
      if (s.pid == p.pid()) return s.certain == certain;
    }
    return false;
  }
  std::string Z(const std::string& path) {
    std::string out = "Z:" + path;
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
  }

  ScratchFolder tools, other;
  ScratchFolder server;  // made last: the program folder
};

TEST_F(ServerProcessTest, StartedInItsFolderItIsFoundAndAShellStandingThereIsNot) {
  StandInProcess shell(tools.At("bash"), {"bash", "notes.txt"}, server.path());
  StandInProcess elsewhere("./server.exe", {"./server.exe"}, other.path());
  StandInProcess running("./server.exe", {"./server.exe"}, server.path());
  ASSERT_TRUE(shell.started() && elsewhere.started());
  EXPECT_TRUE(Finds(running));
  EXPECT_EQ(FindRunningServer().size(), 1u);
  // By a link to the folder, and after an update replaced the file under it.
  ASSERT_EQ(symlink(server.path().c_str(), tools.At("game").c_str()), 0);
  EXPECT_EQ(FindServerProcesses(tools.At("game")).size(), 1u);
  ASSERT_EQ(unlink(server.At("server.exe").c_str()), 0);
  tests::CopyStandIn(server.At("server.exe"));
  EXPECT_TRUE(Finds(running));
}

TEST_F(ServerProcessTest, RunThroughWineItIsFoundInEachFormWineShows) {
  const std::string wine = tools.At("wine");
  // Drive C: of a wine prefix is the folder above the server's.
  const std::string parent = server.path().substr(0, server.path().rfind('/'));
  const std::string cPath = "C:\\" + server.path().substr(parent.size() + 1) + "\\server.exe";
  ASSERT_EQ(mkdir(tools.At("prefix").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(tools.At("prefix/dosdevices").c_str(), 0755), 0);
  ASSERT_EQ(symlink(parent.c_str(), tools.At("prefix/dosdevices/c:").c_str()), 0);
  const std::string prefix = "WINEPREFIX=" + tools.At("prefix");

  EXPECT_TRUE(Finds(StandInProcess(wine, {"wine", "server.exe"}, server.path())));
  EXPECT_TRUE(Finds(StandInProcess(wine, {"wine", server.At("server.exe")}, tools.path())));
  EXPECT_TRUE(Finds(StandInProcess(wine, {Z(server.At("Server.EXE"))}, tools.path())));
  EXPECT_TRUE(Finds(StandInProcess(wine, {cPath}, tools.path(), {prefix})));
  // Another folder's, a drive the prefix lacks, a name that only ends alike.
  EXPECT_FALSE(Finds(StandInProcess(wine, {"wine", "server.exe"}, other.path())));
  EXPECT_FALSE(Finds(StandInProcess(wine, {"D" + cPath.substr(1)}, tools.path(), {prefix})));
  EXPECT_FALSE(Finds(StandInProcess(wine, {"wine", "myserver.exe"}, server.path())));
}

TEST_F(ServerProcessTest, AnotherAccountsServerWhoseFolderCannotBeReadIsPossiblyOurs) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two other accounts";
  // The operator sees the command lines of the server's account (the
  // stand-ins') processes, not their folders.
  StandInProcess relative("./server.exe", {"./server.exe"}, server.path());
  StandInProcess absolute(tools.At("wine"), {"wine", server.At("server.exe")}, tools.path());
  ASSERT_TRUE(relative.started() && absolute.started());
  const std::string folder = server.path();
  const std::string seen = tests::RunAs({65533, 65533, {}}, [&] {
    std::string out = " ";
    for (const ServerProcess& p : FindServerProcesses(folder)) {
      out += std::to_string(p.pid) + (p.certain ? " " : "? ");
    }
    return out;
  });
  EXPECT_NE(seen.find(" " + std::to_string(relative.pid()) + "? "), std::string::npos) << seen;
  EXPECT_NE(seen.find(" " + std::to_string(absolute.pid()) + " "), std::string::npos) << seen;
  EXPECT_EQ(DescribeServerProcesses({{7, false}, {12, true}}),
            "process 12; possibly process 7 (a server.exe whose folder cannot be checked)");
}

TEST_F(ServerProcessTest, BeforeAWriteTheWindowAsksTheCommandRefusesOrIsForced) {
  RecordingMessages messages;
  EXPECT_TRUE(CheckServerBeforeWrite(messages, ServerCheck::kRefuse).ok());
  StandInProcess running("./server.exe", {"./server.exe"}, server.path());
  ASSERT_TRUE(running.started());
  const std::string who =
      "The game server of this folder is running (process " + std::to_string(running.pid()) + ")";

  messages.answers = {MsgAnswer::No, MsgAnswer::Yes};
  EXPECT_EQ(CheckServerBeforeWrite(messages, ServerCheck::kAsk).message(), who + ".");
  EXPECT_TRUE(CheckServerBeforeWrite(messages, ServerCheck::kAsk).ok());
  EXPECT_EQ(CheckServerBeforeWrite(messages, ServerCheck::kRefuse).message(),
            who + ". Stop the server first, or give --force to write anyway.");
  EXPECT_TRUE(CheckServerBeforeWrite(messages, ServerCheck::kForce).ok());
  ASSERT_EQ(messages.shown.size(), 3u);  // two questions and the note; a refusal is the caller's
  EXPECT_EQ(messages.shown[0].prompt, who +
                                          ".\n\nWriting its files while it runs can lose the "
                                          "server's saves or these changes. Write anyway?");
  EXPECT_EQ(messages.shown[0].title, "Server running");
  EXPECT_EQ(messages.shown[0].buttons, MsgButtons::YesNoDefaultNo);
  EXPECT_EQ(messages.shown[2].prompt, who + "; writing anyway (--force).");
}

}  // namespace
}  // namespace common
