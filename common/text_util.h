// Small text helpers shared by the tools.
#pragma once

#include <string>
#include <string_view>

namespace common {

// The text before its first NUL character; the whole text when it holds none.
std::string TrimAtNul(std::string_view text);

// N in decimal, as the tools put record numbers into section and file names.
std::string Dec(long long n);

}  // namespace common
