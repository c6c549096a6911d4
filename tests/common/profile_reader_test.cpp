// A record's keys come from one snapshot of its source file.
#include <gtest/gtest.h>

#include "common/host_path.h"
#include "common/profile.h"
#include "common/program_folder.h"
#include "tests/support/scratch_folder.h"

namespace common {

namespace {

TEST(ProfileReader, AnswersFromTheSnapshotItWasMadeWith) {
  ScratchFolder s;
  s.Write("items.ini", "[ITEM1]\r\nName=Old\r\nType=1\r\n");
  const ProfileReader before(ProgramFolder() + "\\items.ini");
  EXPECT_TRUE(before.status().ok()) << before.status().ToString();
  s.Write("items.ini", "[ITEM1]\r\nName=New name\r\n");  // another size: a new version
  EXPECT_EQ(before.Get("ITEM1", "Name"), "Old");
  EXPECT_EQ(before.Get("item1", "TYPE"), "1");
  const ProfileReader after(ProgramFolder() + "\\items.ini");
  EXPECT_EQ(after.Get("ITEM1", "Name"), "New name");
  EXPECT_EQ(after.Get("ITEM1", "Type"), "");
}

TEST(ProfileReader, ResolvesTheFileWithoutRegardToCase) {
  ScratchFolder s;
  s.Write("Data/Spells.INI", "[SPELL1]\nName=Heal\n");
  EXPECT_EQ(ProfileReader(ProgramFolder() + "\\\\data\\spells.ini").Get("SPELL1", "Name"), "Heal");
}

TEST(ProfileReader, AnythingButAnOrdinaryFileReadsAsEmpty) {
  ScratchFolder s;
  const ProfileReader missing(ProgramFolder() + "\\missing.ini");
  EXPECT_EQ(missing.Get("A", "b"), "");
  EXPECT_TRUE(missing.status().IsNotFound()) << missing.status().ToString();
  s.MakeDir("folder.ini");
  const ProfileReader folder(ProgramFolder() + "\\folder.ini");
  EXPECT_EQ(folder.Get("A", "b"), "");
  EXPECT_FALSE(folder.status().ok());
  EXPECT_FALSE(folder.status().IsNotFound()) << "it is there, but no ordinary file";
  EXPECT_NE(folder.status().message().find("folder.ini"), std::string::npos)
      << folder.status().ToString();
}

TEST(SpelledPath, TurnsSeparatorsAndDropsDoubledOnesWithoutLookingAnythingUp) {
  ScratchFolder s;
  s.Write("Items/Item1.dat", "x");
  EXPECT_EQ(SpelledPath(ProgramFolder() + "\\\\ITEMS\\Item1.dat"), s.At("ITEMS/Item1.dat"));
  // Where the spelling exists, resolving gives the same path.
  const std::string exact = ProgramFolder() + "\\Items\\\\Item1.dat";
  EXPECT_EQ(SpelledPath(exact), s.At("Items/Item1.dat"));
  EXPECT_EQ(ResolvePath(exact), SpelledPath(exact));
}

}  // namespace

}  // namespace common
