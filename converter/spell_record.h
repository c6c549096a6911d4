// Spells: section SPELL<N> of Spells.ini becomes the 55-byte
// Spells\Spell<N>.dat.
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

struct SpellRec {
  std::string Name, GuildReq;  // 20 characters each, space-padded
  uint8_t ClassReq = 0, LevelReq = 0, Type = 0;
  int16_t Data1 = 0, Data2 = 0, Data3 = 0, Data4 = 0, Data5 = 0;
};

inline constexpr size_t kSpellRecSize = 55;

// Converts spell `n` into element n of state.SpellTable and its file; fails
// as ConvertItem does.
common::Status ConvertSpell(ConverterState& state, int32_t n);
// The same as one record of a job: read from the job's source, written
// into its listed folder.
common::Status ConvertSpell(ConverterState& state, int32_t n, RecordJob& job);

// The fields of a converted spell file's bytes, by name in disk order;
// fails, saying what was expected, for bytes that are not a spell record.
// The record is the one at the start; *used is its size (see
// RecordLayout::Decode).
common::Status ReadSpellFields(const std::vector<uint8_t>& bytes, std::vector<FieldValue>* out,
                               size_t* used);

}  // namespace vostrel
