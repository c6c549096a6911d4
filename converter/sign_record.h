// Signs: section SIGN<N> of signs.ini becomes Signs\Sign<N>.dat, four texts
// each behind its 16-bit byte count, then a reserved byte: 9 bytes plus the
// texts.
#pragma once

#include <cstdint>
#include <string>

#include "common/status.h"

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

}  // namespace vostrel
