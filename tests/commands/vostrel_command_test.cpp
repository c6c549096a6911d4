// `Vostrel convert` as a real process with no display: the files it writes
// and the counts it prints are those of the window's Convert clicks on the
// same folder, and its exit status tells a script how the job went.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
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

// Every entry below `root` (links not followed) with its kind, size and
// modification time: what a run that writes nothing must leave as it was.
std::map<std::string, std::string> Stamps(const std::string& root) {
  std::map<std::string, std::string> stamps;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    struct stat st;
    if (lstat(e.path().c_str(), &st) != 0) continue;
    stamps[fs::relative(e.path(), root).string()] =
        std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
        std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
  }
  return stamps;
}

// The lines of a run that say what it did, in the real run's words: its
// summaries without their times and its records left out; no progress.
std::vector<std::string> Report(const std::string& err) {
  std::vector<std::string> lines;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || std::isdigit(static_cast<unsigned char>(line[0]))) continue;
    for (const auto& [from, to] :
         {std::pair<std::string, std::string>{"would be written", "written"},
          {"would be skipped", "skipped"},
          {"would fail", "failed"},
          {"would be converted", "converted"}}) {
      line = Replaced(line, from, to);
    }
    line = line.substr(0, line.find(", in "));
    lines.push_back(line);
  }
  return lines;
}

TEST(VostrelCommand, ADryRunWritesNothingAndForetellsTheRealRun) {
  ScratchFolder server;
  CopySample(server.path());
  // Refused writes a dry run can foresee: a link the tools do not follow,
  // and (as root, by the owner write bit) a read-only record.
  server.MakeDir("Spells");
  ASSERT_EQ(symlink("/etc/hostname", server.At("Spells/Spell5.dat").c_str()), 0);
  ASSERT_EQ(lchown(server.At("Spells/Spell5.dat").c_str(), 65534, 65534), 0);
  server.Write("NPCs/NPC4.dat", "old");
  ASSERT_EQ(chmod(server.At("NPCs/NPC4.dat").c_str(), 0444), 0);
  const std::vector<std::string> args = {"convert", "all",          "--max",
                                         "30",      "--server-dir", server.path()};

  const auto before = Stamps(server.path());
  std::vector<std::string> dryArgs = args;
  dryArgs.push_back("--dry-run");
  const tests::CommandResult dry = tests::RunProgram("Vostrel", dryArgs);
  EXPECT_EQ(Stamps(server.path()), before) << dry.err;
  EXPECT_FALSE(server.Exists("server-tools.journal"));
  EXPECT_NE(dry.err.find("Spells: 27 records would be written, 26 blank"), std::string::npos)
      << dry.err;

  const tests::CommandResult real = tests::RunProgram("Vostrel", args);
  EXPECT_EQ(dry.exitStatus, real.exitStatus) << dry.err << real.err;
  EXPECT_EQ(Report(dry.err), Report(real.err)) << dry.err << real.err;
  EXPECT_NE(real.err.find("Spells: record 5 skipped"), std::string::npos) << real.err;
  EXPECT_NE(real.err.find("NPCs: record 4 failed"), std::string::npos) << real.err;
  EXPECT_EQ(server.Read("NPCs/NPC4.dat"), "old");
}

TEST(VostrelCommand, ADryRunEndsAsTheRealRunWould) {
  const struct {
    const char* what;
    std::function<void(const ScratchFolder&)> make;
    int status;
  } cases[] = {
      {"all written",
       [](const ScratchFolder& s) { s.Write("signs.ini", "[SIGN1]\r\nHeader=Hi\r\n"); }, 0},
      {"some skipped",
       [](const ScratchFolder& s) {
         s.Write("signs.ini", "[SIGN1]\r\nHeader=Hi\r\n");
         s.MakeDir("Signs/Sign2.dat");  // a folder where a record belongs
       },
       3},
      {"none writable",
       [](const ScratchFolder& s) {
         s.Write("signs.ini", "[SIGN1]\r\nHeader=Hi\r\n");
         s.Write("Signs", "a plain file where the folder belongs");
       },
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder server;
    c.make(server);
    const std::vector<std::string> args = {"convert", "signs",        "--max",
                                           "3",       "--server-dir", server.path()};
    std::vector<std::string> dryArgs = args;
    dryArgs.push_back("--dry-run");
    const auto before = Stamps(server.path());
    const tests::CommandResult dry = tests::RunProgram("Vostrel", dryArgs);
    EXPECT_EQ(dry.exitStatus, c.status) << dry.err;
    EXPECT_EQ(Stamps(server.path()), before);
    const tests::CommandResult real = tests::RunProgram("Vostrel", args);
    EXPECT_EQ(real.exitStatus, c.status) << real.err;
    EXPECT_EQ(Report(dry.err), Report(real.err)) << dry.err << real.err;
  }
}

// The journal's lines, parsed.
std::vector<QJsonObject> JournalOf(const ScratchFolder& server) {
  std::vector<QJsonObject> entries;
  if (!server.Exists("server-tools.journal")) return entries;
  std::istringstream in(server.Read("server-tools.journal"));
  for (std::string line; std::getline(in, line);) {
    entries.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
  }
  return entries;
}

TEST(VostrelCommand, SaysWhatWasWrittenBlankOrShortAndEntersEachJobInTheJournal) {
  ScratchFolder server;
  CopySample(server.path());  // 3 spell sections; maps 1 to 3, map 3 only 100 bytes
  const tests::CommandResult r = tests::RunProgram(
      "Vostrel", {"convert", "spells", "maps", "--max", "20", "--server-dir", server.path()});
  EXPECT_EQ(r.exitStatus, 3) << r.err;  // two spells do not fit their fields
  EXPECT_NE(r.err.find("Spells: 18 records written, 17 blank (no section in the source), 2 "
                       "skipped, in "),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Maps: map 3 (" + server.At("maps/map3.dat") +
                       ") is 100 bytes, shorter than the legacy map layout (2936 bytes): "
                       "converted as a full map, the missing fields as zeros"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(fs::file_size(server.At("Newmaps/map3.dat")), 4105u);

  const std::vector<QJsonObject> journal = JournalOf(server);
  ASSERT_EQ(journal.size(), 2u) << server.Read("server-tools.journal");
  EXPECT_EQ(journal[0]["what"].toString(), "spells");
  EXPECT_EQ(journal[0]["blank"].toInt(), 17);
  EXPECT_EQ(journal[0]["outcome"].toString(), "skipped");
  EXPECT_EQ(journal[1]["what"].toString(), "maps");
  EXPECT_EQ(journal[1]["blank"].toInt(), 17);
  ASSERT_EQ(journal[1]["notes"].toArray().size(), 1);
  EXPECT_TRUE(journal[1]["notes"][0].toString().startsWith(
      QString::fromStdString(server.At("maps/map3.dat") + " is 100 bytes")));

  // A job that did not start changed nothing and is not entered.
  ASSERT_EQ(std::remove(server.At("items.ini").c_str()), 0);
  EXPECT_EQ(
      tests::RunProgram("Vostrel", {"convert", "items", "--server-dir", server.path()}).exitStatus,
      1);
  EXPECT_EQ(JournalOf(server).size(), 2u);
}

TEST(VostrelCommand, AJournalThatCannotBeWrittenIsOnlyAWarning) {
  ScratchFolder server;
  server.Write("signs.ini", "[SIGN1]\r\nHeader=Hi\r\n");
  server.MakeDir("server-tools.journal");  // a folder where the journal belongs
  const tests::CommandResult r = tests::RunProgram(
      "Vostrel", {"convert", "signs", "--max", "2", "--quiet", "--server-dir", server.path()});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.err.find("Signs: warning: not entered in the journal: "), std::string::npos) << r.err;
  EXPECT_TRUE(server.Exists("Signs/Sign2.dat"));

  // The window's page keeps its captions; its job stands too.
  const common::ServerFolder folder(server.path());
  ConverterState state;
  FakePageView ui;
  const common::JobResult clicked = ConvertClick(folder, state, Page::Signs, "2", ui);
  EXPECT_EQ(common::OutcomeOf(clicked), common::Outcome::kCompleted);
  EXPECT_EQ(ui.status[Page::Signs], kStatusCompleted);
}

// `show` prints "name: value" lines; these are its fields.
std::map<std::string, std::string> Fields(const std::string& out) {
  std::map<std::string, std::string> fields;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    const size_t colon = line.find(": ");
    if (colon != std::string::npos) fields[line.substr(0, colon)] = line.substr(colon + 2);
  }
  return fields;
}

TEST(VostrelCommand, ShowReadsAConvertedFileBackByItsLayout) {
  ScratchFolder server;
  server.Write("items.ini",
               "[ITEM2]\r\nName=Axe\r\nPic=-7\r\nType=3\r\nData1=70000\r\nGuildReq=Smiths\r\n"
               "LevelReq=12\r\nClassReq=2\r\n");
  server.Write("signs.ini", "[SIGN1]\r\nHeader=Inn\r\nLine2=Beds \x1b[31m\r\n");
  ASSERT_EQ(tests::RunProgram("Vostrel", {"convert", "items", "signs", "--max", "3", "--quiet",
                                          "--server-dir", server.path()})
                .exitStatus,
            0);

  tests::CommandResult r =
      tests::RunProgram("Vostrel", {"show", "Item", "2", "--server-dir", server.path()});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  const std::map<std::string, std::string> expected = {
      {"Name", "Axe"},        {"Pic", "-7"},      {"Type", "3"},
      {"Data1", "70000"},     {"Data2", "0"},     {"Data3", "0"},
      {"GuildReq", "Smiths"}, {"LevelReq", "12"}, {"ClassReq", "2"}};
  EXPECT_EQ(Fields(r.out), expected) << r.out;

  // The example of docs/json.md is this very item.
  r = tests::RunProgram("Vostrel", {"show", "item", "2", "--json", "--server-dir", server.path()});
  QJsonObject item = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
  EXPECT_EQ(item["path"].toString().toStdString(), server.At("Items/Item2.dat"));
  std::ifstream docFile(std::string(TOOLS_SOURCE_DIR) + "/docs/json.md");
  const std::string doc((std::istreambuf_iterator<char>(docFile)),
                        std::istreambuf_iterator<char>());
  const size_t at = doc.find("<!-- example: vostrel show -->\n```json\n");
  ASSERT_NE(at, std::string::npos);
  const size_t begin = doc.find('\n', doc.find("```json", at)) + 1;
  QJsonObject example = QJsonDocument::fromJson(QByteArray::fromStdString(doc.substr(
                                                    begin, doc.find("\n```", begin) - begin)))
                            .object();
  item.remove("path");
  example.remove("path");
  EXPECT_EQ(item, example) << r.out;

  r = tests::RunProgram("Vostrel", {"show", "signs", "1", "--server-dir", server.path()});
  EXPECT_NE(r.out.find("Line2: Beds \\e[31m\n"), std::string::npos) << r.out;

  // Converted again with a shorter text: the file keeps its old tail, and
  // `show` reads the record at its start, as the server does, and says so
  // (the ten bytes of "Beds \\e[31m").
  const uintmax_t before = std::filesystem::file_size(server.At("Signs/Sign1.dat"));
  server.Write("signs.ini", "[SIGN1]\r\nHeader=Inn\r\n");
  ASSERT_EQ(tests::RunProgram("Vostrel", {"convert", "signs", "--max", "1", "--quiet",
                                          "--server-dir", server.path()})
                .exitStatus,
            0);
  ASSERT_EQ(std::filesystem::file_size(server.At("Signs/Sign1.dat")), before);
  r = tests::RunProgram("Vostrel", {"show", "sign", "1", "--server-dir", server.path()});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(Fields(r.out)["Line2"], "") << r.out;
  EXPECT_NE(r.err.find("Signs/Sign1.dat: 10 bytes after the record are left from an older"),
            std::string::npos)
      << r.err;
  r = tests::RunProgram("Vostrel", {"show", "sign", "1", "--json", "--server-dir", server.path()});
  EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object()["tail"].toInt(), 10)
      << r.out;

  // Not what the conversion writes: said so, with what was expected.
  server.Write("Items/Item5.dat", std::string(40, 'x'));
  // Long enough, but text: an item record's reserved bytes are zero.
  server.Write("Items/Item6.dat", std::string(120, 'x'));
  server.Write("Signs/Sign3.dat", std::string("\x05\x00"
                                              "ab",
                                              4));
  for (const auto& [args, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"show", "item", "5"}, "Items/Item5.dat is 40 bytes; an item record is 92 bytes"},
           {{"show", "item", "6"},
            "Items/Item6.dat is 120 bytes; not an item record: its "
            "reserved bytes are not zero"},
           {{"show", "sign", "3"}, "Signs/Sign3.dat is 4 bytes; not a sign record"},
           {{"show", "item", "9"}, "Items/Item9.dat: no such file"},
           {{"show", "map", "1"}, "cannot read newmaps/map1.dat"}}) {
    std::vector<std::string> withDir = args;
    withDir.insert(withDir.end(), {"--server-dir", server.path()});
    r = tests::RunProgram("Vostrel", withDir);
    EXPECT_EQ(r.exitStatus, 1) << args[1] << args[2];
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"show", "all", "1"}, {"show", "item"}, {"show", "item", "0"}, {"show", "item", "x"}}) {
    EXPECT_EQ(tests::RunProgram("Vostrel", args).exitStatus, 2) << args[1];
  }
}

}  // namespace
}  // namespace vostrel
