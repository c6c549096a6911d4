// The converted NPC record, NPCs\NPC<N>.dat: 319 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vostrel {

struct NPCRec {
  std::string Name;       // 20 characters, space-padded
  std::string AttackSay;  // 255 characters, space-padded
  int32_t Sprite = 0;
  int32_t SpawnSecs = 0;
  uint8_t Behavior = 0;
  uint8_t SpawnTime = 0;
  int32_t Range = 0;
  int16_t DropChance = 0;
  int16_t DropItem = 0;
  int16_t DropItemValue = 0;
  int32_t STR = 0;
  int32_t DEF = 0;
  int32_t SPEED = 0;
  int32_t MAGI = 0;
  int32_t HP = 0;
  int32_t EXP = 0;
};

inline constexpr size_t kNPCRecSize = 319;

std::vector<uint8_t> NPCRecBytes(const NPCRec& rec);

}  // namespace vostrel
