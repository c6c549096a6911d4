// The Calmet commands as real processes with no display: their JSON holds
// what the view shows, the wipe writes what the window's wipe writes, and
// nothing waits for an answer no one can give.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "accounts/account_list.h"
#include "accounts/character_view.h"
#include "accounts/inventory_wipe.h"
#include "common/qt/ansi_text.h"
#include "common/server_layout.h"
#include "tests/accounts/account_files.h"
#include "tests/support/file_tree.h"
#include "tests/support/recording_messages.h"
#include "tests/support/run_command.h"
#include "tests/support/scratch_folder.h"

namespace calmet {
namespace {

namespace fs = std::filesystem;
using calmet_test::Section;

// Two accounts, a file that is no account, and the items they hold. The
// second character's name is single-byte text ("\xC9" is E acute).
void MakeServer(const ScratchFolder& s) {
  s.Write("Accounts/bob.ini", Section("CHAR1", {{"Name", "Bobby"},
                                                {"Access", "1"},
                                                {"Level", "7"},
                                                {"STR", "10"},
                                                {"DEF", "4"},
                                                {"SPEED", "3"},
                                                {"MAGI", "2"},
                                                {"InvItemNum1", "1"},
                                                {"InvItemVal1", "250"},
                                                {"InvItemDur1", "9"},
                                                {"InvItemNum2", "2"},
                                                {"InvItemVal2", "1"},
                                                {"InvItemNum3", "abc"}}) +
                                  Section("CHAR2", {{"Name", "\xC9lise"}, {"InvItemNum100", "2"}}));
  s.Write("Accounts/Carol.ini", Section("CHAR1", {{"Name", "Carolyn"}, {"InvItemNum5", "1"}}));
  s.Write("Accounts/notes.txt", "not an account");
  s.Write("Items/Item1.dat", calmet_test::ItemFile("1", "Gold", "12"));
  s.Write("Items/Item2.dat", calmet_test::ItemFile("2", "Sword", "3"));
}

QJsonObject ParseObject(const std::string& out) {
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << out;
  EXPECT_TRUE(doc.isObject()) << out;
  return doc.object();
}

QString Q(const std::string& bytes) { return common::AnsiToQString(bytes); }

// Calmet run with its standard output on `outFd` (/dev/null when -1), and
// `signal` sent once `ready()` holds, as an operator pressing Ctrl-C or a
// service manager stopping it would. Returns its status and standard error.
tests::CommandResult RunCalmet(const std::vector<std::string>& args, int outFd = -1,
                               const std::function<bool()>& ready = {}, int signal = 0) {
  tests::CommandResult result;
  const std::string path = std::string(TOOLS_BIN_DIR) + "/Calmet";
  int err[2];
  if (pipe(err) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(outFd < 0 ? null : outFd, STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (int fd = 3; fd < 1024; ++fd) close(fd);
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(name);
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(path.c_str(), argv.data());
    _exit(127);
  }
  close(err[1]);
  bool signalled = signal == 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  pollfd fd = {err[0], POLLIN, 0};
  bool ended = false;
  while (!ended && std::chrono::steady_clock::now() < deadline) {
    if (!signalled && ready()) signalled = kill(pid, signal) == 0;
    if (poll(&fd, 1, signalled ? 100 : 1) <= 0) continue;
    char buf[4096];
    const ssize_t n = read(err[0], buf, sizeof buf);
    if (n > 0) result.err.append(buf, static_cast<size_t>(n));
    ended = n == 0 || (n < 0 && errno != EINTR);
  }
  close(err[0]);
  if (!ended) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TEST(CalmetCommand, ListShowAndFindPrintWhatTheViewShows) {
  ScratchFolder s;
  MakeServer(s);
  const std::string dir = s.path();
  AccountsState state;
  const common::ServerFolder server(dir);
  const AccountListing listing = ListAccounts(server, state);
  const AccountView view = ShowAccount(server, "bob.ini");
  ASSERT_TRUE(view.status.ok()) << view.status.ToString();

  tests::CommandResult r = tests::RunProgram("Calmet", {"list", "--server-dir", dir});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out, "Bob.ini\nCarol.ini\n");
  EXPECT_NE(r.err.find("Total Accounts: 2"), std::string::npos) << r.err;

  r = tests::RunProgram("Calmet", {"list", "--json", "--server-dir", dir});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  QJsonObject json = ParseObject(r.out);
  EXPECT_EQ(json["label"].toString(), "Total Accounts: 2");
  EXPECT_EQ(json["count"].toInt(), 2);
  const QJsonArray accounts = json["accounts"].toArray();
  ASSERT_EQ(accounts.size(), 2);
  for (int p = 0; p < 2; ++p) {
    EXPECT_EQ(accounts[p]["name"].toString(), Q(listing.lines[p]));
    EXPECT_EQ(accounts[p]["file"].toString(), Q(listing.files[p]));
  }

  // Any case, with or without ".ini".
  r = tests::RunProgram("Calmet", {"show", "BOB", "--json", "--server-dir", dir});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  json = ParseObject(r.out);
  EXPECT_EQ(json["file"].toString(), "bob.ini");
  const QJsonArray characters = json["characters"].toArray();
  ASSERT_EQ(characters.size(), kCharacters);
  for (int c = 0; c < kCharacters; ++c) {
    const CharacterView& ch = view.characters[c];
    const QJsonObject got = characters[c].toObject();
    EXPECT_EQ(got["caption"].toString(), Q(ch.caption));
    // The values as numbers, the texts the window shows beside them.
    EXPECT_EQ(got["texts"]["strength"].toString(), Q(ch.str));
    EXPECT_EQ(got["texts"]["defense"].toString(), Q(ch.def));
    EXPECT_EQ(got["texts"]["speed"].toString(), Q(ch.spd));
    EXPECT_EQ(got["texts"]["magic"].toString(), Q(ch.magi));
    const QJsonArray lines = got["inventory"].toArray();
    ASSERT_EQ(lines.size(), kSlots);
    for (int i = 0; i < kSlots; ++i) EXPECT_EQ(lines[i].toString(), Q(ch.inventory[i])) << i;
    ASSERT_EQ(got["slots"].toArray().size(), kSlots);
  }
  EXPECT_EQ(characters[0]["caption"].toString(), "Bobby - Moderator - 7");
  EXPECT_EQ(characters[1]["name"].toString(), QString::fromUtf8("\xC3\x89lise"));
  const QJsonArray bobSlots = characters[0]["slots"].toArray();
  EXPECT_EQ(bobSlots[0].toObject(),
            (QJsonObject{{"slot", 1},
                         {"item", 1},
                         {"name", "Gold"},
                         {"value", 250},
                         {"texts", QJsonObject{{"item", "1"}, {"value", "250"}}}}));
  EXPECT_EQ(bobSlots[1]["name"].toString(), "Sword");
  // A number that does not convert is a free slot, its text kept.
  EXPECT_EQ(bobSlots[2]["item"].toInt(-1), 0);
  EXPECT_EQ(bobSlots[2]["name"], QJsonValue(QJsonValue::Null));
  EXPECT_EQ(bobSlots[2]["texts"]["item"].toString(), "abc");

  r = tests::RunProgram("Calmet", {"show", "bob.ini", "--server-dir", dir});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out.rfind("Bobby - Moderator - 7\n  Strength: 10\n  Defense: 4\n", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("\n  1: Gold (250)\n  2: Sword\n  3: <free item slot>\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("\nCharacter Three\n"), std::string::npos);

  // Names without regard to case, also beyond ASCII; captions are not names.
  r = tests::RunProgram("Calmet", {"find", "\xC3\xA9LI", "--server-dir", dir});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out, "Bob.ini\n");
  r = tests::RunProgram("Calmet", {"find", "Character", "--server-dir", dir});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out, "");
  r = tests::RunProgram("Calmet", {"find", "o", "--json", "--quiet", "--server-dir", dir});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const QJsonArray found = ParseObject(r.out)["accounts"].toArray();
  ASSERT_EQ(found.size(), 2);
  EXPECT_EQ(found[1]["name"].toString(), "Carol.ini");
  EXPECT_EQ(found[1]["characters"][0]["inventory"][4].toString(), "5: Gold ()");
}

TEST(CalmetCommand, WipeWritesWhatTheWindowsWipeWritesAfterItsBackup) {
  ScratchFolder backups;
  ScratchFolder byCommand;
  MakeServer(byCommand);
  const auto before = tests::FileTree(byCommand.path());
  // A backup that cannot be made stops the wipe before the first write, and
  // keeps the file that was there.
  backups.Write("taken/bob.ini", "an older backup");
  for (const std::string& folder : {backups.At("taken"), byCommand.At("Accounts")}) {
    const tests::CommandResult r = tests::RunProgram(
        "Calmet", {"wipe", "--yes", "--backup", folder, "--server-dir", byCommand.path()});
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    EXPECT_NE(r.err.find(kWipeNotStartedTitle), std::string::npos) << r.err;
    EXPECT_EQ(tests::FileTree(byCommand.path()), before);
  }
  EXPECT_EQ(backups.Read("taken/bob.ini"), "an older backup");

  const tests::CommandResult r = tests::RunProgram(
      "Calmet",
      {"wipe", "--yes", "--backup", backups.At("new/folder"), "--server-dir", byCommand.path()});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.err.find(kWipeDone), std::string::npos) << r.err;
  auto saved = tests::FileTree(backups.At("new/folder"));
  // Every listed file, byte for byte, beside the manifest, and no temporary one.
  EXPECT_EQ(saved.erase("manifest.json"), 1u);
  EXPECT_EQ(saved,
            (std::map<std::string, std::string>{{"bob.ini", before.at("Accounts/bob.ini")},
                                                {"Carol.ini", before.at("Accounts/Carol.ini")}}));

  // The window's wipe is the same job with other events; it reports what the
  // command's summary line says.
  EXPECT_NE(r.err.find("Wipe: 2 accounts wiped, in "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Backup: 2 accounts backed up, in "), std::string::npos) << r.err;
  ScratchFolder byWindow;
  MakeServer(byWindow);
  AccountsState state;
  const common::ServerFolder server(byWindow.path());
  const AccountListing listing = ListAccounts(server, state);
  common::JobEvents events;
  const common::JobResult wiped = WipeInventories(server, listing, events);
  ASSERT_TRUE(wiped.complete());
  EXPECT_EQ(wiped.done, 2);
  const auto expected = tests::FileTree(byWindow.path());
  EXPECT_NE(expected, before);
  // The command also wrote its line to the journal.
  auto byCommandTree = tests::FileTree(byCommand.path());
  EXPECT_EQ(byCommandTree.erase("server-tools.journal"), 1u);
  EXPECT_EQ(byCommandTree, expected);
}

TEST(CalmetCommand, WipeAsksOnATerminalAndNeverWaitsWithoutOne) {
  ScratchFolder s;
  MakeServer(s);
  const auto before = tests::FileTree(s.path());
  tests::CommandResult r =
      tests::RunProgram("Calmet", {"wipe", "--server-dir", s.path()}, {"y\n", false, 30});
  EXPECT_EQ(r.exitStatus, 2) << r.err;
  EXPECT_NE(r.err.find("--yes"), std::string::npos) << r.err;
  // No: not even the backup is made.
  r = tests::RunProgram("Calmet", {"wipe", "--backup", s.At("saved"), "--server-dir", s.path()},
                        {"maybe\nn\n", true, 30});
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_NE(r.err.find(kWipeQuestion), std::string::npos) << r.err;
  EXPECT_EQ(tests::FileTree(s.path()), before);
  EXPECT_FALSE(s.Exists("saved"));

  r = tests::RunProgram("Calmet", {"wipe", "--server-dir", s.path()}, {"yes\n", true, 30});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(s.Read("Accounts/bob.ini").find("InvItemNum1=0\r\n"), std::string::npos);
}

TEST(CalmetCommand, ExitStatusTellsAScriptWhatWentWrong) {
  ScratchFolder s;
  MakeServer(s);
  s.Write("Accounts/DUP.ini", "");
  s.Write("Accounts/dup.INI", "");
  s.MakeDir("Accounts/folder.ini");  // listed, but no file to read
  const std::string dir = s.path();
  const auto before = tests::FileTree(dir);
  auto status = [&dir](std::vector<std::string> args) {
    args.insert(args.end(), {"--server-dir", dir});
    return tests::RunProgram("Calmet", args).exitStatus;
  };

  EXPECT_EQ(status({"show", "nobody"}), 1);
  EXPECT_EQ(status({"show", "folder"}), 1);
  EXPECT_EQ(status({"find", "bob"}), 3);  // the folder was skipped
  {
    ScratchFolder unreadable;  // no account could be read: a failure
    unreadable.MakeDir("Accounts/a.ini");
    EXPECT_EQ(
        tests::RunProgram("Calmet", {"find", "a", "--server-dir", unreadable.path()}).exitStatus,
        1);
  }
  EXPECT_EQ(status({"show", "Dup.ini"}), 2);
  EXPECT_EQ(status({"show", "dup.INI"}), 0);
  EXPECT_EQ(status({"show", "DUP"}), 0);
  EXPECT_EQ(tests::RunProgram("Calmet", {"list", "--server-dir", dir + "/none"}).exitStatus, 1);
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"frob"},
                                             {"show"},
                                             {"show", "bob", "Carol"},
                                             {"list", "extra"},
                                             {"find", ""},
                                             {"list", "--yes"},
                                             {"wipe", "--yes", "--json"},
                                             {"wipe", "--yes", "--backup"},
                                             {"wipe", "--yes", "extra"},
                                             {"list", "--bogus"}}) {
    EXPECT_EQ(status(args), 2) << args.front();
  }
  EXPECT_EQ(tests::FileTree(dir), before);

  // No accounts folder: nothing to list or wipe, which is no failure.
  ScratchFolder empty;
  const tests::CommandResult r =
      tests::RunProgram("Calmet", {"wipe", "--yes", "--server-dir", empty.path()});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.err.find(kWipeNothing), std::string::npos) << r.err;
  EXPECT_EQ(tests::RunProgram("Calmet", {"list", "--server-dir", empty.path()}).exitStatus, 0);
}

// A script's view of the statuses: output that never reached its file is a
// failure, whatever the command did.
TEST(CalmetCommand, OutputThatCannotBeWrittenFailsTheCommand) {
  ScratchFolder s;
  MakeServer(s);
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"list", "--json"}, {"find", "o", "--json"}, {"show", "bob", "--json"}, {"list"}}) {
    std::vector<std::string> all = args;
    all.insert(all.end(), {"--server-dir", s.path()});
    const tests::CommandResult r = RunCalmet(all, full);
    EXPECT_EQ(r.exitStatus, 1) << args.front() << ": " << r.err;
    EXPECT_NE(r.err.find("Calmet: the output could not be written: No space left on device"),
              std::string::npos)
        << r.err;
  }
  close(full);
  // The same commands with somewhere to write succeed.
  EXPECT_EQ(RunCalmet({"find", "o", "--json", "--server-dir", s.path()}).exitStatus, 0);
}

// Account files the size the server writes, each with a full inventory.
std::string FullAccount(int n) {
  std::string s;
  for (int c = 1; c <= 3; ++c) {
    s += "[CHAR" + std::to_string(c) + "]\r\nName=P" + std::to_string(n) + "\r\n";
    for (int slot = 1; slot <= 100; ++slot) {
      s += "InvItemNum" + std::to_string(slot) + "=7\r\n";
    }
  }
  return s;
}

// Scratch folders made while it lives go to memory where the system has it:
// on a disk, making and flushing thousands of accounts takes seconds that
// test nothing.
struct ScratchInMemory {
  ScratchInMemory() {
    if (const char* tmp = std::getenv("TMPDIR")) old = tmp;
    if (access("/dev/shm", W_OK) == 0) setenv("TMPDIR", "/dev/shm", 1);
  }
  ~ScratchInMemory() { old ? setenv("TMPDIR", old->c_str(), 1) : unsetenv("TMPDIR"); }
  std::optional<std::string> old;
};

// `count` accounts acc0000.ini, ... with every slot full; their names and
// contents in `names` and `before`.
void MakeFullAccounts(ScratchFolder& s, int count, std::vector<std::string>* names,
                      std::vector<std::string>* before) {
  for (int n = 0; n < count; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "acc%04d.ini", n);
    names->push_back(name);
    before->push_back(FullAccount(n));
    s.Write(std::string("Accounts/") + name, before->back());
  }
}

// Ctrl-C or SIGTERM in the middle of a wipe of many accounts: it stops after
// the account at hand, says what was wiped and what was not (also with
// --quiet), leaves no temporary file and ends with 128 + the signal.
TEST(CalmetCommand, AnInterruptStopsTheWipeBetweenTwoAccountsAndSaysWhere) {
  constexpr int kAccounts = 2000;
  const ScratchInMemory inMemory;
  for (const auto& [signal, quiet] : {std::pair{SIGINT, false}, std::pair{SIGTERM, true}}) {
    ScratchFolder s;
    std::vector<std::string> names, before;
    MakeFullAccounts(s, kAccounts, &names, &before);
    const std::string first = s.At("Accounts/" + names[0]);
    std::vector<std::string> args = {"wipe", "--yes", "--server-dir", s.path()};
    if (quiet) args.push_back("--quiet");
    // Sent once the first account is wiped, while the rest are still to do.
    const tests::CommandResult r = RunCalmet(
        args, -1,
        [&first] {
          std::ifstream in(first, std::ios::binary);
          std::string line;
          std::getline(in, line);
          std::getline(in, line);
          std::getline(in, line);
          return line == "InvItemNum1=0\r";
        },
        signal);
    EXPECT_EQ(r.exitStatus, 128 + signal) << r.err;

    // Every account wiped or as it was, the wiped ones first, as many as
    // the summary says.
    int wiped = 0;
    bool untouchedSeen = false;
    for (int n = 0; n < kAccounts; ++n) {
      const std::string now = s.Read("Accounts/" + names[static_cast<size_t>(n)]);
      if (now == before[static_cast<size_t>(n)]) {
        untouchedSeen = true;
        continue;
      }
      EXPECT_FALSE(untouchedSeen) << names[static_cast<size_t>(n)] << " wiped after one left";
      EXPECT_EQ(now.find("=7\r"), std::string::npos) << names[static_cast<size_t>(n)];
      EXPECT_NE(now.find("InvItemDur100=0\r"), std::string::npos);
      ++wiped;
    }
    ASSERT_GT(wiped, 0);
    ASSERT_LT(wiped, kAccounts) << "the wipe ended before the signal came";
    const std::string next = std::to_string(wiped + 1);
    EXPECT_NE(r.err.find("Wipe: " + std::to_string(wiped) + " account" + (wiped == 1 ? "" : "s") +
                         " wiped, in "),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("stopped before account " + next + ": " + next + " to " +
                         std::to_string(kAccounts) + " not done"),
              std::string::npos)
        << r.err;
    EXPECT_NE(
        r.err.find(std::string(kWipeFailedTitle) + ": The wipe was stopped before account " + next),
        std::string::npos)
        << r.err;
    if (quiet) {
      EXPECT_EQ(r.err.find("%)"), std::string::npos) << "progress with --quiet";
    }
    // Nothing but the accounts in their folder: no temporary file.
    size_t entries = 0;
    for (const auto& e : fs::directory_iterator(s.At("Accounts"))) {
      EXPECT_EQ(e.path().filename().string().rfind("acc", 0), 0u) << e.path();
      ++entries;
    }
    EXPECT_EQ(entries, static_cast<size_t>(kAccounts));
  }
}

TEST(CalmetCommand, AnInterruptStopsTheRestoreBetweenTwoAccountsAndSaysWhere) {
  constexpr int kAccounts = 2000;
  const ScratchInMemory inMemory;
  ScratchFolder s;
  std::vector<std::string> names, before;
  MakeFullAccounts(s, kAccounts, &names, &before);
  ASSERT_EQ(RunCalmet({"wipe", "--yes", "--quiet", "--server-dir", s.path()}).exitStatus, 0);
  std::string backup;
  for (const auto& e : fs::directory_iterator(s.At("Backups"))) backup = e.path();
  const std::string first = s.At("Accounts/" + names[0]);
  const std::string firstBefore = before[0];
  const tests::CommandResult r = RunCalmet(
      {"restore", backup, "--yes", "--server-dir", s.path()}, -1,
      [&] {
        std::ifstream in(first, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str() == firstBefore;
      },
      SIGINT);
  EXPECT_EQ(r.exitStatus, 128 + SIGINT) << r.err;
  // The restored accounts first, then those still wiped.
  int restored = 0;
  for (int n = 0; n < kAccounts; ++n) {
    if (s.Read("Accounts/" + names[static_cast<size_t>(n)]) != before[static_cast<size_t>(n)]) {
      break;
    }
    ++restored;
  }
  ASSERT_GT(restored, 0);
  ASSERT_LT(restored, kAccounts) << "the restore ended before the signal came";
  for (int n = restored; n < kAccounts; ++n) {
    EXPECT_NE(s.Read("Accounts/" + names[static_cast<size_t>(n)]), before[static_cast<size_t>(n)]);
  }
  const std::string next = std::to_string(restored + 1);
  EXPECT_NE(r.err.find("Restore: " + std::to_string(restored) + " account" +
                       (restored == 1 ? "" : "s") + " restored, in "),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("The restore was stopped before account " + next), std::string::npos)
      << r.err;
  size_t entries = 0;
  for (const auto& e : fs::directory_iterator(s.At("Accounts"))) {
    EXPECT_EQ(e.path().filename().string().rfind("acc", 0), 0u) << e.path();
    ++entries;
  }
  EXPECT_EQ(entries, static_cast<size_t>(kAccounts));
}

// Player-chosen and planted names: no control reaches the terminal (only
// line ends, no C0 or UTF-8 C1 control, no DEL), and no name starts a line.
TEST(CalmetCommand, NamesAreShownNotExecuted) {
  ScratchFolder s;
  const std::string evil = "Evil\x1b]0;pwned\x07\x1b[2J";
  s.Write("Accounts/red\x1b[1;31m.ini",
          Section("CHAR1", {{"Name", evil}}) + Section("CHAR2", {{"Name", "Bad\x9dname"}}));
  s.Write("Accounts/a\nForged.ini\nb.ini", "");
  s.MakeDir("Accounts/gone\n\x1b[2J.ini");  // listed, but cannot be read or wiped
  auto run = [&s](std::vector<std::string> args) {
    args.insert(args.end(), {"--server-dir", s.path()});
    tests::CommandResult r = tests::RunProgram("Calmet", args);
    for (const std::string& text : {r.out, r.err}) {
      for (size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        const auto next = static_cast<unsigned char>(text[i + 1]);  // the NUL at the end
        if ((b < 0x20 && b != '\n') || b == 0x7F || (b == 0xC2 && next < 0xA0)) {
          ADD_FAILURE() << "byte " << i << " of:\n" << text;
          break;
        }
      }
    }
    return r;
  };

  tests::CommandResult r = run({"list"});
  EXPECT_EQ(r.out, "A\\nForged.ini\\nB.ini\nGone\\n\\e[2j.ini\nRed\\e[1;31m.ini\n");
  r = run({"show", "Red\\e[1;31m.ini"});  // as listed
  EXPECT_EQ(r.out.rfind("Evil\\e]0;pwned\\x07\\e[2J - \n", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("\nBad\\x9dname - \n"), std::string::npos) << r.out;
  r = run({"find", "evil"});
  EXPECT_EQ(r.out, "Red\\e[1;31m.ini\n");
  EXPECT_NE(
      r.err.find(std::string(kAccountUnreadable) + "\n" + s.path() + "/Accounts/gone\\n\\e[2J.ini"),
      std::string::npos)
      << r.err;
  r = run({"show", "x", "\x1b]0;\n\xc2\x9d"});
  EXPECT_EQ(r.err.rfind("Calmet: show takes one ACCOUNT: \\e]0;\\n\\x9d\n", 0), 0u) << r.err;
  r = run({"show", "red\x1b[1;31m", "--json"});
  EXPECT_EQ(ParseObject(r.out)["characters"][1]["name"].toString(), Q("Bad\x9dname"));
  r = run({"wipe", "--yes"});
  EXPECT_NE(r.err.find(std::string(kWipeFailed) + "\nGone\\n\\e[2j.ini ("), std::string::npos)
      << r.err;
}

}  // namespace
}  // namespace calmet
