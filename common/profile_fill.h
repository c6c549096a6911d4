// Setting many keys of a profile file to one value in a single pass over its
// text, for edits such as emptying every inventory slot of an account: the
// same bytes as the editor (ProfileDocument) makes of the same Set calls,
// without building the editor's line structure for hundreds of edits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace common {

// Set(section, key, value) for every section in order and, within it, every
// key in order.
struct KeyFill {
  std::vector<std::string> sections;
  std::vector<std::string> keys;
  std::string value;
};

// A fill checked and indexed once, for use on many files.
class KeyFiller {
 public:
  explicit KeyFiller(KeyFill fill);
  const KeyFill& fill() const { return fill_; }
  // FillKeys(text, fill()).
  std::optional<std::string> Apply(std::string_view text) const;

 private:
  // The key of the fill named `name` (without regard to ASCII case), or -1.
  int KeyIndex(std::string_view name) const;
  int SectionIndex(std::string_view name) const;

  KeyFill fill_;
  bool plain_ = false;
  std::vector<uint32_t> keySlots_;  // open addressing: key index + 1, 0 when free
  std::vector<uint32_t> keyHashes_;
};

// The text the editor gives `text` after the fill's Set calls, or nullopt
// when the text holds something this pass leaves to the editor: a section
// of the fill that is missing, a key line without "=", text that is not
// single-byte, or a fill whose names or value are not plain (blanks at their
// ends, line breaks, NUL, "=" or brackets where they would change a line's
// meaning, names given twice).
std::optional<std::string> FillKeys(std::string_view text, const KeyFill& fill);

}  // namespace common
