// Byte layouts of the legacy and converted map files.
#include "converter/map_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace vostrel {
namespace {

uint16_t U16At(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b.at(at)) | (static_cast<uint32_t>(b.at(at + 1)) << 8) |
         (static_cast<uint32_t>(b.at(at + 2)) << 16) | (static_cast<uint32_t>(b.at(at + 3)) << 24);
}

// Distinct values in every header field, so a shifted field shows up.
template <typename Rec>
void FillHeader(Rec& r) {
  std::memcpy(r.Name, "Dark Forest         ", 20);
  r.UpdateCount = 0x01020304;
  r.Mode = 0xA1;
  r.Int1 = 0x1112;
  r.Int2 = 0x2122;
  r.Int3 = 0x3132;
  r.Int4 = 0x4142;
  r.Byte1 = 0xB1;
  r.Int5 = 0x5152;
  r.Byte2 = 0xB2;
  r.Byte3 = 0xB3;
  r.Byte4 = 0xB4;
  r.Byte5 = 0xB5;
}

void ExpectHeaderBytes(const std::vector<uint8_t>& b) {
  EXPECT_EQ(0, std::memcmp(b.data(), "Dark Forest         ", 20));
  EXPECT_EQ(0x01020304u, U32At(b, 20));
  EXPECT_EQ(0xA1, b[24]);
  EXPECT_EQ(0x1112, U16At(b, 25));
  EXPECT_EQ(0x2122, U16At(b, 27));
  EXPECT_EQ(0x3132, U16At(b, 29));
  EXPECT_EQ(0x4142, U16At(b, 31));
  EXPECT_EQ(0xB1, b[33]);
  EXPECT_EQ(0x5152, U16At(b, 34));
  EXPECT_EQ(0xB2, b[36]);
  EXPECT_EQ(0xB3, b[37]);
  EXPECT_EQ(0xB4, b[38]);
  EXPECT_EQ(0xB5, b[39]);
}

struct Cell {
  int a, b;
  size_t legacyOffset, convertedOffset;
};
const Cell kCells[] = {{0, 0, 40, 41}, {1, 0, 55, 62}, {0, 1, 280, 377}, {15, 11, 2905, 4052}};

TEST(LegacyMapLayout, FieldsLieAtTheirOffsets) {
  auto rec = std::make_unique<LegacyMapRec>();
  FillHeader(*rec);
  for (const Cell& c : kCells) {
    LegacyTileRec& t = rec->Tile[c.a][c.b];
    t.Layer1 = static_cast<int16_t>(0x0100 + c.a * 16 + c.b);
    t.Layer4 = -2;
    t.Kind = 0xC7;
    t.Data3 = 0x7D7E;
  }
  rec->Slot[0] = 200;
  rec->Slot[15] = 0xAB;

  std::vector<uint8_t> b = EncodeLegacyMap(*rec);
  ASSERT_EQ(2936u, b.size());
  ExpectHeaderBytes(b);
  for (const Cell& c : kCells) {
    SCOPED_TRACE(testing::Message() << "cell " << c.a << "," << c.b);
    EXPECT_EQ(0x0100 + c.a * 16 + c.b, U16At(b, c.legacyOffset));
    EXPECT_EQ(0xFFFE, U16At(b, c.legacyOffset + 6));
    EXPECT_EQ(0xC7, b[c.legacyOffset + 8]);
    EXPECT_EQ(0x7D7E, U16At(b, c.legacyOffset + 13));
  }
  // A cell next to a filled one stays empty: nothing spills over.
  EXPECT_EQ(0, U16At(b, 70));
  EXPECT_EQ(200, b[2920]);
  EXPECT_EQ(0xAB, b[2935]);
}

TEST(ConvertedMapLayout, FieldsLieAtTheirOffsets) {
  auto rec = std::make_unique<MapRec>();
  FillHeader(*rec);
  rec->Byte6 = 0xB6;
  for (const Cell& c : kCells) {
    TileRec& t = rec->Tile[c.a][c.b];
    t.Layer1 = static_cast<int16_t>(0x0100 + c.a * 16 + c.b);
    t.Layer5 = 0x5555;
    t.Layer7 = -1;
    t.Kind = 0xC7;
    t.Data3 = 0x7D7E;
  }
  rec->Slot[0] = 200;
  rec->Slot[15] = -3;

  std::vector<uint8_t> b;
  EncodeMap(*rec, b);
  ASSERT_EQ(4105u, b.size());
  ExpectHeaderBytes(b);
  EXPECT_EQ(0xB6, b[40]);
  for (const Cell& c : kCells) {
    SCOPED_TRACE(testing::Message() << "cell " << c.a << "," << c.b);
    EXPECT_EQ(0x0100 + c.a * 16 + c.b, U16At(b, c.convertedOffset));
    EXPECT_EQ(0x5555, U16At(b, c.convertedOffset + 8));
    EXPECT_EQ(0xFFFF, U16At(b, c.convertedOffset + 12));
    EXPECT_EQ(0xC7, b[c.convertedOffset + 14]);
    EXPECT_EQ(0x7D7E, U16At(b, c.convertedOffset + 19));
  }
  EXPECT_EQ(0xC8, b[4073]);
  EXPECT_EQ(0x00, b[4074]);
  EXPECT_EQ(0xFFFD, U16At(b, 4103));
}

TEST(LegacyMapDecode, ReadsSignedIntegersAndUnsignedBytes) {
  std::vector<uint8_t> b(2936, 0);
  b[40] = 0xFF;  // Layer1 of cell (0,0)
  b[41] = 0xFF;
  b[46] = 0x00;  // Layer4 of cell (0,0): -32768
  b[47] = 0x80;
  b[48] = 0xF0;  // Kind
  b[20] = 0xFF;  // UpdateCount -1
  b[21] = 0xFF;
  b[22] = 0xFF;
  b[23] = 0xFF;
  b[2920] = 200;
  b[2935] = 255;
  auto rec = std::make_unique<LegacyMapRec>();
  DecodeLegacyMap(b.data(), b.size(), *rec);
  EXPECT_EQ(-1, rec->Tile[0][0].Layer1);
  EXPECT_EQ(-32768, rec->Tile[0][0].Layer4);
  EXPECT_EQ(0xF0, rec->Tile[0][0].Kind);
  EXPECT_EQ(-1, rec->UpdateCount);
  EXPECT_EQ(200, rec->Slot[0]);
  EXPECT_EQ(255, rec->Slot[15]);
}

TEST(LegacyMapDecode, GridRunsFirstSubscriptFastest) {
  std::vector<uint8_t> b(2936, 0);
  for (int e = 0; e < 192; ++e) b[40 + 15 * e] = static_cast<uint8_t>(e);
  auto rec = std::make_unique<LegacyMapRec>();
  DecodeLegacyMap(b.data(), b.size(), *rec);
  EXPECT_EQ(1, rec->Tile[1][0].Layer1);
  EXPECT_EQ(16, rec->Tile[0][1].Layer1);
  EXPECT_EQ(191, rec->Tile[15][11].Layer1);
  EXPECT_EQ(5 * 16 + 7, rec->Tile[7][5].Layer1);
}

TEST(LegacyMapDecode, MissingBytesReadAsZeroAndExtraBytesAreIgnored) {
  auto rec = std::make_unique<LegacyMapRec>();
  // Leftovers from an earlier map must not survive a short read.
  rec->Tile[3][4].Layer2 = 77;
  rec->Slot[15] = 9;
  rec->Byte5 = 5;

  std::vector<uint8_t> shortFile(30, 0x11);
  DecodeLegacyMap(shortFile.data(), shortFile.size(), *rec);
  EXPECT_EQ(0x11111111, rec->UpdateCount);
  EXPECT_EQ(0x0011, rec->Int3);  // half of it was in the file
  EXPECT_EQ(0, rec->Int4);
  EXPECT_EQ(0, rec->Byte5);
  EXPECT_EQ(0, rec->Tile[3][4].Layer2);
  EXPECT_EQ(0, rec->Slot[15]);

  DecodeLegacyMap(nullptr, 0, *rec);
  EXPECT_EQ(0, rec->UpdateCount);
  EXPECT_EQ(0, rec->Name[0]);

  std::vector<uint8_t> longFile(3000, 0);
  for (size_t i = 2936; i < longFile.size(); ++i) longFile[i] = 0x99;
  longFile[2935] = 4;
  DecodeLegacyMap(longFile.data(), longFile.size(), *rec);
  EXPECT_EQ(4, rec->Slot[15]);
  EXPECT_EQ(0, rec->Slot[14]);
}

TEST(ConvertedMapDecode, ReadsBackWhatWasWritten) {
  auto rec = std::make_unique<MapRec>();
  FillHeader(*rec);
  rec->Byte6 = 6;
  rec->Tile[15][11].Layer6 = -300;
  rec->Tile[2][9].Data2 = 12345;
  rec->Slot[7] = 255;
  std::vector<uint8_t> b;
  EncodeMap(*rec, b);
  b.resize(4200, 0x77);  // a longer old file's tail is not part of the record

  auto back = std::make_unique<MapRec>();
  DecodeMap(b.data(), b.size(), *back);
  std::vector<uint8_t> again;
  EncodeMap(*back, again);
  b.resize(4105);
  EXPECT_EQ(b, again);
  EXPECT_EQ(-300, back->Tile[15][11].Layer6);
  EXPECT_EQ(12345, back->Tile[2][9].Data2);
}

TEST(ConvertedMapShow, NameEndsAtItsFirstNulAndLosesItsPadding) {
  auto rec = std::make_unique<MapRec>();
  FillHeader(*rec);
  EXPECT_EQ(MapFieldValues(*rec).front().text, "Dark Forest");
  std::memcpy(rec->Name, "Cave  \0 Old name   ", 20);
  EXPECT_EQ(MapFieldValues(*rec).front().text, "Cave");
  std::memcpy(rec->Name, "A full twenty bytes!", 20);  // no NUL at all
  EXPECT_EQ(MapFieldValues(*rec).front().text, "A full twenty bytes!");
}

}  // namespace
}  // namespace vostrel
