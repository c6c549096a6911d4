// Items: section ITEM<N> of items.ini becomes the 92-byte Items\Item<N>.dat.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/item_layout.h"
#include "common/status.h"
#include "converter/field_value.h"

namespace vostrel {

struct ConverterState;
class RecordJob;

using common::ItemRec;
using common::kItemRecSize;

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
// The record is the one at the start; *used is its size (see
// RecordLayout::Decode).
common::Status ReadItemFields(const std::vector<uint8_t>& bytes, std::vector<FieldValue>* out,
                              size_t* used);

}  // namespace vostrel
