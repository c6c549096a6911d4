#include "common/text_util.h"

namespace common {

std::string TrimAtNul(std::string_view text) {
  size_t nul = text.find('\0');
  return std::string(nul == std::string_view::npos ? text : text.substr(0, nul));
}

std::string Dec(long long n) { return std::to_string(n); }

}  // namespace common
