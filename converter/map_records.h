// The legacy (2936 bytes) and converted (4105 bytes) map layouts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "converter/field_value.h"

namespace vostrel {


struct LegacyTileRec {
  int16_t Layer1 = 0, Layer2 = 0, Layer3 = 0, Layer4 = 0;
  uint8_t Kind = 0;
  int16_t Data1 = 0, Data2 = 0, Data3 = 0;
};

struct TileRec {
  int16_t Layer1 = 0, Layer2 = 0, Layer3 = 0, Layer4 = 0, Layer5 = 0, Layer6 = 0, Layer7 = 0;
  uint8_t Kind = 0;
  int16_t Data1 = 0, Data2 = 0, Data3 = 0;
};

inline constexpr int kMapWidth = 16;   // first subscript 0 to 15, varies fastest
inline constexpr int kMapHeight = 12;  // second subscript 0 to 11
inline constexpr int kMapSlots = 16;   // Slot(1 To 16)

struct LegacyMapRec {
  uint8_t Name[20] = {};  // the 20 bytes as stored
  int32_t UpdateCount = 0;
  uint8_t Mode = 0;
  int16_t Int1 = 0, Int2 = 0, Int3 = 0, Int4 = 0;
  uint8_t Byte1 = 0;
  int16_t Int5 = 0;
  uint8_t Byte2 = 0, Byte3 = 0, Byte4 = 0, Byte5 = 0;
  LegacyTileRec Tile[kMapWidth][kMapHeight];  // Tile[a][b]
  uint8_t Slot[kMapSlots] = {};               // Slot(k) is Slot[k - 1]
};

struct MapRec {
  uint8_t Name[20] = {};
  int32_t UpdateCount = 0;
  uint8_t Mode = 0;
  int16_t Int1 = 0, Int2 = 0, Int3 = 0, Int4 = 0;
  uint8_t Byte1 = 0;
  int16_t Int5 = 0;
  uint8_t Byte2 = 0, Byte3 = 0, Byte4 = 0, Byte5 = 0, Byte6 = 0;
  TileRec Tile[kMapWidth][kMapHeight];
  int16_t Slot[kMapSlots] = {};
};

inline constexpr size_t kLegacyMapSize = 2936;
inline constexpr size_t kMapSize = 4105;

// Field-by-field conversion between the records and their bytes. Decoding
// reads at most kLegacyMapSize bytes; bytes it lacks read as zero.
void DecodeLegacyMap(const uint8_t* data, size_t size, LegacyMapRec& rec);
std::vector<uint8_t> EncodeLegacyMap(const LegacyMapRec& rec);
void DecodeMap(const uint8_t* data, size_t size, MapRec& rec);
void EncodeMap(const MapRec& rec, std::vector<uint8_t>& out);

// A converted map's fields by name, in disk order: the header's fields, then
// for each tile field the number of tiles where it is not 0 ("Layer1 tiles
// set"), then the slots as one list.
std::vector<FieldValue> MapFieldValues(const MapRec& rec);

}  // namespace vostrel
