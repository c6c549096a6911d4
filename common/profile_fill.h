// Setting many keys of a profile file to one value in a single pass over its
// text, for edits such as emptying every inventory slot of an account: the
// same bytes as the editor (ProfileDocument) makes of the same Set calls,
// without building the editor's line structure for hundreds of edits.
#pragma once

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

// The text the editor gives `text` after the fill's Set calls, or nullopt
// when the text holds something this pass leaves to the editor: a section
// of the fill that is missing, a key line without "=", text that is not
// single-byte, or a fill whose names or value are not plain (blanks at their
// ends, line breaks, NUL, "=" or brackets where they would change a line's
// meaning, names given twice).
std::optional<std::string> FillKeys(std::string_view text, const KeyFill& fill);

}  // namespace common
