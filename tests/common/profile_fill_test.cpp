// The one-pass fill against the editor it stands in for, and the listed
// record folder against the general record writes.
#include "common/profile_fill.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/binary_record.h"
#include "common/profile.h"
#include "common/profile_document.h"
#include "common/profile_index.h"
#include "common/program_folder.h"
#include "common/record_folder.h"
#include "common/server_folder.h"
#include "tests/support/scratch_folder.h"

namespace common {
namespace {

size_t ScratchFolderEntries(const std::string& folder) {
  size_t n = 0;
  DIR* dir = opendir(folder.c_str());
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    n += name != "." && name != "..";
  }
  closedir(dir);
  return n;
}

KeyFill Inventory(int slots) {
  KeyFill fill;
  fill.sections = {"CHAR1", "CHAR2", "CHAR3"};
  for (int s = 1; s <= slots; ++s) {
    for (const char* stem : {"InvItemNum", "InvItemVal", "InvItemDur"}) {
      fill.keys.push_back(stem + std::to_string(s));
    }
  }
  fill.value = "0";
  return fill;
}

std::string ByEditor(const std::string& text, const KeyFill& fill) {
  ProfileDocument doc(text);
  for (const std::string& section : fill.sections) {
    for (const std::string& key : fill.keys) doc.Set(section, key, fill.value);
  }
  return doc.Serialize();
}

TEST(ProfileFill, GivesTheEditorsBytesForAccountsOfEveryShape) {
  const KeyFill fill = Inventory(2);
  const std::vector<std::string> texts = {
      // Every key there, some already 0 (with blanks after, kept as they are).
      "[CHAR1]\r\nInvItemNum1=5\r\nInvItemVal1=0  \r\nInvItemDur1=7\r\nInvItemNum2=1\r\n"
      "InvItemVal2=1\r\nInvItemDur2=1\r\n[CHAR2]\r\n[CHAR3]\r\nName=x\r\n",
      // Keys missing: they go after the last non-blank line, before blank ones.
      "[CHAR1]\nName=Bob\n\n\n[CHAR2]\nInvItemVal2=3\n[CHAR3]\nInvItemNum1=9",
      // Case, blanks around names, a later namesake section and key, NUL.
      "[ char1 ]\r\n invitemnum1 = 12 \r\nINVITEMNUM1=4\r\n[CHAR1]\r\nInvItemNum2=6\r\n"
      "[Char2]\r\nInvItemDur1=3" +
          std::string(1, '\0') + "junk\r\n[CHAR3]\r\n",
      // Lone CR endings, a comment and a key before any section.
      "InvItemNum1=5\r[CHAR1]\r;InvItemNum1=3\rInvItemNum1=\"5\"\r[CHAR2]\r[CHAR3]\r",
      // Already wiped: nothing changes.
      ByEditor("[CHAR1]\r\n[CHAR2]\r\n[CHAR3]\r\n", fill),
  };
  for (const std::string& text : texts) {
    const std::optional<std::string> filled = FillKeys(text, fill);
    ASSERT_TRUE(filled.has_value()) << text;
    EXPECT_EQ(*filled, ByEditor(text, fill)) << text;
  }
}

TEST(ProfileFill, LeavesToTheEditorWhatItDoesNotHandle) {
  const KeyFill fill = Inventory(1);
  EXPECT_FALSE(FillKeys("[CHAR1]\r\n[CHAR2]\r\n", fill));                            // no CHAR3
  EXPECT_FALSE(FillKeys("[CHAR1]\r\nInvItemNum1\r\n[CHAR2]\r\n[CHAR3]\r\n", fill));  // no "="
  EXPECT_FALSE(FillKeys("\xEF\xBB\xBF[CHAR1]\r\n[CHAR2]\r\n[CHAR3]\r\n", fill));
  EXPECT_FALSE(FillKeys("", fill));
  KeyFill odd = fill;
  odd.value = " 0";
  EXPECT_FALSE(FillKeys("[CHAR1]\r\n[CHAR2]\r\n[CHAR3]\r\n", odd));
  odd = fill;
  odd.keys.push_back("invitemnum1");  // named twice
  EXPECT_FALSE(FillKeys("[CHAR1]\r\n[CHAR2]\r\n[CHAR3]\r\n", odd));
}

TEST(ProfileFill, AnEditThatFillsWritesWhatSingleSetsWrite) {
  ScratchFolder server;
  const std::string text = "[CHAR1]\r\nInvItemNum1=5\r\n[CHAR2]\r\n[CHAR4]\r\nx=1\r\n";
  KeyFill fill = Inventory(1);
  server.Write("a.ini", text);
  server.Write("b.ini", text);
  const std::string folder = ProgramFolder() + "\\";
  ProfileEdit all(folder + "a.ini");
  all.SetAll(KeyFiller(fill));  // CHAR3 is missing: the editor appends it
  ASSERT_TRUE(all.Commit().ok());
  ProfileEdit one(folder + "b.ini");
  for (const std::string& s : fill.sections) {
    for (const std::string& k : fill.keys) one.Set(s, k, fill.value);
  }
  ASSERT_TRUE(one.Commit().ok());
  EXPECT_EQ(server.Read("a.ini"), server.Read("b.ini"));
  EXPECT_EQ(ReadIniKey(folder + "a.ini", "CHAR3", "InvItemDur1"), "0");
}

TEST(ProfileIndexSections, ReadsTheFirstSectionOfANameAndEveryLineEnding) {
  const ProfileIndex index("top=1\r[A]\rk=1\r\n[B]\nk=2\n[a]\nk=3\nj=4\r");
  EXPECT_EQ(index.Lookup("", "top"), "1");
  EXPECT_EQ(index.Lookup(" a ", "K"), "1");
  EXPECT_EQ(index.Lookup("A", "j"), "");  // only in the later namesake
  EXPECT_EQ(index.Lookup("B", "k"), "2");
  EXPECT_EQ(index.FindSection("C"), ProfileIndex::kNoSection);
  EXPECT_EQ(index.Lookup(ProfileIndex::kNoSection, "k"), "");
}

class RecordFolderTest : public ::testing::Test {
 protected:
  ScratchFolder server;
  std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }
};

TEST_F(RecordFolderTest, WritesAsTheGeneralWayDoesWhateverTheFolderHolds) {
  server.Write("Out/Item1.dat", "old record, longer");
  server.Write("Out/ITEM2.DAT", "x");
  server.Write("Out/item3.dat", "a");
  server.Write("Out/ITEM3.dat", "b");
  RecordFolder folder(ProgramFolder() + "\\Out\\");
  for (const char* name : {"Item1.dat", "Item2.dat", "Item3.dat", "Item4.dat"}) {
    EXPECT_TRUE(folder.Write(name, Bytes("new")).ok()) << name;
  }
  // A name made by this job, written again in another spelling, finds its
  // own file.
  EXPECT_TRUE(folder.Write("ITEM4.DAT", Bytes("newer")).ok());
  EXPECT_FALSE(server.Exists("Out/ITEM4.DAT"));
  EXPECT_EQ(server.Read("Out/Item1.dat"), "new record, longer");  // never shortened
  EXPECT_EQ(server.Read("Out/ITEM2.DAT"), "new");                 // its own spelling
  EXPECT_FALSE(server.Exists("Out/Item2.dat"));
  EXPECT_EQ(server.Read("Out/ITEM3.dat"), "new");  // first in byte order, as resolved
  EXPECT_EQ(server.Read("Out/item3.dat"), "a");
  EXPECT_EQ(server.Read("Out/Item4.dat"), "newer");

  std::vector<uint8_t> read;
  size_t delivered = 0;
  ASSERT_TRUE(folder.Read("item1.DAT", 20, &read, &delivered).ok());
  EXPECT_EQ(delivered, 18u);
  EXPECT_EQ(read, Bytes(std::string("new record, longer\0\0", 20)));
}

TEST_F(RecordFolderTest, RefusesWhatIsNoOrdinaryFileAndFilesThatAreReadOnly) {
  server.MakeDir("Out/Item1.dat");
  server.Write("Out/Item2.dat", "keep");
  chmod(server.At("Out/Item2.dat").c_str(), 0444);
  RecordFolder folder(ProgramFolder() + "\\Out\\");
  EXPECT_FALSE(folder.Write("Item1.dat", Bytes("new")).ok());
  EXPECT_FALSE(folder.Write("Item2.dat", Bytes("new")).ok());
  EXPECT_EQ(server.Read("Out/Item2.dat"), "keep");
}

TEST_F(RecordFolderTest, CreatesNewFilesWholeButNeverOverOneThatAppeared) {
  server.MakeDir("Shops");
  RecordFolder folder(ProgramFolder() + "\\Shops\\");
  ASSERT_TRUE(folder.IsNew("Shop1.dat"));
  bool notDone = true;
  EXPECT_TRUE(folder.CreateNew("Shop1.dat", "[SHOP1]\r\n", &notDone).ok());
  EXPECT_FALSE(notDone);
  EXPECT_EQ(server.Read("Shops/Shop1.dat"), "[SHOP1]\r\n");
  // Made by this job, in any spelling: a second time it is not replaced but
  // left to the editor.
  EXPECT_FALSE(folder.IsNew("SHOP1.DAT"));
  EXPECT_TRUE(folder.CreateNew("SHOP1.DAT", "again", &notDone).ok());
  EXPECT_TRUE(notDone);
  EXPECT_EQ(server.Read("Shops/Shop1.dat"), "[SHOP1]\r\n");
  EXPECT_FALSE(server.Exists("Shops/SHOP1.DAT"));

  server.Write("Shops/Shop2.dat", "theirs");  // made after the listing
  ASSERT_TRUE(folder.IsNew("Shop2.dat"));
  EXPECT_TRUE(folder.CreateNew("Shop2.dat", "ours", &notDone).ok());
  EXPECT_TRUE(notDone);
  EXPECT_EQ(server.Read("Shops/Shop2.dat"), "theirs");
  EXPECT_EQ(ScratchFolderEntries(server.At("Shops")), 2u);  // no temporary file left
}

TEST_F(RecordFolderTest, KeepsWhyTheFolderCouldNotBeReached) {
  server.MakeDir("Items");
  server.Write("Shops", "a plain file");
  const ServerFolder serverFolder(server.path());
  EXPECT_TRUE(RecordFolder(serverFolder, "\\Items\\").status().ok());
  RecordFolder shops(serverFolder, "\\Shops\\");
  ASSERT_FALSE(shops.folder().valid());
  Folder again;
  const Status why = serverFolder.OpenFolder("\\Shops\\", &again);
  ASSERT_FALSE(why.ok());
  EXPECT_EQ(shops.status().message(), why.message());
  EXPECT_EQ(shops.status().code(), why.code());
}

TEST_F(RecordFolderTest, SaysWhatIsMissingByTheCaseRuleCountingLinks) {
  server.Write("Maps/map1.dat", "a");
  server.Write("Maps/MAP2.DAT", "b");
  server.Write("Maps/map3.dat", "c");
  server.Write("Maps/MAP3.dat", "d");
  ASSERT_EQ(symlink("/nowhere", server.At("Maps/map4.dat").c_str()), 0);
  const ServerFolder serverFolder(server.path());
  RecordFolder maps(serverFolder, "\\maps\\");
  EXPECT_FALSE(maps.IsMissing("map1.dat"));
  EXPECT_FALSE(maps.IsMissing("map2.dat"));  // in another case
  EXPECT_FALSE(maps.IsMissing("map4.dat"));  // a link, even one to nothing
  EXPECT_TRUE(maps.IsMissing("map5.dat"));
  // Several spellings are asked of the folder as it is now.
  EXPECT_FALSE(maps.IsMissing("Map3.dat"));
  ASSERT_EQ(unlink(server.At("Maps/map3.dat").c_str()), 0);
  ASSERT_EQ(unlink(server.At("Maps/MAP3.dat").c_str()), 0);
  EXPECT_TRUE(maps.IsMissing("Map3.dat"));
  // A folder that cannot be reached says nothing is missing.
  EXPECT_FALSE(RecordFolder(serverFolder, "\\NoMaps\\").IsMissing("map5.dat"));
}

}  // namespace
}  // namespace common
