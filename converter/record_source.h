// What the profile-file record converters share: the table element a record
// fills, its fixed-width texts, and one snapshot of the source section.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/profile.h"
#include "common/program_folder.h"
#include "common/text_util.h"

namespace vostrel {

// Element `n` of a record table. The table has no element 0, and a negative
// number would wrap to a huge index, so both are refused like any number
// beyond the table's end.
template <typename Rec>
Rec& TableElement(std::vector<Rec>& table, int32_t n, const char* kind) {
  if (n < 1 || static_cast<size_t>(n) >= table.size()) {
    throw std::out_of_range(std::string(kind) + " " + common::Dec(n) + " lies outside the " + kind +
                            " table");
  }
  return table[static_cast<size_t>(n)];
}

// A fixed-width text field as the record holds it: cut to `width`
// characters, padded with spaces.
inline std::string Fixed(std::string text, size_t width) {
  text.resize(width, ' ');
  return text;
}

// Section <prefix>N of a source file under the program folder, read from one
// snapshot of the file: the file is checked once per record, not per key.
class RecordSource {
 public:
  RecordSource(const char* file, const char* sectionPrefix, int32_t n)
      : reader_(common::ProgramFolder() + file), section_(sectionPrefix + common::Dec(n)) {}
  std::string operator()(std::string_view key) const { return reader_.Get(section_, key); }
  const std::string& section() const { return section_; }

 private:
  common::ProfileReader reader_;
  std::string section_;
};

}  // namespace vostrel
