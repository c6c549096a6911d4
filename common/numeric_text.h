// The numeric text rule: how the converter turns a profile value or a typed
// maximum into a number.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace common {

// The leading number of `text`: blanks (space, tab, line feed) are skipped
// wherever they stand; then an optional sign, decimal digits with an optional
// fraction after "." and an optional exponent after "E"; or &H / &O followed
// by hexadecimal / octal digits. Reading stops at the first character that
// cannot continue the number. A text with no leading number gives 0.
double NumericValue(std::string_view text);

// Rounds to a whole number, a value exactly halfway going to the even
// neighbour (2.5 -> 2, 3.5 -> 4).
double RoundHalfEven(double value);

// A value that does not fit the field it is meant for. `field` names the
// field (or key) and `text` is the text that was read.
class FieldOverflow : public std::runtime_error {
 public:
  FieldOverflow(std::string field, std::string text, std::string range);
  const std::string& field() const { return field_; }
  const std::string& text() const { return text_; }

 private:
  std::string field_;
  std::string text_;
};

// The numeric value of `text`, rounded half to even, checked against the
// field type's range; throws FieldOverflow naming `field` when it does not fit.
uint8_t ToByte(std::string_view text, std::string_view field);     // 0 to 255
int16_t ToInteger(std::string_view text, std::string_view field);  // 16-bit signed
int32_t ToLong(std::string_view text, std::string_view field);     // 32-bit signed

}  // namespace common
