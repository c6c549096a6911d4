// The numeric text rule: how the converter turns a profile value or a typed
// maximum into a number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/status.h"

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

// The numeric value of `text`, rounded half to even, into `out` when it fits
// the field type's range. Otherwise OutOfRange, naming `field`, the text and
// the range, and `out` is left as it was.
Status ToByte(std::string_view text, std::string_view field, uint8_t* out);     // 0 to 255
Status ToInteger(std::string_view text, std::string_view field, int16_t* out);  // 16-bit signed
Status ToLong(std::string_view text, std::string_view field, int32_t* out);     // 32-bit signed

}  // namespace common
