// The converted item record, Items\Item<N>.dat: 92 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vostrel {

struct ItemRec {
  std::string Name;  // 20 characters, space-padded
  int16_t Pic = 0;
  uint8_t Type = 0;
  int32_t Data1 = 0;
  int32_t Data2 = 0;
  int32_t Data3 = 0;
  std::string GuildReq;  // 20 characters, space-padded
  int32_t LevelReq = 0;
  uint8_t ClassReq = 0;
  int16_t Reserved[16] = {};
};

inline constexpr size_t kItemRecSize = 92;

// The record's bytes as stored on disk.
std::vector<uint8_t> ItemRecBytes(const ItemRec& rec);

}  // namespace vostrel
