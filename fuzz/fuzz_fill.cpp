// Fuzzes the one-pass fill of many keys (common/profile_fill.h) against the
// editor it stands in for: arbitrary file bytes and a fill whose sections,
// keys and value come from the input, mostly drawn from a small alphabet of
// names and tricky bytes so that matches, near misses and odd lines are
// common.
//
// Invariant: whenever FillKeys gives a text, it is byte for byte what
// ProfileDocument serializes to after the same Set calls in the same order.
// It may decline (nullopt); then the editor does the work.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/profile_document.h"
#include "common/profile_fill.h"

namespace {

// Names and pieces that make a profile file interesting for the fill.
std::string Piece(FuzzedDataProvider& in) {
  static const char* const kPieces[] = {
      "[CHAR1]",     "[char2]",     "[ CHAR1 ]",   "[CHAR3",      "CHAR1",
      "InvItemNum1", "invitemnum1", "InvItemVal1", "InvItemDur2", "=",
      "0",           " 0 ",         "5",           "\"0\"",       "\r\n",
      "\n",          "\r",          " ",           "\t",          "(NUL)",
      "[",           "]",           ";x",          "Name=Bob",    "\xEF\xBB\xBF",
      "\xFF\xFE"};
  const size_t n = sizeof kPieces / sizeof kPieces[0];
  const size_t i = in.ConsumeIntegralInRange<size_t>(0, n);
  if (i == n) return in.ConsumeRandomLengthString(8);
  if (std::string_view(kPieces[i]) == "(NUL)") return std::string(1, '\0');
  return kPieces[i];
}

std::string Name(FuzzedDataProvider& in, const std::vector<std::string>& pool) {
  if (in.ConsumeBool()) return pool[in.ConsumeIntegralInRange<size_t>(0, pool.size() - 1)];
  return in.ConsumeRandomLengthString(6);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  common::KeyFill fill;
  static const std::vector<std::string> sections = {"CHAR1", "CHAR2", "CHAR3", "char1", " CHAR1"};
  static const std::vector<std::string> keys = {"InvItemNum1", "InvItemVal1", "InvItemDur1",
                                                "InvItemNum2", "INVITEMNUM1", "Name"};
  const size_t sectionCount = in.ConsumeIntegralInRange<size_t>(0, 3);
  for (size_t i = 0; i < sectionCount; ++i) fill.sections.push_back(Name(in, sections));
  const size_t keyCount = in.ConsumeIntegralInRange<size_t>(0, 5);
  for (size_t i = 0; i < keyCount; ++i) fill.keys.push_back(Name(in, keys));
  fill.value = in.ConsumeBool() ? "0" : in.ConsumeRandomLengthString(4);

  std::string text;
  const size_t pieces = in.ConsumeIntegralInRange<size_t>(0, 64);
  for (size_t i = 0; i < pieces && in.remaining_bytes() > 0; ++i) text += Piece(in);
  text += in.ConsumeRemainingBytesAsString();

  const std::optional<std::string> filled = common::FillKeys(text, fill);
  if (!filled) return 0;
  common::ProfileDocument doc(text);
  for (const std::string& section : fill.sections) {
    for (const std::string& key : fill.keys) doc.Set(section, key, fill.value);
  }
  if (*filled != doc.Serialize()) {
    std::fprintf(stderr, "the one-pass fill and the editor differ\n");
    std::abort();
  }
  return 0;
}
