// Binary record files: field encoding, writing without shortening, reading
// short files, and refusing what is not an ordinary writable file.
#include "common/binary_record.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/program_folder.h"
#include "tests/support/scratch_folder.h"

namespace common {

namespace {

std::string Str(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

TEST(RecordWriter, EncodesLittleEndianAndPadsText) {
  RecordWriter w;
  w.Byte(200);
  w.Integer(-1);
  w.Integer(32767);
  w.Long(-2);
  w.FixedText("Dagger", 8);
  w.FixedText("A much longer name", 4);
  w.VarText("hi");
  EXPECT_EQ(Str(w.bytes()), std::string("\xC8\xFF\xFF\xFF\x7F\xFE\xFF\xFF\xFF"
                                        "Dagger  A mu\x02\x00hi",
                                        25));
}

TEST(RecordReader, ReadsSignedValuesAndZerosPastTheEnd) {
  const uint8_t data[] = {0xFF, 0xFF, 0xC8, 0x01, 0x00, 0x00, 0x80};
  RecordReader r(data, sizeof data);
  EXPECT_EQ(r.Integer(), -1);
  EXPECT_EQ(r.Byte(), 200);
  EXPECT_EQ(r.Long(), static_cast<int32_t>(0x80000001));
  EXPECT_EQ(r.Integer(), 0);
  EXPECT_EQ(r.position(), 9u);
}

TEST(WriteRecordFile, CreatesTheFileAndKeepsALongerFilesTail) {
  ScratchFolder s;
  s.MakeDir("Items");
  WriteRecordFile(ProgramFolder() + "\\ITEMS\\Item1.dat", {1, 2, 3});
  EXPECT_EQ(s.Read("Items/Item1.dat"), std::string("\x01\x02\x03"));
  s.Write("Items/Item2.dat", "abcdefgh");
  WriteRecordFile(ProgramFolder() + "\\Items\\item2.DAT", {'X', 'Y'});
  EXPECT_EQ(s.Read("Items/Item2.dat"), "XYcdefgh");
  EXPECT_FALSE(s.Exists("Items/item2.DAT"));
}

TEST(WriteRecordFile, FailsWithoutChangingAnything) {
  ScratchFolder s;
  EXPECT_THROW(WriteRecordFile(ProgramFolder() + "\\Missing\\Item1.dat", {1}), RecordFileError);
  EXPECT_FALSE(s.Exists("Missing"));

  s.Write("Items/Item1.dat", "old");
  chmod(s.At("Items/Item1.dat").c_str(), 0444);
  EXPECT_THROW(WriteRecordFile(ProgramFolder() + "\\Items\\Item1.dat", {'n', 'e', 'w'}),
               RecordFileError);
  EXPECT_EQ(s.Read("Items/Item1.dat"), "old");

  s.MakeDir("Items/Item2.dat");
  EXPECT_THROW(WriteRecordFile(ProgramFolder() + "\\Items\\Item2.dat", {1}), RecordFileError);

  ASSERT_EQ(mkfifo(s.At("Items/Item3.dat").c_str(), 0600), 0);
  EXPECT_THROW(WriteRecordFile(ProgramFolder() + "\\Items\\Item3.dat", {1}), RecordFileError)
      << "a FIFO must neither block nor be written";
}

TEST(ReadRecordFile, CreatesAMissingFileAndZeroFillsAShortOne) {
  ScratchFolder s;
  s.MakeDir("maps");
  std::vector<uint8_t> buf;
  EXPECT_EQ(ReadRecordFile(ProgramFolder() + "\\maps\\map2.dat", 4, buf), 0u);
  EXPECT_EQ(buf, std::vector<uint8_t>(4, 0));
  EXPECT_TRUE(s.Exists("maps/map2.dat"));
  EXPECT_EQ(s.Read("maps/map2.dat"), "");

  s.Write("maps/map1.dat", "ab");
  EXPECT_EQ(ReadRecordFile(ProgramFolder() + "\\MAPS\\MAP1.dat", 4, buf), 2u);
  EXPECT_EQ(buf, (std::vector<uint8_t>{'a', 'b', 0, 0}));

  s.MakeDir("maps/map3.dat");
  EXPECT_THROW(ReadRecordFile(ProgramFolder() + "\\maps\\map3.dat", 4, buf), RecordFileError);
}

}  // namespace

}  // namespace common
