// Resolving the tools' "\"-separated, case-blind paths on a case-sensitive
// file system, and the first-match search built on it.
#include "common/host_path.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_search.h"
#include "common/program_folder.h"
#include "tests/support/scratch_folder.h"

namespace common {

namespace {

TEST(ResolvePath, MatchesEveryComponentWithoutRegardToCase) {
  ScratchFolder s;
  s.Write("NPCs/npc1.dat", "x");
  EXPECT_EQ(ResolvePath(ProgramFolder() + "\\NPCS\\NPC1.DAT"), s.At("NPCs/npc1.dat"));
  EXPECT_EQ(ResolvePath(ProgramFolder() + "\\npcs\\Npc1.dat"), s.At("NPCs/npc1.dat"));
}

TEST(ResolvePath, DoubledAndMixedSeparatorsCountAsOne) {
  ScratchFolder s;
  s.Write("maps/map1.dat", "x");
  EXPECT_EQ(ResolvePath(ProgramFolder() + "\\\\Maps\\\\map1.dat"), s.At("maps/map1.dat"));
  EXPECT_EQ(ResolvePath(ProgramFolder() + "/\\MAPS//map1.dat"), s.At("maps/map1.dat"));
}

TEST(ResolvePath, MissingComponentsKeepTheCallersSpelling) {
  ScratchFolder s;
  s.MakeDir("Items");
  EXPECT_EQ(ResolvePath(ProgramFolder() + "\\ITEMS\\Item7.dat"), s.At("Items/Item7.dat"));
  EXPECT_EQ(ResolvePath(ProgramFolder() + "\\Newmaps\\map1.dat"), s.At("Newmaps/map1.dat"));
}

TEST(ResolvePath, PrefersTheExactNameThenTheFirstInByteOrder) {
  ScratchFolder s;
  s.Write("bob.ini", "1");
  s.Write("BOB.INI", "2");
  s.Write("Bob.ini", "3");
  EXPECT_EQ(ResolvePath(ProgramFolder() + "\\bob.ini"), s.At("bob.ini"));
  EXPECT_EQ(ResolvePath(ProgramFolder() + "\\BOB.INI"), s.At("BOB.INI"));
  // No exact match: "BOB.INI" sorts first byte-wise.
  EXPECT_EQ(ResolvePath(ProgramFolder() + "\\bOB.ini"), s.At("BOB.INI"));
}

TEST(ResolvePath, SeesFilesCreatedByOthersAfterAnEarlierLookup) {
  ScratchFolder s;
  s.MakeDir("Items");
  EXPECT_EQ(ResolvePath(ProgramFolder() + "\\Items\\ITEM1.DAT"), s.At("Items/ITEM1.DAT"));
  s.Write("Items/item1.dat", "x");  // another program creates it
  EXPECT_EQ(ResolvePath(ProgramFolder() + "\\Items\\ITEM1.DAT"), s.At("Items/item1.dat"));
}

TEST(ResolvePath, CreatedFoldersUseTheGivenSpelling) {
  ScratchFolder s;
  const Status made = CreateFolder(ProgramFolder() + "\\Newmaps\\");
  EXPECT_TRUE(made.ok()) << made.ToString();
  EXPECT_TRUE(s.Exists("Newmaps"));

  const Status again = CreateFolder(ProgramFolder() + "\\NEWMAPS\\");
  EXPECT_EQ(again.code(), Status::Code::kIOError) << "exists already in another case";
  EXPECT_EQ(again.sysError(), EEXIST);
  EXPECT_NE(again.message().find("Newmaps"), std::string::npos) << again.ToString();
  EXPECT_FALSE(s.Exists("NEWMAPS"));

  const Status orphan = CreateFolder(ProgramFolder() + "\\missing\\child");
  EXPECT_TRUE(orphan.IsNotFound()) << orphan.ToString();
  EXPECT_NE(orphan.message().find("child"), std::string::npos) << orphan.ToString();
  EXPECT_FALSE(s.Exists("missing"));
}

TEST(WildcardMatch, StarsQuestionMarksAndCase) {
  EXPECT_TRUE(WildcardMatch("*", "anything"));
  EXPECT_TRUE(WildcardMatch("*.*", "noext"));
  EXPECT_TRUE(WildcardMatch("*.INI", "bob.ini"));
  EXPECT_FALSE(WildcardMatch("*.ini", "bob.ini.bak"));
  EXPECT_TRUE(WildcardMatch("map?.dat", "MAP7.DAT"));
  EXPECT_FALSE(WildcardMatch("map?.dat", "map17.dat"));
  EXPECT_TRUE(WildcardMatch("a*b*c", "aXXbYYc"));
  EXPECT_FALSE(WildcardMatch("a*b*c", "aXXbYY"));
}

TEST(FileIsPresent, FindsFilesThroughADoubledSeparatorInAnyCase) {
  ScratchFolder s;
  EXPECT_FALSE(FileIsPresent("\\items.ini", false));
  s.Write("Items.INI", "");
  EXPECT_TRUE(FileIsPresent("\\items.ini", false));
  EXPECT_TRUE(FileIsPresent("items.ini", false));
  EXPECT_TRUE(FileIsPresent(s.At("ITEMS.ini"), true));
}

TEST(FileIsPresent, AFolderTestNeedsAnOrdinaryFileInside) {
  ScratchFolder s;
  EXPECT_FALSE(FileIsPresent("Maps\\", false)) << "missing folder";
  s.MakeDir("maps");
  EXPECT_FALSE(FileIsPresent("Maps\\", false)) << "empty folder";
  s.MakeDir("maps/sub");
  s.Write("maps/.hidden", "x");
  ASSERT_EQ(mkfifo(s.At("maps/fifo").c_str(), 0600), 0);
  EXPECT_FALSE(FileIsPresent("Maps\\", false)) << "only a folder, a hidden file and a FIFO";
  s.Write("maps/map1.dat", "");
  EXPECT_TRUE(FileIsPresent("Maps\\", false));
  EXPECT_TRUE(FileIsPresent("\\MAPS\\", false));
}

TEST(FileIsPresent, OnlyOrdinaryFilesCountForPlainNames) {
  ScratchFolder s;
  s.MakeDir("server.exe");
  EXPECT_FALSE(FileIsPresent("\\server.exe", false));
  s.Write(".server.exe", "");
  EXPECT_FALSE(FileIsPresent("\\.server.exe", false)) << "hidden";
  s.Write("target", "x");
  ASSERT_EQ(symlink(s.At("target").c_str(), s.At("link.exe").c_str()), 0);
  EXPECT_TRUE(FileIsPresent("\\LINK.exe", false)) << "a link to an ordinary file";
}

TEST(FileIsPresent, WorksFromTheRootFolder) {
  SetProgramFolder("/");
  EXPECT_TRUE(FileIsPresent("\\etc\\hostname", false) || FileIsPresent("\\etc\\passwd", false));
  EXPECT_EQ(ResolvePath(ProgramFolder() + "\\\\ETC"), "/etc");
  SetProgramFolder("");
}

TEST(ListFolder, ListsDotEntriesFirstThenByUpperCasedName) {
  ScratchFolder s;
  for (const char* n : {"zz.txt", "_x", "Zy.txt", "[y", "Z.txt"})
    s.Write(std::string("a/") + n, "");
  s.MakeDir("a/sub");
  std::vector<std::string> want = {".", "..", "sub", "Z.txt", "Zy.txt", "zz.txt", "[y", "_x"};
  std::vector<std::string> names;
  ASSERT_TRUE(ListFolder(ProgramFolder() + "\\A\\*.*", &names).ok());
  EXPECT_EQ(names, want);

  const Status missing = ListFolder(ProgramFolder() + "\\missing\\*.*", &names);
  EXPECT_TRUE(missing.IsNotFound()) << missing.ToString();
  EXPECT_NE(missing.message().find("missing"), std::string::npos) << missing.ToString();
  EXPECT_TRUE(names.empty()) << "a failed listing leaves no names from before";
}

}  // namespace

namespace {

// Sets a folder's modification time, standing for changes that fall within
// one timestamp step of each other.
void SetMtime(const std::string& folder, const timespec& t) {
  const timespec times[2] = {t, t};
  ASSERT_EQ(utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
}

timespec MtimeOf(const std::string& folder) {
  struct stat st;
  stat(folder.c_str(), &st);
  return st.st_mtim;
}

TEST(ResolvePath, ARememberedNameThatIsGoneMakesTheFolderBeListedAgain) {
  ScratchFolder s;
  s.Write("Data/A.INI", "old");
  EXPECT_EQ(ResolvePath(ProgramFolder() + "\\Data\\a.ini"), s.At("Data/A.INI"));
  // Within the same step: A.INI replaced by a.Ini, the folder's time unchanged.
  const timespec before = MtimeOf(s.At("Data"));
  ASSERT_EQ(unlink(s.At("Data/A.INI").c_str()), 0);
  s.Write("Data/a.Ini", "new");
  SetMtime(s.At("Data"), before);
  EXPECT_EQ(ResolvePath(ProgramFolder() + "\\Data\\a.ini"), s.At("Data/a.Ini"));
}

TEST(ResolvePath, AListingTakenRightAfterAChangeIsNotTrustedTwice) {
  ScratchFolder s;
  s.MakeDir("Data");
  const timespec now = {0, UTIME_NOW};
  SetMtime(s.At("Data"), now);
  const timespec changed = MtimeOf(s.At("Data"));
  EXPECT_EQ(ResolvePath(ProgramFolder() + "\\Data\\x.ini"), s.At("Data/x.ini"));
  // Another program adds X.INI within the same step as the listing.
  s.Write("Data/X.INI", "");
  SetMtime(s.At("Data"), changed);
  EXPECT_EQ(ResolvePath(ProgramFolder() + "\\Data\\x.ini"), s.At("Data/X.INI"));
}

}  // namespace

}  // namespace common
