// NPCs: section NPC<N> of npcs.ini becomes the 319-byte NPCs\NPC<N>.dat.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/status.h"
#include "converter/field_value.h"

namespace vostrel {

struct ConverterState;
class RecordJob;

struct NPCRec {
  std::string Name;       // 20 characters, space-padded
  std::string AttackSay;  // 255 characters, space-padded
  int32_t Sprite = 0, SpawnSecs = 0;
  uint8_t Behavior = 0, SpawnTime = 0;
  int32_t Range = 0;
  int16_t DropChance = 0, DropItem = 0, DropItemValue = 0;
  int32_t STR = 0, DEF = 0, SPEED = 0, MAGI = 0, HP = 0, EXP = 0;
};

inline constexpr size_t kNPCRecSize = 319;

// Converts NPC `n` into element n of state.NPCTable and its file; fails as
// ConvertItem does. The file is named "\NPCS\NPC<N>.dat", as the server's
// tools always spelled it; it resolves to the NPCs folder whatever its case.
common::Status ConvertNPC(ConverterState& state, int32_t n);
// The same as one record of a job: read from the job's source, written
// into its listed folder.
common::Status ConvertNPC(ConverterState& state, int32_t n, RecordJob& job);

// The fields of a converted NPC file's bytes, by name in disk order;
// fails, saying what was expected, for bytes that are not an NPC record.
// The record is the one at the start; *used is its size (see
// RecordLayout::Decode).
common::Status ReadNPCFields(const std::vector<uint8_t>& bytes, std::vector<FieldValue>* out,
                             size_t* used);

}  // namespace vostrel
