// A profile file parsed once for many reads. Making it finds only the
// section headers; a section's keys are indexed, by hashing, when one of
// them is read, and stay indexed while the section is among the few used
// last. A job that reads the sections of a large file one after another so
// touches each line once, in memory that stays in the processor's cache,
// and a read costs the same in a file of ten sections as in one of tens of
// thousands.
//
// The lazily built index makes even the const reads change the object; like
// the rest of the profile layer it is used from one thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace common {

// Keys read together from one section (ProfileIndex::LookupAll): trimmed,
// cut at NUL and hashed once, for a caller that reads the same keys from
// many sections.
class KeyList {
 public:
  explicit KeyList(const std::vector<std::string_view>& names);
  size_t size() const { return names_.size(); }

 private:
  friend class ProfileIndex;
  std::vector<std::string> names_;
  std::vector<uint32_t> hashes_;
};

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
  // The values of every key of `keys` in `section`, read in one pass over
  // its lines: values[i] is what Lookup(section, i-th key) returns, as a view
  // into the text, valid while the index lives. For a record read key by
  // key this costs one look at each line instead of an index of the
  // section and a look-up per key.
  void LookupAll(uint32_t section, const KeyList& keys, std::string_view* values) const;

  size_t memoryBytes() const;

 private:
  struct Entry {
    uint32_t hash;
    uint32_t nameOffset, nameLength;
    uint32_t valueOffset, valueLength;  // the stored value; length 0 when none
  };
  struct Section {
    uint32_t nameOffset, nameLength;  // the header's name in the text
    uint32_t nameHash;
    uint32_t begin, end;  // the lines below the header, up to the next header
    int32_t way = -1;     // the key index that last held its keys
  };
  // The keys of one section, hashed: an open-addressing table a power of two
  // long, entry index + 1, 0 when free. A few of them are kept, for the
  // sections used most recently, and reused with their memory when another
  // section's turn comes: a job that reads one section after another works
  // in the same few kilobytes throughout, however large the file.
  struct Way {
    uint32_t owner = kNoSection;
    uint64_t lastUse = 0;
    std::vector<Entry> entries;
    std::vector<uint32_t> slots;
  };
  static constexpr size_t kWays = 8;

  static uint32_t Hash(std::string_view name);
  const Way& KeysOf(uint32_t section) const;
  const Entry* Find(const Way& way, std::string_view name, uint32_t hash) const;
  uint32_t AddSection(std::string_view name, uint32_t nameOffset, uint32_t begin, uint32_t end);
  void GrowSectionSlots();

  std::string text_;
  mutable std::vector<Section> sections_;  // a section's way changes as it is read
  // Open addressing over the sections by name, without regard to case:
  // section + 1, 0 when free. Names are looked up in the text itself, so a
  // file of tens of thousands of sections costs no string for each.
  std::vector<uint32_t> sectionSlots_;
  mutable Way ways_[kWays];
  mutable uint64_t clock_ = 0;
  mutable uint32_t lastFound_ = 0;  // the section FindSection found last
};

}  // namespace common
