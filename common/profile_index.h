// A profile file parsed once for many reads: the first section of each name
// and the first key of each name in it, found by hashing, so that a read
// costs the same in a file of ten sections as in one of tens of thousands.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace common {

class ProfileIndex {
 public:
  // `text` is what the reader parses (see profile_text::TextForReading).
  explicit ProfileIndex(std::string text);

  // The value a read returns: "" for a missing section or key.
  std::string Lookup(std::string_view section, std::string_view key) const;

  size_t memoryBytes() const;

 private:
  struct Entry {
    uint32_t hash;
    uint32_t section;
    uint32_t nameOffset, nameLength;
    uint32_t valueOffset, valueLength;  // the stored value; length 0 when none
  };
  static uint32_t Hash(uint32_t section, std::string_view name);
  const Entry* Find(uint32_t section, std::string_view name, uint32_t hash) const;
  void Grow();

  std::string text_;
  std::unordered_map<std::string, uint32_t> sections_;  // upper-cased name -> id
  std::vector<Entry> entries_;
  std::vector<uint32_t> slots_;  // open addressing: entry index + 1, 0 when free
};

}  // namespace common
