// The converted spell record, Spells\Spell<N>.dat: 55 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vostrel {

struct SpellRec {
  std::string Name;      // 20 characters, space-padded
  std::string GuildReq;  // 20 characters, space-padded
  uint8_t ClassReq = 0;
  uint8_t LevelReq = 0;
  uint8_t Type = 0;
  int16_t Data1 = 0;
  int16_t Data2 = 0;
  int16_t Data3 = 0;
  int16_t Data4 = 0;
  int16_t Data5 = 0;
  int16_t Reserved = 0;
};

inline constexpr size_t kSpellRecSize = 55;

std::vector<uint8_t> SpellRecBytes(const SpellRec& rec);

}  // namespace vostrel
