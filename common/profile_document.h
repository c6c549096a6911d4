// A profile file held in memory for editing in place: every byte that a
// write does not have to change stays exactly as it was.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace common {

class ProfileDocument {
 public:
  // `bytes` is the file's content ("" for a missing file). A UTF-8 byte-order
  // mark is kept in front and never touched.
  explicit ProfileDocument(std::string_view bytes);

  // Sets `key` in the first section named `section`, as the host's writer
  // does: an existing value is replaced where it stands, a new key goes after
  // the section's last non-blank line, a new section at the end. Leading
  // blanks of the value and of new names are dropped; each argument ends at
  // a NUL. Returns false when the key already held the value, so that
  // nothing needs to be written.
  bool Set(std::string_view section, std::string_view key, std::string_view value);

  // Removes the first line of `key` in the first section named `section`,
  // or, for DeleteSection, that section's header and every line up to the
  // next header, as the host's writer does when given no value (or no key).
  // Return false when there was nothing to remove.
  bool Delete(std::string_view section, std::string_view key);
  bool DeleteSection(std::string_view section);

  // The file's bytes as they stand now.
  std::string Serialize() const;

 private:
  struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const;  // ASCII case folded
  };
  struct SameNameEq {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  enum Eol : uint8_t { kNone, kCrLf, kLf, kCr };
  struct Line {
    std::string text;  // without its line ending
    Eol eol = kNone;
    bool header = false;
    uint32_t next = kEnd;
  };
  struct Section {
    uint32_t start = 0;         // its header line (line 0 for the part before any header)
    uint32_t lastNonBlank = 0;  // where a new key goes after
    bool keysIndexed = false;
    // Upper-cased key -> its first line; looked up without regard to case
    // and without making a key string for each look-up.
    std::unordered_map<std::string, uint32_t, NameHash, SameNameEq> keys;
  };
  static constexpr uint32_t kEnd = 0xFFFFFFFFu;

  void Load(std::string_view text);
  void Reparse();
  void IndexKeys(Section& section);
  uint32_t InsertAfter(uint32_t at, std::string text);
  const Section* FindSection(std::string_view section);
  void Unlink(uint32_t line);
  void EnsureLineEnd(uint32_t at);
  bool AppendSection(std::string_view name, std::string_view key, std::string_view value);

  std::string prefix_;       // a UTF-8 byte-order mark, or ""
  std::vector<Line> lines_;  // line 0 is an empty head before the first real line
  uint32_t tail_ = 0;
  std::vector<Section> sections_;                     // section 0: the lines before any header
  std::unordered_map<std::string, uint32_t> byName_;  // upper-cased name -> first section
  Eol eol_ = kCrLf;                                   // the file's own line ending (its first one)
  bool blankOnly_ = true;  // no header or key line: a write starts the file afresh
  // The section the last Set found, by the name it was given: a batch of
  // edits names the same section hundreds of times in a row.
  std::string lastSectionName_;
  uint32_t lastSection_ = 0;
  bool lastSectionValid_ = false;
};

}  // namespace common
