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
  ASSERT_TRUE(w.VarText("hi").ok());
  EXPECT_EQ(Str(w.bytes()), std::string("\xC8\xFF\xFF\xFF\x7F\xFE\xFF\xFF\xFF"
                                        "Dagger  A mu\x02\x00hi",
                                        25));
}

TEST(RecordWriter, RefusesAVariableTextTooLongToCount) {
  RecordWriter w;
  w.Byte(7);
  ASSERT_TRUE(w.VarText(std::string(0xFFFF, 'a')).ok()) << "the longest text that can be counted";
  EXPECT_EQ(w.bytes().size(), 1u + 2u + 0xFFFFu);
  EXPECT_EQ(w.bytes()[1], 0xFF);
  EXPECT_EQ(w.bytes()[2], 0xFF);

  const Status s = w.VarText(std::string(0x10000, 'b'));
  EXPECT_EQ(s.code(), Status::Code::kOutOfRange);
  EXPECT_NE(s.message().find("65536"), std::string::npos) << s.ToString();
  EXPECT_EQ(w.bytes().size(), 1u + 2u + 0xFFFFu) << "nothing is appended";
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
  ASSERT_TRUE(WriteRecordFile(ProgramFolder() + "\\ITEMS\\Item1.dat", {1, 2, 3}).ok());
  EXPECT_EQ(s.Read("Items/Item1.dat"), std::string("\x01\x02\x03"));
  s.Write("Items/Item2.dat", "abcdefgh");
  ASSERT_TRUE(WriteRecordFile(ProgramFolder() + "\\Items\\item2.DAT", {'X', 'Y'}).ok());
  EXPECT_EQ(s.Read("Items/Item2.dat"), "XYcdefgh");
  EXPECT_FALSE(s.Exists("Items/item2.DAT"));
}

// A failure names the file it concerns, so the operator knows which one to
// look at.
bool NamesFile(const Status& s, const std::string& name) {
  return s.message().find(name) != std::string::npos;
}

TEST(WriteRecordFile, FailsWithoutChangingAnything) {
  ScratchFolder s;
  Status st = WriteRecordFile(ProgramFolder() + "\\Missing\\Item1.dat", {1});
  EXPECT_FALSE(st.ok());
  EXPECT_TRUE(st.IsNotFound()) << st.ToString();
  EXPECT_TRUE(NamesFile(st, "Item1.dat")) << st.ToString();
  EXPECT_FALSE(s.Exists("Missing"));

  s.Write("Items/Item1.dat", "old");
  chmod(s.At("Items/Item1.dat").c_str(), 0444);
  st = WriteRecordFile(ProgramFolder() + "\\Items\\Item1.dat", {'n', 'e', 'w'});
  EXPECT_EQ(st.code(), Status::Code::kIOError) << st.ToString();
  EXPECT_TRUE(NamesFile(st, "Item1.dat")) << st.ToString();
  EXPECT_EQ(s.Read("Items/Item1.dat"), "old");

  s.MakeDir("Items/Item2.dat");
  st = WriteRecordFile(ProgramFolder() + "\\Items\\Item2.dat", {1});
  EXPECT_EQ(st.code(), Status::Code::kNotSupported) << "refused, not failed: " << st.ToString();
  EXPECT_TRUE(NamesFile(st, "Item2.dat")) << st.ToString();

  ASSERT_EQ(mkfifo(s.At("Items/Item3.dat").c_str(), 0600), 0);
  st = WriteRecordFile(ProgramFolder() + "\\Items\\Item3.dat", {1});
  EXPECT_EQ(st.code(), Status::Code::kNotSupported) << "a FIFO must neither block nor be written";
  EXPECT_TRUE(NamesFile(st, "Item3.dat")) << st.ToString();
}

TEST(ReadRecordFile, CreatesAMissingFileAndZeroFillsAShortOne) {
  ScratchFolder s;
  s.MakeDir("maps");
  std::vector<uint8_t> buf;
  size_t delivered = 99;
  ASSERT_TRUE(ReadRecordFile(ProgramFolder() + "\\maps\\map2.dat", 4, &buf, &delivered).ok());
  EXPECT_EQ(delivered, 0u);
  EXPECT_EQ(buf, std::vector<uint8_t>(4, 0));
  EXPECT_TRUE(s.Exists("maps/map2.dat"));
  EXPECT_EQ(s.Read("maps/map2.dat"), "");

  s.Write("maps/map1.dat", "ab");
  ASSERT_TRUE(ReadRecordFile(ProgramFolder() + "\\MAPS\\MAP1.dat", 4, &buf, &delivered).ok());
  EXPECT_EQ(delivered, 2u);
  EXPECT_EQ(buf, (std::vector<uint8_t>{'a', 'b', 0, 0}));

  // Without a count the bytes still arrive.
  buf.clear();
  ASSERT_TRUE(ReadRecordFile(ProgramFolder() + "\\maps\\map1.dat", 3, &buf).ok());
  EXPECT_EQ(buf, (std::vector<uint8_t>{'a', 'b', 0}));

  s.MakeDir("maps/map3.dat");
  const Status st = ReadRecordFile(ProgramFolder() + "\\maps\\map3.dat", 4, &buf, &delivered);
  EXPECT_EQ(st.code(), Status::Code::kNotSupported) << st.ToString();
  EXPECT_TRUE(NamesFile(st, "map3.dat")) << st.ToString();
  EXPECT_EQ(delivered, 0u) << "a failed read delivers nothing";
}

}  // namespace

}  // namespace common
