// Starting server.exe: how the start is planned, and what the started
// process gets (arguments, folder, environment, session, descriptors).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "common/program_folder.h"
#include "restarter/restart_lock.h"
#include "restarter/server_launcher.h"
#include "restarter/startup_check.h"
#include "tests/support/recording_messages.h"
#include "tests/support/run_as.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/stand_in.h"

namespace fs = std::filesystem;

namespace ruvane {
namespace {

void MakeRunnable(const std::string& path) { ASSERT_EQ(chmod(path.c_str(), 0755), 0); }

// The facts about file `name` of the scratch folder `dir`.
FileFacts ExamineIn(const ScratchFolder& dir, const std::string& name) {
  common::Folder folder;
  std::string host;
  FileFacts facts;
  if (common::OpenServerRoot(dir.path(), &folder).ok()) {
    (void)ExamineFile(folder, name, &host, &facts);
  }
  return facts;
}

// Waits until the started script has written `path` (it renames its output
// into place when done). The limit only guards against a hang.
bool AwaitFile(const std::string& path) {
  for (int i = 0; i < 1000; ++i) {
    if (fs::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// True when this process has no child left, running or unreaped.
bool NoChildren() { return waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD; }

// A server.exe that records what it was started with into report.txt beside it.
constexpr const char* kRecordingServer =
    "#!/bin/sh\n"
    "here=$(dirname \"$0\")\n"
    "out=\"$here/report.tmp\"\n"
    "echo \"argc=$#\" > \"$out\"\n"
    "echo \"args=$*\" >> \"$out\"\n"
    "echo \"cwd=$(pwd -P)\" >> \"$out\"\n"
    "echo \"mark=$RUVANE_TEST_MARK\" >> \"$out\"\n"
    "echo \"pid=$$\" >> \"$out\"\n"
    "echo to-output; echo to-error >&2\n"
    "set -- $(cat /proc/$$/stat)\n"
    "echo \"ppid=$4\" >> \"$out\"\n"
    "echo \"sid=$6\" >> \"$out\"\n"
    "ls -l /proc/$$/fd | sed -n 's/.* \\([0-9][0-9]*\\) -> \\(.*\\)$/fd=\\1 \\2/p' >> \"$out\"\n"
    "mv \"$out\" \"$here/report.txt\"\n";

TEST(PlanLaunchTest, ChoosesWineOnlyForWindowsProgramsTheHostCannotRun) {
  const std::string path = "/srv/game/server.exe";
  const std::string wine = "/usr/bin/wine";

  LaunchPlan script = PlanLaunch(path, {.runnable = true, .windowsImage = false}, wine);
  EXPECT_EQ(script.argv, std::vector<std::string>{path});
  EXPECT_TRUE(script.fallbackArgv.empty());

  LaunchPlan windows = PlanLaunch(path, {.runnable = false, .windowsImage = true}, wine);
  EXPECT_EQ(windows.argv, (std::vector<std::string>{wine, path}));

  // A plain file without the run bit is not handed to wine: the host's
  // refusal is what gets reported.
  LaunchPlan plain = PlanLaunch(path, {.runnable = false, .windowsImage = false}, wine);
  EXPECT_EQ(plain.argv, std::vector<std::string>{path});
  EXPECT_TRUE(plain.fallbackArgv.empty());

  LaunchPlan noWine = PlanLaunch(path, {.runnable = false, .windowsImage = true}, "");
  EXPECT_EQ(noWine.argv, std::vector<std::string>{path});
  EXPECT_TRUE(noWine.fallbackArgv.empty());

  // Run bit set on a Windows program: try it directly, wine if the kernel
  // turns it away.
  LaunchPlan both = PlanLaunch(path, {.runnable = true, .windowsImage = true}, wine);
  EXPECT_EQ(both.argv, std::vector<std::string>{path});
  EXPECT_EQ(both.fallbackArgv, (std::vector<std::string>{wine, path}));
}

TEST(ExamineFileTest, RecognisesWindowsProgramsAndTheRunBit) {
  ScratchFolder dir;
  dir.Write("win.exe", std::string("MZ\x90\0\3", 5));
  dir.Write("zm.exe", "ZM");
  dir.Write("short.exe", "M");
  dir.Write("script", "#!/bin/sh\n");
  MakeRunnable(dir.At("script"));
  dir.MakeDir("folder.exe");

  FileFacts win = ExamineIn(dir, "win.exe");
  EXPECT_TRUE(win.windowsImage);
  EXPECT_FALSE(win.runnable);
  EXPECT_FALSE(ExamineIn(dir, "zm.exe").windowsImage);
  EXPECT_FALSE(ExamineIn(dir, "short.exe").windowsImage);

  FileFacts script = ExamineIn(dir, "script");
  EXPECT_TRUE(script.runnable);
  EXPECT_FALSE(script.windowsImage);

  FileFacts folder = ExamineIn(dir, "folder.exe");
  EXPECT_FALSE(folder.runnable);
  FileFacts missing = ExamineIn(dir, "missing.exe");
  EXPECT_FALSE(missing.runnable);
  EXPECT_FALSE(missing.windowsImage);
}

TEST(FindOnPathTest, TakesTheFirstRunnableFileAndSkipsTheRest) {
  ScratchFolder dir;
  dir.Write("a/wine", "not runnable");
  dir.MakeDir("b/wine");  // a folder of that name
  dir.Write("c/wine", "#!/bin/sh\n");
  MakeRunnable(dir.At("c/wine"));
  dir.Write("d/wine", "#!/bin/sh\n");
  MakeRunnable(dir.At("d/wine"));

  std::string path = dir.At("a") + ":" + dir.At("b") + ":" + dir.At("c") + ":" + dir.At("d");
  EXPECT_EQ(FindOnPath("wine", path), dir.At("c") + "/wine");
  EXPECT_EQ(FindOnPath("wine", dir.At("a") + ":" + dir.At("b")), "");
  EXPECT_EQ(FindOnPath("wine", dir.At("missing")), "");
}

TEST(ServerPathTest, FindsServerExeWhateverTheCaseOfItsName) {
  ScratchFolder server;
  server.Write("Server.EXE", "x");
  EXPECT_EQ(ServerPath(), server.At("Server.EXE"));
}

// Runs `body` with the working folder changed to `folder`.
template <typename F>
void InFolder(const std::string& folder, F body) {
  std::string previous = fs::current_path().string();
  ASSERT_EQ(chdir(folder.c_str()), 0);
  body();
  ASSERT_EQ(chdir(previous.c_str()), 0);
}

TEST(StartServerTest, StartsADetachedProcessInTheServerFolderWithOurEnvironmentOnly) {
  ScratchFolder server;
  ScratchFolder elsewhere;  // our working folder, not the server's
  server.Write("server.exe", kRecordingServer);
  server.Write("server-output.log", "from the last run\n");
  MakeRunnable(server.At("server.exe"));
  common::SetProgramFolder(server.path());
  ASSERT_EQ(setenv("RUVANE_TEST_MARK", "inherited", 1), 0);

  // Descriptors that a careless start would pass on: one plain, one pipe.
  server.Write("leak.txt", "x");
  int leaky = open(server.At("leak.txt").c_str(), O_RDONLY);
  ASSERT_GE(leaky, 0);
  int leakyPipe[2];
  ASSERT_EQ(pipe(leakyPipe), 0);

  common::Status result;
  ProcessServerStarter starter;
  InFolder(elsewhere.path(), [&] { result = starter.StartServer(); });
  close(leaky);
  close(leakyPipe[0]);
  close(leakyPipe[1]);
  unsetenv("RUVANE_TEST_MARK");

  ASSERT_TRUE(result.ok()) << result.sysError() << " " << result.ToString();
  EXPECT_TRUE(NoChildren()) << "the intermediate process must be reaped and the server adopted";
  ASSERT_TRUE(AwaitFile(server.At("report.txt")));

  std::map<std::string, std::string> facts;
  std::vector<std::pair<int, std::string>> fds;
  std::istringstream report(server.Read("report.txt"));
  for (std::string line; std::getline(report, line);) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    std::string value = line.substr(eq + 1);
    if (key == "fd") {
      std::istringstream fields(value);
      int fd = -1;
      std::string target;
      fields >> fd >> target;
      fds.emplace_back(fd, target);
    } else {
      facts[key] = value;
    }
  }
  EXPECT_EQ(facts["argc"], "0");
  EXPECT_EQ(facts["cwd"], fs::canonical(server.path()).string());
  EXPECT_EQ(facts["pid"], std::to_string(starter.started()));
  EXPECT_EQ(facts["mark"], "inherited");
  ASSERT_FALSE(facts["ppid"].empty());
  EXPECT_NE(std::stol(facts["ppid"]), getpid());
  ASSERT_FALSE(facts["sid"].empty());
  EXPECT_NE(std::stol(facts["sid"]), getsid(0));
  const std::string log = fs::canonical(server.At("server-output.log")).string();
  const std::map<int, std::string> standard{{0, "/dev/null"}, {1, log}, {2, log}};
  for (const auto& [fd, target] : fds) {
    if (fd <= 2) {
      EXPECT_EQ(target, standard.at(fd)) << fd;
    } else {
      // Above the standard three, only the shell's own hold on its script.
      EXPECT_EQ(fs::path(target).filename(), "server.exe") << fd << " -> " << target;
      EXPECT_NE(target.find(server.path()), std::string::npos) << fd << " -> " << target;
    }
  }
  const int fdsSeen = static_cast<int>(fds.size());
  EXPECT_GE(fdsSeen, 3);
  // Appended to, never truncated.
  EXPECT_EQ(server.Read("server-output.log"), "from the last run\nto-output\nto-error\n");
}

LaunchPlan Direct(const std::string& path) {
  LaunchPlan plan;
  plan.argv = {path};
  return plan;
}

TEST(StartServerTest, ReportsTheHostsErrorWhenTheFileCannotBeStarted) {
  ScratchFolder server;
  server.Write("plain.exe", "no program");
  server.Write("garbage.exe", "neither a script nor a binary");
  MakeRunnable(server.At("garbage.exe"));
  server.MakeDir("folder.exe");

  common::Status plain = StartDetached(Direct(server.At("plain.exe")), server.path());
  EXPECT_EQ(plain.sysError(), EACCES);
  EXPECT_EQ(StartErrorText(plain),
            "Run-time error '" + std::to_string(EACCES) + "':\n\n" + std::strerror(EACCES));
  // The status names the program it could not start.
  EXPECT_NE(plain.message().find(server.At("plain.exe")), std::string::npos) << plain.ToString();

  common::Status missing = StartDetached(Direct(server.At("missing.exe")), server.path());
  EXPECT_EQ(missing.sysError(), ENOENT);
  EXPECT_TRUE(missing.IsNotFound());
  EXPECT_EQ(StartErrorText(missing),
            "Run-time error '" + std::to_string(ENOENT) + "':\n\n" + std::strerror(ENOENT));

  // Not run through a shell behind the caller's back.
  common::Status garbage = StartDetached(Direct(server.At("garbage.exe")), server.path());
  EXPECT_EQ(garbage.sysError(), ENOEXEC);

  EXPECT_EQ(StartDetached(Direct(server.At("folder.exe")), server.path()).sysError(), EACCES);
  common::Status empty = StartDetached(LaunchPlan{}, server.path());
  EXPECT_FALSE(empty.ok());
  EXPECT_NE(empty.sysError(), 0);
  EXPECT_TRUE(NoChildren());
}

TEST(StartServerTest, FallsBackWhenTheKernelTurnsTheFirstAttemptAway) {
  ScratchFolder server;
  server.Write("server.exe", "MZ not really a program");
  MakeRunnable(server.At("server.exe"));
  // Stands in for wine: records the file it was asked to run.
  server.Write("runner",
               "#!/bin/sh\necho \"$1\" > \"$(dirname \"$0\")/ran.tmp\"\n"
               "mv \"$(dirname \"$0\")/ran.tmp\" \"$(dirname \"$0\")/ran.txt\"\n");
  MakeRunnable(server.At("runner"));

  LaunchPlan plan =
      PlanLaunch(server.At("server.exe"), ExamineIn(server, "server.exe"), server.At("runner"));
  common::Status result = StartDetached(plan, server.path());
  ASSERT_TRUE(result.ok()) << result.ToString();
  ASSERT_TRUE(AwaitFile(server.At("ran.txt")));
  EXPECT_EQ(server.Read("ran.txt"), server.At("server.exe") + "\n");

  // When the second attempt cannot start either, its reason is the one told:
  // "exec format error" would send the operator after the wrong file.
  plan.fallbackArgv = {server.At("no-wine-here"), server.At("server.exe")};
  common::Status failed = StartDetached(plan, server.path());
  EXPECT_EQ(failed.sysError(), ENOENT) << failed.ToString();
}

// server.exe is found as every file of the tools: a link the server's
// account planted is not started, one of root's is.
TEST(StartServerTest, AServerExeLinkOfAnotherAccountIsNotStarted) {
  if (geteuid() != 0) GTEST_SKIP() << "a link of another account needs root to make";
  ScratchFolder elsewhere;
  elsewhere.Write("real.exe", "#!/bin/sh\ntouch \"$(dirname \"$(readlink -f \"$0\")\")/ran\"\n");
  MakeRunnable(elsewhere.At("real.exe"));
  ScratchFolder server;  // the program folder
  ASSERT_EQ(symlink(elsewhere.At("real.exe").c_str(), server.At("Server.exe").c_str()), 0);
  ASSERT_EQ(lchown(server.At("Server.exe").c_str(), 1234, 2000), 0);

  ProcessServerStarter starter;
  common::Status result = starter.StartServer();
  EXPECT_FALSE(result.ok());
  EXPECT_NE(result.message().find("symbolic link of uid 1234"), std::string::npos)
      << result.ToString();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(elsewhere.Exists("ran"));

  ASSERT_EQ(lchown(server.At("Server.exe").c_str(), 0, 0), 0);
  result = starter.StartServer();
  ASSERT_TRUE(result.ok()) << result.ToString();
  EXPECT_TRUE(AwaitFile(elsewhere.At("ran")));
}

// A server.exe that writes whom it runs as to $RUVANE_TEST_REPORT.
constexpr const char* kIdentityServer =
    "#!/bin/sh\n"
    "out=\"$RUVANE_TEST_REPORT\"\n"
    "echo \"$(id -u) $(id -g) [$(id -G)] user=$USER home=${HOME-unset}\" > \"$out.tmp\"\n"
    "mv \"$out.tmp\" \"$out\"\n";

// Root starting the server: it must not hand the root account to a program
// the server's account can rewrite, and an operator keeps his own.
TEST(StartServerTest, StartedByRootTheServerRunsAsTheAccountThatCanChangeIt) {
  if (geteuid() != 0) GTEST_SKIP() << "changing the server's account needs root";
  struct Case {
    const char* what;
    uid_t folderOwner;  // of the server folder
    uid_t fileOwner;    // of server.exe
    std::string expected;
  };
  const std::vector<Case> cases = {
      // The server's account, with no entry in the user database: its
      // folder's group only, and no home.
      {"folder of uid 1234", 1234, 0, "1234 2000 [2000] user=1234 home=unset"},
      // A folder of root's holding a server.exe of another account.
      {"server.exe of nobody", 0, 65534, "65534 65534 [65534] user=nobody home=/nonexistent"},
      {"all root's", 0, 0, "0 0 [0] user=root home=/root"},
  };
  for (const Case& c : cases) {
    ScratchFolder reports;
    ScratchFolder server;  // the program folder
    server.Write("server.exe", kIdentityServer);
    MakeRunnable(server.At("server.exe"));
    ASSERT_EQ(chmod(server.path().c_str(), 0755), 0);
    ASSERT_EQ(chown(server.path().c_str(), c.folderOwner, c.folderOwner ? 2000 : 0), 0);
    ASSERT_EQ(chown(server.At("server.exe").c_str(), c.fileOwner, c.fileOwner), 0);
    const uid_t runner = c.folderOwner ? c.folderOwner : c.fileOwner;
    ASSERT_EQ(chown(reports.path().c_str(), runner, 0), 0);
    ASSERT_EQ(setenv("RUVANE_TEST_REPORT", reports.At("id.txt").c_str(), 1), 0);
    ASSERT_EQ(setenv("USER", "root", 1), 0);
    ASSERT_EQ(setenv("HOME", "/root", 1), 0);

    ProcessServerStarter starter;
    const common::Status result = starter.StartServer();
    unsetenv("RUVANE_TEST_REPORT");
    ASSERT_TRUE(result.ok()) << c.what << ": " << result.ToString();
    ASSERT_TRUE(AwaitFile(reports.At("id.txt"))) << c.what;
    EXPECT_EQ(reports.Read("id.txt"), c.expected + "\n") << c.what;
    EXPECT_EQ(starter.runsAs().empty(), runner == 0) << c.what << ": " << starter.runsAs();
  }

  // An operator who is not root starts it as himself, whoever owns it.
  ScratchFolder server;
  server.Write("server.exe", kIdentityServer);
  ASSERT_EQ(chmod(server.path().c_str(), 0755), 0);
  ASSERT_EQ(chown(server.path().c_str(), 1234, 2000), 0);
  EXPECT_EQ(tests::RunAs(tests::kOperatorInServerGroup,
                         [&] {
                           ServerAccount account;
                           const common::Status s = ChooseServerAccount(
                               server.path(), server.At("server.exe"), &account);
                           if (!s.ok()) return s.ToString();
                           return account.change ? "changed to " + account.name : std::string();
                         }),
            "");
}

TEST(ServerLogTest, AnythingButAPlainFileWithOneNameIsRefusedAndNothingStarted) {
  ScratchFolder victim;
  victim.Write("precious", "keep\n");
  const std::string log = "server-output.log in the server folder";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"link", log + " is a symbolic link, which is not followed"},
      {"fifo", log + " is not a regular file"},  // with no reader: refused, not waited on
      {"hard link", log + " has other names (hard links), which are not written"}};
  for (const auto& [what, reason] : cases) {
    ScratchFolder server;
    server.Write("server.exe", "#!/bin/sh\ntouch \"$(dirname \"$0\")/ran\"\n");
    MakeRunnable(server.At("server.exe"));
    const std::string at = server.At("server-output.log");
    const std::string target = victim.At("precious");
    const int planted = what == "link"   ? symlink(target.c_str(), at.c_str())
                        : what == "fifo" ? mkfifo(at.c_str(), 0600)
                                         : link(target.c_str(), at.c_str());
    ASSERT_EQ(planted, 0) << what;
    const common::Status result = StartDetached(Direct(server.At("server.exe")), server.path());
    EXPECT_EQ(StartErrorText(result), "Run-time error '0':\n\n" + reason) << what;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(server.Exists("ran")) << what;
  }
  EXPECT_EQ(victim.Read("precious"), "keep\n");
}

TEST(FolderLockTest, OneHolderAtATimeByAnyPathAndNotKeptByTheServer) {
  ScratchFolder server;
  ScratchFolder links;
  ASSERT_EQ(symlink(server.path().c_str(), links.At("game").c_str()), 0);
  FolderLock first, second;
  ASSERT_TRUE(first.Take(server.path()).ok());
  EXPECT_EQ(second.Take(links.At("game")).sysError(), EWOULDBLOCK);

  // A server started while the lock is held does not keep it.
  tests::CopyStandIn(server.At("server.exe"));
  pid_t started = 0;
  ASSERT_TRUE(StartDetached(Direct(server.At("server.exe")), server.path(), &started).ok());
  first.Release();
  EXPECT_TRUE(second.Take(links.At("game")).ok());
  // The id given back is the server's.
  EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(started) + "/exe"),
            fs::canonical(server.At("server.exe")));
  kill(started, SIGKILL);
}

TEST(StartupCheckTest, FindsServerExeWhateverTheCaseOfItsName) {
  ScratchFolder server;
  server.Write("SERVER.exe", "x");
  RecordingMessages messages;
  EXPECT_TRUE(CheckServerPresent(messages));
  EXPECT_TRUE(messages.shown.empty());
}

TEST(StartErrorTextTest, AFailureWithoutAnErrorNumberStillSaysWhy) {
  EXPECT_EQ(StartErrorText(common::Status::IOError("the starter gave up")),
            "Run-time error '0':\n\nthe starter gave up");
}

}  // namespace
}  // namespace ruvane
