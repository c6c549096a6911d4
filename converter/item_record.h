// Items: section ITEM<N> of items.ini becomes the 92-byte Items\Item<N>.dat.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/status.h"

namespace vostrel {

struct ConverterState;
class RecordJob;
struct FieldValue;

struct ItemRec {
  std::string Name;  // 20 characters, space-padded
  int16_t Pic = 0;
  uint8_t Type = 0;
  int32_t Data1 = 0, Data2 = 0, Data3 = 0;
  std::string GuildReq;  // 20 characters, space-padded
  int32_t LevelReq = 0;
  uint8_t ClassReq = 0;
};

inline constexpr size_t kItemRecSize = 92;

// Converts item `n` into element n of state.ItemTable and its file. Fails
// with OutOfRange for a number outside the table or a value that does not fit
// its field (the fields read before it stay stored, the file is not
// touched), or with the record file's own failure.
common::Status ConvertItem(ConverterState& state, int32_t n);
// The same as one record of a job: read from the job's source, written
// into its listed folder.
common::Status ConvertItem(ConverterState& state, int32_t n, RecordJob& job);

// The fields of a converted item file's bytes, by name in disk order;
// fails, saying what was expected, for bytes that are not an item record.
common::Status ReadItemFields(const std::vector<uint8_t>& bytes, std::vector<FieldValue>* out);

}  // namespace vostrel
