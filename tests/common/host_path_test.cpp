// Resolving the tools' "\"-separated, case-blind paths on a case-sensitive
// file system, and the first-match search built on it.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "file_search.h"
#include "host_path.h"
#include "program_folder.h"
#include "scratch_folder.h"

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
  EXPECT_TRUE(CreateFolder(ProgramFolder() + "\\Newmaps\\"));
  EXPECT_TRUE(s.Exists("Newmaps"));
  EXPECT_FALSE(CreateFolder(ProgramFolder() + "\\NEWMAPS\\")) << "exists already in another case";
  EXPECT_FALSE(s.Exists("NEWMAPS"));
  EXPECT_FALSE(CreateFolder(ProgramFolder() + "\\missing\\child"));
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
  for (const char* n : {"zz.txt", "_x", "Zy.txt", "[y", "Z.txt"}) s.Write(std::string("a/") + n, "");
  s.MakeDir("a/sub");
  std::vector<std::string> want = {".", "..", "sub", "Z.txt", "Zy.txt", "zz.txt", "[y", "_x"};
  EXPECT_EQ(ListFolder(ProgramFolder() + "\\A\\*.*"), want);
  EXPECT_TRUE(ListFolder(ProgramFolder() + "\\missing\\*.*").empty());
}

}  // namespace
