// Signs: section SIGN<N> of signs.ini becomes Signs\Sign<N>.dat, four texts
// each behind its 16-bit byte count, then a reserved byte: 9 bytes plus the
// texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/status.h"
#include "converter/field_value.h"

namespace vostrel {

struct ConverterState;
class RecordJob;

struct SignRec {
  std::string Header, Line1, Line2, Line3;
};

// Converts sign `n` into element n of state.SignTable and its file; fails as
// ConvertItem does. Texts are kept whole: a profile read never returns more
// than 4999 bytes, which always fits the 16-bit count.
common::Status ConvertSign(ConverterState& state, int16_t n);
// The same as one record of a job: read from the job's source, written
// into its listed folder.
common::Status ConvertSign(ConverterState& state, int16_t n, RecordJob& job);

// The fields of a converted sign file's bytes, by name in disk order;
// fails, saying what was expected, for bytes that are not a sign record.
// The record is the one at the start; *used is its size (see
// RecordLayout::Decode).
common::Status ReadSignFields(const std::vector<uint8_t>& bytes, std::vector<FieldValue>* out,
                              size_t* used);

}  // namespace vostrel
