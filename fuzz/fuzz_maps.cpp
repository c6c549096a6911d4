// Fuzzes the two map layouts: any bytes decode, and encoding the record again
// gives back the bytes the layout covers (zero-padded when the input is
// short). Each decode starts from a record full of junk, as the converter
// reuses one record from map to map, so a field that decoding forgets shows.
// A few fields are also checked at their documented offsets.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "converter/map_records.h"

using namespace vostrel;

namespace {

std::vector<uint8_t> Padded(const uint8_t* data, size_t size, size_t length) {
  std::vector<uint8_t> out(length, 0);
  std::memcpy(out.data(), data, size < length ? size : length);
  return out;
}

int16_t Int16At(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<int16_t>(static_cast<uint16_t>(b[at] | (b[at + 1] << 8)));
}

std::string FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size())
    return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size());
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) return "first difference at offset " + std::to_string(i);
  return "no difference";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t junk = size ? data[0] ^ 0xA5 : 0xA5;

  auto legacy = std::make_unique<LegacyMapRec>();
  std::memset(static_cast<void*>(legacy.get()), junk, sizeof *legacy);
  DecodeLegacyMap(data, size, *legacy);
  std::vector<uint8_t> legacyBytes = EncodeLegacyMap(*legacy);
  std::vector<uint8_t> legacyExpected = Padded(data, size, kLegacyMapSize);
  FUZZ_CHECK(legacyBytes == legacyExpected,
             "legacy map round trip: " + FirstDifference(legacyBytes, legacyExpected));
  for (int b = 0; b < kMapHeight; ++b) {
    for (int a = 0; a < kMapWidth; ++a) {
      const size_t at = 40 + 15 * static_cast<size_t>(b * 16 + a);
      const LegacyTileRec& t = legacy->Tile[a][b];
      FUZZ_CHECK(t.Layer1 == Int16At(legacyExpected, at) && t.Kind == legacyExpected[at + 8] &&
                     t.Data3 == Int16At(legacyExpected, at + 13),
                 "legacy tile (" + std::to_string(a) + "," + std::to_string(b) + ") misplaced");
    }
  }
  for (int k = 1; k <= kMapSlots; ++k)
    FUZZ_CHECK(legacy->Slot[k - 1] == legacyExpected[2920 + k - 1], "legacy slot misplaced");

  auto map = std::make_unique<MapRec>();
  std::memset(static_cast<void*>(map.get()), junk, sizeof *map);
  DecodeMap(data, size, *map);
  std::vector<uint8_t> mapBytes(7, junk);  // a reused buffer of another size
  EncodeMap(*map, mapBytes);
  std::vector<uint8_t> mapExpected = Padded(data, size, kMapSize);
  FUZZ_CHECK(mapBytes == mapExpected, "map round trip: " + FirstDifference(mapBytes, mapExpected));
  for (int b = 0; b < kMapHeight; ++b) {
    for (int a = 0; a < kMapWidth; ++a) {
      const size_t at = 41 + 21 * static_cast<size_t>(b * 16 + a);
      const TileRec& t = map->Tile[a][b];
      FUZZ_CHECK(t.Layer1 == Int16At(mapExpected, at) &&
                     t.Layer7 == Int16At(mapExpected, at + 12) && t.Kind == mapExpected[at + 14] &&
                     t.Data3 == Int16At(mapExpected, at + 19),
                 "tile (" + std::to_string(a) + "," + std::to_string(b) + ") misplaced");
    }
  }
  for (int k = 1; k <= kMapSlots; ++k)
    FUZZ_CHECK(map->Slot[k - 1] == Int16At(mapExpected, 4073 + 2 * (k - 1)), "slot misplaced");
  FUZZ_CHECK(map->Byte6 == mapExpected[40], "Byte6 misplaced");
  return 0;
}
