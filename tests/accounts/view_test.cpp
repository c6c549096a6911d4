#include <gtest/gtest.h>

#include <string>

#include "accounts/character_view.h"
#include "tests/accounts/account_files.h"
#include "tests/support/le_bytes.h"
#include "tests/support/scratch_folder.h"

namespace calmet {
namespace {

using calmet_test::ItemFile;
using calmet_test::Section;

class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s.Write("Items/Item5.dat", ItemFile("5", "Sword", "1"));
    s.Write("Items/Item7.dat", ItemFile("7", "Gold", "12"));
    s.Write("Items/Item17.dat", ItemFile("17", "Shield", "2"));
  }

  AccountView Show(const std::string& accountText) {
    s.Write("Accounts/test.ini", accountText);
    AccountView v = ShowAccount(server, "test.ini");
    EXPECT_TRUE(v.status.ok()) << v.status.ToString();
    return v;
  }

  ScratchFolder s;
  const common::ServerFolder server{s.path()};
};

TEST_F(ViewTest, CaptionsJoinNameAccessWordAndLevel) {
  AccountView v = Show(Section("CHAR1", {{"Name", "Bob"}, {"Access", "3"}, {"Level", "12"}}) +
                       Section("CHAR2", {{"Name", "Ann"}, {"Access", "1"}}) +
                       Section("CHAR3", {{"Name", "Cy"}, {"Access", "4"}, {"Level", "99"}}));
  EXPECT_EQ(v.characters[0].caption, "Bob - Developer - 12");
  EXPECT_EQ(v.characters[1].caption, "Ann - Moderator - ");
  EXPECT_EQ(v.characters[2].caption, "Cy - Owner - 99");
  // Rounded half to even, inside quotes and spaces: 2.5 is a mapper, 0.4 a player.
  v = Show(Section("CHAR1", {{"Name", "X"}, {"Access", "\" +2.5 \""}, {"Level", "1"}}) +
           Section("CHAR2", {{"Name", "Y"}, {"Access", "0.4"}, {"Level", "2"}}));
  EXPECT_EQ(v.characters[0].caption, "X - Mapper - 1");
  EXPECT_EQ(v.characters[1].caption, "Y - Player - 2");
}

TEST_F(ViewTest, NoAccessWordNeverBorrowsAnotherCaption) {
  // Position 1 has no "Access", position 2 one without a word, position 3
  // one that does not convert; position 1 of the previous character had 4.
  AccountView v = Show(Section("CHAR1", {{"Name", "Ann"}, {"Level", "3"}}) +
                       Section("CHAR2", {{"Name", "Bob"}, {"Access", "9"}, {"Level", "12"}}) +
                       Section("CHAR3", {{"Name", "Cy"}, {"Access", "lots"}, {"Level", "7"}}));
  EXPECT_EQ(v.characters[0].caption, "Ann - 3");
  EXPECT_EQ(v.characters[1].caption, "Bob - 12");
  EXPECT_EQ(v.characters[2].caption, "Cy - 7");

  // A word on position 1 is not carried to a position 2 without "Access".
  v = Show(Section("CHAR1", {{"Name", "Ann"}, {"Access", "4"}, {"Level", "3"}}) +
           Section("CHAR2", {{"Name", "Bob"}, {"Level", "12"}}) +
           Section("CHAR3", {{"Name", "Cy"}, {"Access", "256"}, {"Level", "1"}}));
  EXPECT_EQ(v.characters[0].caption, "Ann - Owner - 3");
  EXPECT_EQ(v.characters[1].caption, "Bob - 12");
  EXPECT_EQ(v.characters[2].caption, "Cy - 1");
}

TEST_F(ViewTest, UnnamedPositionShowsDefaultCaptionButItsStats) {
  AccountView v = Show(Section("CHAR2", {{"STR", "10"},
                                         {"DEF", " 4x"},
                                         {"SPEED", ""},
                                         {"MAGI", "-3"},
                                         {"Access", "2"},
                                         {"Level", "5"}}));
  EXPECT_EQ(v.characters[0].caption, "Character One");
  EXPECT_EQ(v.characters[1].caption, "Character Two");
  EXPECT_EQ(v.characters[2].caption, "Character Three");
  EXPECT_EQ(v.characters[1].str, "10");
  EXPECT_EQ(v.characters[1].def, "4x");  // as the profile reader delivers it
  EXPECT_EQ(v.characters[1].spd, "");
  EXPECT_EQ(v.characters[1].magi, "-3");
}

TEST_F(ViewTest, MissingAccountFileShowsDefaultsAndFreeSlots) {
  const AccountView v = ShowAccount(server, "nobody.ini");
  EXPECT_TRUE(v.status.ok()) << v.status.ToString();
  for (int c = 0; c < 3; ++c) {
    const CharacterView& ch = v.characters[c];
    EXPECT_EQ(ch.caption, DefaultCaption(c + 1));
    EXPECT_EQ(ch.str + ch.def + ch.spd + ch.magi, "");
    ASSERT_EQ(ch.inventory.size(), 100u);
    EXPECT_EQ(ch.inventory[0], "1: <free item slot>");
    EXPECT_EQ(ch.inventory[6], "7: <free item slot>");
    EXPECT_EQ(ch.inventory[99], "100: <free item slot>");
  }
}

TEST_F(ViewTest, InventoryLinesNameItemsAndBracketType12Values) {
  AccountView v = Show(Section("CHAR1", {{"InvItemNum1", "5"},
                                         {"InvItemVal1", "40"},
                                         {"InvItemNum3", "7"},
                                         {"InvItemVal3", "500"},
                                         {"InvItemNum100", "17"}}) +
                       Section("CHAR3", {{"InvItemNum1", "7"}}));
  const auto& inv = v.characters[0].inventory;
  ASSERT_EQ(inv.size(), 100u);
  EXPECT_EQ(inv[0], "1: Sword");  // not type 12: no brackets though a value is set
  EXPECT_EQ(inv[1], "2: <free item slot>");
  EXPECT_EQ(inv[2], "3: Gold (500)");
  EXPECT_EQ(inv[99], "100: Shield");
  // Type 12 with no stored value: empty brackets.
  EXPECT_EQ(v.characters[2].inventory[0], "1: Gold ()");
  EXPECT_EQ(v.characters[1].inventory.size(), 100u);
}

TEST_F(ViewTest, UnreadableItemNumberIsAFreeSlotNotThePreviousItem) {
  AccountView v = Show(Section("CHAR1", {{"InvItemNum4", "17"},
                                         {"InvItemNum6", "17"},
                                         {"InvItemNum7", ""},
                                         {"InvItemNum8", "17"},
                                         {"InvItemNum9", "seven"},
                                         {"InvItemNum10", "17"},
                                         {"InvItemNum11", "2147483648"}}) +
                       Section("CHAR2", {}));
  const auto& inv = v.characters[0].inventory;
  EXPECT_EQ(inv[3], "4: Shield");
  EXPECT_EQ(inv[4], "5: <free item slot>");    // key missing
  EXPECT_EQ(inv[6], "7: <free item slot>");    // empty value
  EXPECT_EQ(inv[8], "9: <free item slot>");    // not a number
  EXPECT_EQ(inv[10], "11: <free item slot>");  // out of range
  // Slot 100 of character 1 does not leak into slot 1 of character 2.
  v = Show(Section("CHAR1", {{"InvItemNum100", "17"}}));
  EXPECT_EQ(v.characters[0].inventory[99], "100: Shield");
  EXPECT_EQ(v.characters[1].inventory[0], "1: <free item slot>");
}

TEST_F(ViewTest, ItemNumberConversionRoundsHalfToEven) {
  s.Write("Items/Item18.dat", ItemFile("18", "Helm", "3"));
  s.Write("Items/Item-3.dat", ItemFile("-3", "Cursed", "12"));
  AccountView v = Show(Section("CHAR1", {{"InvItemNum1", "17.5"},
                                         {"InvItemNum2", "18.5"},
                                         {"InvItemNum3", "\" -3 \""},
                                         {"InvItemVal3", "9"},
                                         {"InvItemNum4", "0.4"},
                                         {"InvItemNum5", "&H11"},
                                         {"InvItemNum6", "1e1"}}));
  const auto& inv = v.characters[0].inventory;
  EXPECT_EQ(inv[0], "1: Helm");
  EXPECT_EQ(inv[1], "2: Helm");
  EXPECT_EQ(inv[2], "3: Cursed (9)");
  EXPECT_EQ(inv[3], "4: <free item slot>");
  EXPECT_EQ(inv[4], "5: <free item slot>");
  EXPECT_EQ(inv[5], "6: <free item slot>");
}

TEST_F(ViewTest, NegativeItemNumberLooksUpItsOwnFileAndSection) {
  s.Write("Items/Item-3.dat", ItemFile("-3", "Cursed Ring", "1"));
  AccountView v = Show(Section("CHAR1", {{"InvItemNum1", "-3"}}));
  EXPECT_EQ(v.characters[0].inventory[0], "1: Cursed Ring");
}

TEST_F(ViewTest, UnreadableItemTypeDoesNotCarryBrackets) {
  s.Write("Items/Item8.dat", ItemFile("8", "Odd", "twelve"));
  s.Write("Items/Item9.dat", ItemFile("9", "Huge", "300"));
  s.Write("Items/Item10.dat", Section("ITEM10", {{"Name", "Untyped"}}));
  s.Write("Items/Item11.dat", Section("ITEM99", {{"Name", "Elsewhere"}, {"Type", "12"}}));
  AccountView v = Show(Section("CHAR1", {{"InvItemNum1", "7"},
                                         {"InvItemVal1", "1"},
                                         {"InvItemNum2", "42"},
                                         {"InvItemVal2", "2"},
                                         {"InvItemNum3", "7"},
                                         {"InvItemNum4", "8"},
                                         {"InvItemVal4", "4"},
                                         {"InvItemNum5", "7"},
                                         {"InvItemNum6", "9"},
                                         {"InvItemVal6", "6"},
                                         {"InvItemNum7", "7"},
                                         {"InvItemNum8", "10"},
                                         {"InvItemVal8", "8"},
                                         {"InvItemNum9", "7"},
                                         {"InvItemNum10", "11"},
                                         {"InvItemVal10", "10"}}));
  const auto& inv = v.characters[0].inventory;
  EXPECT_EQ(inv[0], "1: Gold (1)");
  EXPECT_EQ(inv[1], "2: ");  // no item file
  EXPECT_EQ(inv[3], "4: Odd");
  EXPECT_EQ(inv[5], "6: Huge");
  EXPECT_EQ(inv[7], "8: Untyped");
  EXPECT_EQ(inv[9], "10: ");  // file without its section
}

TEST_F(ViewTest, BinaryItemFilesShowEmptyNames) {
  std::string record(64, '\0');
  record.replace(0, 12, "\x05\x00Sword   \x0c\x00", 12);
  s.Write("Items/Item20.dat", record);
  AccountView v = Show(Section("CHAR1", {{"InvItemNum1", "20"}, {"InvItemVal1", "3"}}));
  EXPECT_EQ(v.characters[0].inventory[0], "1: ");
}

// An item record as the converter lays it out: Name (20, space-padded), Pic,
// Type, Data1..3, GuildReq (20), LevelReq, ClassReq, 32 reserved bytes.
std::string ItemRecord(const std::string& name, int type) {
  std::string r = name + std::string(20 - name.size(), ' ');
  r += Le16(31) + std::string(1, static_cast<char>(type)) + Le32(1) + Le32(2) + Le32(3);
  r += std::string(20, ' ') + Le32(5) + std::string(1, '\x02') + std::string(32, '\0');
  return r;
}

TEST_F(ViewTest, ConvertedItemRecordsShowTheirNameAndBracketType12) {
  ASSERT_EQ(ItemRecord("Gold Coin", 12).size(), 92u);
  s.Write("Items/Item20.dat", ItemRecord("Gold Coin", 12));
  s.Write("Items/Item21.dat", ItemRecord("Axe", 3));
  // Padded with NULs instead, and a name that fills its field.
  std::string nulPadded = ItemRecord("Bow", 1);
  nulPadded.replace(3, 17, std::string(17, '\0'));
  s.Write("Items/Item22.dat", nulPadded);
  s.Write("Items/Item23.dat", ItemRecord("Twenty Letters Long!", 12));
  // One byte short: not a record, and no section either.
  s.Write("Items/Item24.dat", ItemRecord("Short", 12).substr(0, 91));
  // A profile file of exactly that size still reads as a profile file.
  std::string profile = ItemFile("25", "Staff", "12");
  profile += "Note=" + std::string(92 - profile.size() - 7, 'x') + "\r\n";
  ASSERT_EQ(profile.size(), 92u);
  s.Write("Items/Item25.dat", profile);
  // Written over a longer old file: the record, then the old file's tail.
  s.Write("Items/Item26.dat", ItemRecord("Long Sword", 12) + "Data3=0\r\nClassReq=0\r\n");
  // A long text file without the item's section is not taken for a record.
  s.Write("Items/Item27.dat", "[ITEM99]\r\nName=" + std::string(120, 'x') + "\r\n");
  AccountView v = Show(Section("CHAR1", {{"InvItemNum1", "20"},
                                         {"InvItemVal1", "250"},
                                         {"InvItemNum2", "21"},
                                         {"InvItemVal2", "4"},
                                         {"InvItemNum3", "22"},
                                         {"InvItemNum4", "23"},
                                         {"InvItemVal4", "9"},
                                         {"InvItemNum5", "24"},
                                         {"InvItemNum6", "25"},
                                         {"InvItemVal6", "1"},
                                         {"InvItemNum7", "26"},
                                         {"InvItemVal7", "5"},
                                         {"InvItemNum8", "27"}}));
  const std::vector<std::string>& inv = v.characters[0].inventory;
  EXPECT_EQ(inv[0], "1: Gold Coin (250)");
  EXPECT_EQ(inv[1], "2: Axe");
  EXPECT_EQ(inv[2], "3: Bow");
  EXPECT_EQ(inv[3], "4: Twenty Letters Long! (9)");
  EXPECT_EQ(inv[4], "5: ");
  EXPECT_EQ(inv[5], "6: Staff (1)");
  EXPECT_EQ(inv[6], "7: Long Sword (5)");
  EXPECT_EQ(inv[7], "8: ");
  EXPECT_EQ(v.characters[0].slotValues[0].name, "Gold Coin");
}

TEST(ViewWithoutItemsTest, EmptyOrMissingItemsFolderLeavesListsEmpty) {
  for (bool subfolderOnly : {false, true}) {
    ScratchFolder s;
    if (subfolderOnly) s.MakeDir("Items/old");
    s.Write(
        "Accounts/a.ini",
        Section("CHAR1", {{"Name", "Bob"}, {"Access", "0"}, {"Level", "2"}, {"InvItemNum1", "5"}}));
    const AccountView v = ShowAccount(common::ServerFolder(s.path()), "a.ini");
    EXPECT_EQ(v.characters[0].caption, "Bob - Player - 2");
    for (const CharacterView& ch : v.characters) EXPECT_TRUE(ch.inventory.empty());
  }
}

// The view reads the server folder it is given, whatever the program
// folder is; one reader serves many accounts, each its own file.
TEST(ViewOfAServerFolderTest, ReadsThatFolderOnly) {
  ScratchFolder given;
  given.Write("Accounts/a.ini", Section("CHAR1", {{"Name", "Given"}, {"InvItemNum1", "5"}}));
  given.Write("Accounts/b.ini", Section("CHAR1", {{"Name", "Other"}}));
  given.Write("Items/Item5.dat", ItemFile("5", "Sword", "1"));
  ScratchFolder program;  // the program folder from here
  program.Write("Accounts/a.ini", Section("CHAR1", {{"Name", "Program"}}));
  const AccountReader reader{common::ServerFolder(given.path())};
  const AccountView a = reader.Show("a.ini");
  EXPECT_EQ(a.characters[0].name, "Given");
  EXPECT_EQ(a.characters[0].inventory[0], "1: Sword");
  EXPECT_EQ(reader.Show("b.ini").characters[0].name, "Other");
  // Characters only: no item file read, no inventory.
  EXPECT_TRUE(reader.Show("a.ini", ViewDepth::kCharactersOnly).characters[0].inventory.empty());
}

TEST(ConversionTest, StrictDecimalNumbers) {
  EXPECT_EQ(ConvertByte("0"), 0);
  EXPECT_EQ(ConvertByte("255"), 255);
  EXPECT_EQ(ConvertByte("255.4"), 255);
  EXPECT_EQ(ConvertByte("-0.4"), 0);
  EXPECT_EQ(ConvertByte("  12  "), 12);
  EXPECT_EQ(ConvertByte("2.5"), 2);
  EXPECT_EQ(ConvertByte(".5"), 0);
  EXPECT_EQ(ConvertByte("1.5"), 2);
  for (const char* bad :
       {"", " ", "256", "255.5", "-1", "1 2", "+", ".", "12a", "&HFF", "1e2", "--1"}) {
    EXPECT_FALSE(ConvertByte(bad)) << bad;
  }
  EXPECT_EQ(ConvertLong("2147483647"), 2147483647);
  EXPECT_EQ(ConvertLong("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(ConvertLong("-2.5"), -2);
  EXPECT_FALSE(ConvertLong("2147483647.5"));
  EXPECT_FALSE(ConvertLong("-2147483649"));
  EXPECT_FALSE(ConvertLong("99999999999999999999"));
}

}  // namespace
}  // namespace calmet
