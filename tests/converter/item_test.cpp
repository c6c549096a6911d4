// Item conversion: section ITEM<N> of items.ini to the 92-byte Items\Item<N>.dat.
#include <gtest/gtest.h>

#include <string>

#include "common/profile.h"
#include "common/status.h"
#include "converter/converter_state.h"
#include "converter/item_record.h"
#include "tests/support/scratch_folder.h"

namespace vostrel {
namespace {

class ItemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.MakeDir("Items");
    state.ItemTable.assign(21, ItemRec{});
  }

  // Writes items.ini with one section ITEM<n> holding `keys` ("Key=value" lines).
  void Section(int n, const std::string& keys) {
    ini += "[ITEM" + std::to_string(n) + "]\r\n" + keys;
  }
  void WriteIni() { server.Write("items.ini", ini); }

  std::string Converted(int n) {
    const common::Status s = ConvertItem(state, n);
    EXPECT_TRUE(s.ok()) << s.ToString();
    return server.Read("Items/Item" + std::to_string(n) + ".dat");
  }

  static std::string Bytes(const std::string& s, size_t offset, size_t width) {
    return s.substr(offset, width);
  }

  ScratchFolder server;
  ConverterState state;
  std::string ini;
};

TEST_F(ItemTest, FieldsLandAtTheirOffsets) {
  Section(7,
          "Name=Dagger\r\nPic=32767\r\nType=3\r\nData1=-2\r\nData2=70000\r\nData3=-1\r\n"
          "ClassReq=3\r\nGuildReq=Blades\r\nLevelReq=9\r\n");
  WriteIni();
  const std::string f = Converted(7);
  ASSERT_EQ(f.size(), 92u);
  EXPECT_EQ(Bytes(f, 0, 20), "Dagger              ");
  EXPECT_EQ(Bytes(f, 20, 2), std::string("\xFF\x7F", 2));
  EXPECT_EQ(Bytes(f, 22, 1), std::string("\x03", 1));
  EXPECT_EQ(Bytes(f, 23, 4), std::string("\xFE\xFF\xFF\xFF", 4));
  EXPECT_EQ(Bytes(f, 27, 4), std::string("\x70\x11\x01\x00", 4));
  EXPECT_EQ(Bytes(f, 31, 4), std::string("\xFF\xFF\xFF\xFF", 4));
  EXPECT_EQ(Bytes(f, 35, 20), "Blades              ");
  // LevelReq stands before ClassReq on disk although it is read after it.
  EXPECT_EQ(Bytes(f, 55, 4), std::string("\x09\x00\x00\x00", 4));
  EXPECT_EQ(Bytes(f, 59, 1), std::string("\x03", 1));
  EXPECT_EQ(Bytes(f, 60, 32), std::string(32, '\0'));

  const ItemRec& rec = state.ItemTable[7];
  EXPECT_EQ(rec.Pic, 32767);
  EXPECT_EQ(rec.Data2, 70000);
  EXPECT_EQ(rec.ClassReq, 3);
  EXPECT_EQ(rec.LevelReq, 9);
}

TEST_F(ItemTest, TextsAreCutOrPaddedToTwenty) {
  Section(1, "Name=ABCDEFGHIJKLMNOPQRSTUVWXY\r\nGuildReq=Inner  Space\r\n");
  WriteIni();
  const std::string f = Converted(1);
  EXPECT_EQ(Bytes(f, 0, 20), "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(Bytes(f, 35, 20), "Inner  Space        ");
}

TEST_F(ItemTest, HighBytesInNamesPassUnchanged) {
  Section(1, "Name=\xC9p\xE9\x65 \xBD\r\n");
  WriteIni();
  EXPECT_EQ(Bytes(Converted(1), 0, 20), std::string("\xC9p\xE9\x65 \xBD") + std::string(14, ' '));
}

TEST_F(ItemTest, NumbersRoundHalfToEvenAndIgnoreTrailingText) {
  Section(1, "Type=2.5\r\nPic=-1\r\nLevelReq=12abc\r\nData3=abc\r\nClassReq=255\r\n");
  Section(2, "Type=3.5\r\nData1=&H10\r\nData2= 1 0\r\n");
  WriteIni();
  const std::string f1 = Converted(1);
  EXPECT_EQ(static_cast<uint8_t>(f1[22]), 2);
  EXPECT_EQ(Bytes(f1, 20, 2), std::string("\xFF\xFF", 2));
  EXPECT_EQ(Bytes(f1, 55, 4), std::string("\x0C\x00\x00\x00", 4));
  EXPECT_EQ(Bytes(f1, 31, 4), std::string(4, '\0'));
  EXPECT_EQ(static_cast<uint8_t>(f1[59]), 255);

  const std::string f2 = Converted(2);
  EXPECT_EQ(static_cast<uint8_t>(f2[22]), 4);
  EXPECT_EQ(Bytes(f2, 23, 4), std::string("\x10\x00\x00\x00", 4));
  EXPECT_EQ(Bytes(f2, 27, 4), std::string("\x0A\x00\x00\x00", 4));
}

TEST_F(ItemTest, MissingSectionGivesSpacesAndZeros) {
  WriteIni();  // an empty items.ini
  const std::string f = Converted(10);
  EXPECT_TRUE(server.Exists("Items/Item10.dat"));
  EXPECT_EQ(f, std::string(20, ' ') + std::string(15, '\0') + std::string(20, ' ') +
                   std::string(37, '\0'));
}

TEST_F(ItemTest, OverflowWritesNothingAndKeepsEarlierFields) {
  struct Case {
    const char* keys;
    const char* field;
  };
  const Case cases[] = {
      {"Name=Axe\r\nPic=4\r\nType=256\r\nData1=5\r\n", "Type"},
      {"Name=Axe\r\nPic=4\r\nType=255.5\r\nData1=5\r\n", "Type"},
      {"Name=Axe\r\nPic=4\r\nType=-1\r\nData1=5\r\n", "Type"},
      {"Name=Axe\r\nPic=32768\r\nType=1\r\n", "Pic"},
      {"Name=Axe\r\nPic=4\r\nType=1\r\nClassReq=300\r\nLevelReq=3\r\n", "ClassReq"},
      {"Name=Axe\r\nPic=4\r\nData3=2147483648\r\n", "Data3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    ini.clear();
    Section(5, c.keys);
    WriteIni();
    common::ForgetProfileCache();
    state.ItemTable.assign(6, ItemRec{});
    const common::Status s = ConvertItem(state, 5);
    EXPECT_EQ(s.code(), common::Status::Code::kOutOfRange) << s.ToString();
    // The message names the failing field first.
    EXPECT_EQ(s.message().rfind("\"" + std::string(c.field) + "\"", 0), 0u) << s.ToString();
    EXPECT_FALSE(server.Exists("Items/Item5.dat"));
    EXPECT_EQ(state.ItemTable[5].Name, "Axe" + std::string(17, ' '));
    EXPECT_EQ(state.ItemTable[5].LevelReq, 0);  // read after every failing field
  }
}

TEST_F(ItemTest, OverflowLeavesAnOldFileAsItWas) {
  const std::string old = "old bytes of item five";
  server.Write("Items/Item5.dat", old);
  Section(5, "Name=New\r\nType=256\r\n");
  WriteIni();
  EXPECT_EQ(ConvertItem(state, 5).code(), common::Status::Code::kOutOfRange);
  EXPECT_EQ(server.Read("Items/Item5.dat"), old);
}

TEST_F(ItemTest, LongerOldFileKeepsItsTail) {
  const std::string tail = "TAIL-BYTES";
  server.Write("Items/Item3.dat", std::string(92, 'x') + tail);
  Section(3, "Name=Bow\r\n");
  WriteIni();
  const std::string f = Converted(3);
  ASSERT_EQ(f.size(), 92u + tail.size());
  EXPECT_EQ(Bytes(f, 0, 20), "Bow" + std::string(17, ' '));
  EXPECT_EQ(Bytes(f, 60, 32), std::string(32, '\0'));
  EXPECT_EQ(f.substr(92), tail);
}

TEST_F(ItemTest, FailuresBeforeWritingLeaveNoFile) {
  WriteIni();
  EXPECT_EQ(ConvertItem(state, 21).code(), common::Status::Code::kOutOfRange);
  // Element 0 is not a record.
  EXPECT_EQ(ConvertItem(state, 0).code(), common::Status::Code::kOutOfRange);
  EXPECT_FALSE(server.Exists("Items/Item21.dat"));

  ScratchFolder bare;  // no Items folder
  bare.Write("items.ini", "[ITEM1]\r\nName=A\r\n");
  const common::Status s = ConvertItem(state, 1);
  EXPECT_TRUE(s.IsNotFound()) << s.ToString();
  EXPECT_NE(s.message().find("Item1.dat"), std::string::npos) << s.ToString();
  EXPECT_FALSE(bare.Exists("Items"));
}

}  // namespace
}  // namespace vostrel
