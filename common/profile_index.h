// A profile file parsed once for many reads. Making it finds only the
// section headers; a section's keys are indexed, by hashing, the first time
// one of them is read, and then stay indexed. A job that reads the sections
// of a large file one after another so touches each line once, and the keys
// it looks up lie next to each other in memory, so a read costs the same in
// a file of ten sections as in one of tens of thousands.
//
// The lazily built index makes even the const reads change the object; like
// the rest of the profile layer it is used from one thread only.
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

  static constexpr uint32_t kNoSection = 0xFFFFFFFFu;

  // The first section named `section` (trimmed, cut at NUL, without regard
  // to ASCII case), or kNoSection.
  uint32_t FindSection(std::string_view section) const;

  // The value a read returns: "" for a missing section or key.
  std::string Lookup(std::string_view section, std::string_view key) const;
  std::string Lookup(uint32_t section, std::string_view key) const;

  size_t memoryBytes() const;

 private:
  struct Entry {
    uint32_t hash;
    uint32_t nameOffset, nameLength;
    uint32_t valueOffset, valueLength;  // the stored value; length 0 when none
  };
  struct Section {
    uint32_t begin, end;  // the lines below the header, up to the next header
    bool indexed = false;
    // Its own open-addressing table, a power of two long: entry index + 1,
    // 0 when free.
    uint32_t firstSlot = 0, slotCount = 0;
  };
  static uint32_t Hash(std::string_view name);
  const Entry* Find(const Section& s, std::string_view name, uint32_t hash) const;
  void IndexKeys(Section& s) const;

  std::string text_;
  std::unordered_map<std::string, uint32_t> byName_;  // upper-cased name -> first section
  mutable std::vector<Section> sections_;
  mutable std::vector<Entry> entries_;
  mutable std::vector<uint32_t> slots_;
};

}  // namespace common
