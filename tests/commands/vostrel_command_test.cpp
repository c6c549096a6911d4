// `Vostrel convert` as a real process with no display: the files it writes
// are those of the window's Convert clicks on the same folder, and its exit
// status tells a script how the job went.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "converter/map_job.h"
#include "converter/profile_jobs.h"
#include "tests/support/fake_job_ui.h"
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

TEST(VostrelCommand, WritesWhatTheWindowsJobsWrite) {
  ScratchFolder byCommand;
  CopySample(byCommand.path());
  const tests::CommandResult run = tests::RunProgram(
      "Vostrel", {"convert", "all", "--max", "60", "--server-dir", byCommand.path()});
  // The sample holds records that do not fit their fields. Every shop is
  // flushed on its own, so a small maximum keeps this quick on a disk.
  EXPECT_EQ(run.exitStatus, 3) << run.err;
  EXPECT_NE(run.err.find("Records not converted: "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Maps: 60/60 Conversion completed."), std::string::npos) << run.err;

  ScratchFolder byWindow;  // now the program folder of this process
  CopySample(byWindow.path());
  ConverterState state;
  FakeJobUi ui;
  for (Page page : {Page::Items, Page::Spells, Page::Signs, Page::Shops, Page::NPCs}) {
    ConvertClick(state, page, "60", ui);
  }
  EXPECT_EQ(MapConvertClick(state, "60", 0, ui), JobOutcome::kCompleted);

  const auto expected = tests::FileTree(byWindow.path());
  const auto actual = tests::FileTree(byCommand.path());
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

  r = tests::RunProgram("Vostrel", {"convert", "items", "signs", "--server-dir", dir});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("File not found: Please place this in the same folder as items.ini"),
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
                                             {"convert", "items", "--max", "40000"},
                                             {"convert", "items", "--max", ""},
                                             {"convert", "items", "--frobnicate"}}) {
    std::vector<std::string> withDir = args;
    withDir.insert(withDir.end(), {"--server-dir", dir});
    r = tests::RunProgram("Vostrel", withDir);
    EXPECT_EQ(r.exitStatus, 2) << args.front() << " " << r.err;
  }
  EXPECT_FALSE(server.Exists("Items"));

  // No command and no display: told what to do, not a toolkit abort.
  r = tests::RunProgram("Vostrel", {"--server-dir", dir});
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_NE(r.err.find("no display"), std::string::npos) << r.err;

  r = tests::RunProgram("Vostrel", {"--help"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_NE(r.out.find("3 done with records skipped"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace vostrel
