// `Vostrel convert` as a real process with no display: the files it writes
// and the counts it prints are those of the window's Convert clicks on the
// same folder, and its exit status tells a script how the job went.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "converter/page_click.h"
#include "tests/support/fake_page_view.h"
#include "tests/support/file_tree.h"
#include "tests/support/run_command.h"
#include "tests/support/scratch_folder.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

const std::string kSample = std::string(TOOLS_SOURCE_DIR) + "/sample/server";

void CopySample(const std::string& to) {
  fs::copy(kSample, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

// The start of the line the command prints at the end of a job: its counts,
// then ", in <time>".
std::string CountsLine(const std::string& label, const common::JobResult& r, const char* many) {
  std::string line = label + ": " + std::to_string(r.done) + " " + many + " written";
  if (r.blank > 0) {
    line += ", " + std::to_string(r.blank) +
            (std::string(many) == "maps" ? " blank (no legacy file)"
                                         : " blank (no section in the source)");
  }
  if (r.skipped() > 0) line += ", " + std::to_string(r.skipped()) + " skipped";
  if (r.failed() > 0) line += ", " + std::to_string(r.failed()) + " failed";
  return line + ", in ";
}

// `text` with `from` (once) replaced by `to`.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  if (const size_t at = text.find(from); at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(VostrelCommand, WritesAndCountsWhatTheWindowsJobsDo) {
  ScratchFolder byCommand;
  CopySample(byCommand.path());
  const tests::CommandResult run = tests::RunProgram(
      "Vostrel", {"convert", "all", "--max", "60", "--server-dir", byCommand.path()});

  ScratchFolder byWindow;
  CopySample(byWindow.path());
  const common::ServerFolder folder(byWindow.path());
  ConverterState state;
  FakePageView ui;
  const struct {
    Page page;
    const char* label;
  } pages[] = {{Page::Items, "Items"}, {Page::Spells, "Spells"}, {Page::Signs, "Signs"},
               {Page::Shops, "Shops"}, {Page::NPCs, "NPCs"},     {Page::Maps, "Maps"}};
  int written = 0, skipped = 0, blank = 0;
  bool anySkipped = false;
  for (const auto& p : pages) {
    SCOPED_TRACE(p.label);
    const common::JobResult r = p.page == Page::Maps
                                    ? MapConvertClick(folder, state, "60", 0, ui)
                                    : ConvertClick(folder, state, p.page, "60", ui);
    ASSERT_TRUE(r.started) << r.status.message();
    ASSERT_NE(common::OutcomeOf(r), common::Outcome::kFailed);
    anySkipped |= common::OutcomeOf(r) == common::Outcome::kSkipped;
    written += r.done;
    skipped += r.skipped();
    blank += r.blank;
    const char* many = p.page == Page::Maps ? "maps" : "records";
    EXPECT_NE(run.err.find(CountsLine(p.label, r, many)), std::string::npos) << run.err;
    // Each record left out has a line that names where it came from.
    for (const common::ItemProblem& problem : r.problems) {
      const std::string at =
          std::string(p.label) + (p.page == Page::Maps ? ": map " : ": record ") +
          std::to_string(problem.item) +
          (problem.kind == common::ItemProblem::Kind::kSkipped ? " skipped (" : " failed (") +
          Replaced(problem.name, byWindow.path(), byCommand.path()) + "): ";
      EXPECT_NE(run.err.find(at), std::string::npos) << at << "\n" << run.err;
    }
  }
  // The sample holds records that do not fit their fields.
  EXPECT_TRUE(anySkipped);
  EXPECT_EQ(run.exitStatus, 3) << run.err;
  std::string total = "All: 6 jobs, " + std::to_string(written) + " records written";
  if (blank > 0) total += ", " + std::to_string(blank) + " blank";
  if (skipped > 0) total += ", " + std::to_string(skipped) + " skipped";
  EXPECT_NE(run.err.find(total + ", in "), std::string::npos) << total << "\n" << run.err;

  auto expected = tests::FileTree(byWindow.path());
  auto actual = tests::FileTree(byCommand.path());
  // Both entered their six jobs in the journal, at their own times.
  for (auto* tree : {&expected, &actual}) {
    const auto journal = tree->find("server-tools.journal");
    ASSERT_NE(journal, tree->end());
    EXPECT_EQ(std::count(journal->second.begin(), journal->second.end(), '\n'), 6);
    tree->erase(journal);
  }
  EXPECT_GT(expected.size(), 300u);
  EXPECT_EQ(actual.size(), expected.size());
  for (const auto& [name, bytes] : expected) {
    auto it = actual.find(name);
    ASSERT_NE(it, actual.end()) << name;
    EXPECT_EQ(it->second, bytes) << name;
  }
}

TEST(VostrelCommand, ExitStatusTellsHowItWent) {
  ScratchFolder server;
  server.Write("signs.ini", "[SIGN1]\r\nMsg=Welcome\r\n");
  const std::string dir = server.path();

  tests::CommandResult r = tests::RunProgram(
      "Vostrel", {"convert", "signs", "--max", "3", "--server-dir", dir, "--quiet"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(server.Exists("Signs/Sign3.dat"));
  EXPECT_FALSE(server.Exists("Signs/Sign4.dat"));

  // A missing source is named with the folder it was looked for in.
  r = tests::RunProgram("Vostrel", {"convert", "items", "signs", "--server-dir", dir});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("File not found: Please place this in the same folder as items.ini "
                       "(looked in " +
                       dir + ")"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(server.Exists("Signs/Sign500.dat"));  // the other kind still ran

  EXPECT_EQ(
      tests::RunProgram("Vostrel", {"convert", "signs", "--server-dir", dir + "/none"}).exitStatus,
      1);

  // Bad usage converts nothing.
  server.Write("items.ini", "[ITEM1]\r\nName=Sword\r\n");
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"convert"},
                                             {"convert", "items", "bogus"},
                                             {"explode", "items"},
                                             {"convert", "items", "--frobnicate"}}) {
    std::vector<std::string> withDir = args;
    withDir.insert(withDir.end(), {"--server-dir", dir});
    r = tests::RunProgram("Vostrel", withDir);
    EXPECT_EQ(r.exitStatus, 2) << args.front() << " " << r.err;
  }
  // --max takes a whole decimal number from 1 to 32767 and nothing else,
  // whatever the window's Max box would make of it.
  for (const char* max : {"abc", "0", "-5", "5,000", "1OOO", "3000x", " 5", "5 ", "+5", "2.5",
                          "40000", "32768", "&H10", ""}) {
    r = tests::RunProgram("Vostrel",
                          {"convert", "items", "signs", "--max", max, "--server-dir", dir});
    EXPECT_EQ(r.exitStatus, 2) << "--max '" << max << "': " << r.err;
    EXPECT_NE(r.err.find("--max takes a whole number from 1 to 32767"), std::string::npos)
        << "--max '" << max << "': " << r.err;
  }
  EXPECT_FALSE(server.Exists("Items"));
  // The edges are taken (the job then finds no npcs.ini and fails).
  for (const char* max : {"1", "32767", "00032767"}) {
    r = tests::RunProgram("Vostrel", {"convert", "npcs", "--max", max, "--server-dir", dir});
    EXPECT_EQ(r.exitStatus, 1) << "--max '" << max << "': " << r.err;
    EXPECT_NE(r.err.find("npcs.ini"), std::string::npos) << r.err;
  }

  // No command and no display: told what to do, not a toolkit abort.
  r = tests::RunProgram("Vostrel", {"--server-dir", dir});
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_NE(r.err.find("no display"), std::string::npos) << r.err;

  r = tests::RunProgram("Vostrel", {"--help"});
  EXPECT_EQ(r.exitStatus, 0);
  for (const char* status : {"3 done with records skipped", "130 interrupted", "143 terminated"}) {
    EXPECT_NE(r.out.find(status), std::string::npos) << status << "\n" << r.out;
  }
}

TEST(VostrelCommand, AJobThatWroteNoRecordFailed) {
  ScratchFolder server;
  server.Write("signs.ini", "[SIGN1]\r\nHeader=Welcome\r\n");
  server.Write("Signs", "a plain file where the folder belongs");
  const tests::CommandResult r = tests::RunProgram(
      "Vostrel", {"convert", "signs", "--max", "3", "--server-dir", server.path(), "--quiet"});
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_NE(r.err.find("Signs: 0 records written, 3 failed, in "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Signs: record 1 failed (SIGN1 in " + server.At("signs.ini") + "): "),
            std::string::npos)
      << r.err;
  EXPECT_EQ(server.Read("Signs"), "a plain file where the folder belongs");
}

// Sends `sig` to the process once `file` exists (the job is under way).
std::function<void(int)> SignalOnceThere(const std::string& file, int sig) {
  return [file, sig](int pid) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(file) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    kill(pid, sig);
  };
}

// Names in `folder` that begin with a dot: the tools' temporary files.
std::vector<std::string> Hidden(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name[0] == '.') names.push_back(name);
  }
  return names;
}

TEST(VostrelCommand, AnInterruptStopsAfterTheRecordAtHandAndSaysWhatWasNotDone) {
  ScratchFolder server;
  server.Write("items.ini", "[ITEM1]\r\nName=Sword\r\n");
  server.Write("shops.ini", "[SHOP1]\r\nName=Smithy\r\n");
  server.Write("npcs.ini", "[NPC1]\r\nName=Guard\r\n");

  // Ctrl-C: the progress and the summary.
  tests::CommandResult r = tests::RunProgram(
      "Vostrel", {"convert", "items", "npcs", "--max", "32767", "--server-dir", server.path()}, {},
      SignalOnceThere(server.At("Items/Item200.dat"), SIGINT));
  EXPECT_EQ(r.exitStatus, 130) << r.err;
  EXPECT_NE(r.err.find("Items: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("; stopped before record "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(" to 32767 not done"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("NPCs: not started (interrupted)"), std::string::npos) << r.err;
  EXPECT_FALSE(server.Exists("Items/Item32767.dat"));
  EXPECT_FALSE(server.Exists("NPCs"));

  // SIGTERM while shop files are replaced through temporary files, quiet:
  // still the summary, and no temporary file left behind.
  r = tests::RunProgram(
      "Vostrel",
      {"convert", "shops", "npcs", "--max", "32767", "--quiet", "--server-dir", server.path()}, {},
      SignalOnceThere(server.At("Shops/Shop200.dat"), SIGTERM));
  EXPECT_EQ(r.exitStatus, 143) << r.err;
  EXPECT_NE(r.err.find("Shops: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("; stopped before record "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("NPCs: not started (interrupted)"), std::string::npos) << r.err;
  EXPECT_FALSE(server.Exists("Shops/Shop32767.dat"));
  EXPECT_EQ(Hidden(server.At("Shops")), std::vector<std::string>{});
}

}  // namespace
}  // namespace vostrel
