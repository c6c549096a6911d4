#include "common/visible_text.h"

namespace common {

namespace {

// The single-byte codes that decode to a control character.
bool IsControlByte(unsigned char b) {
  return b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

}  // namespace

void AppendControlEscape(std::string& out, char32_t c) {
  switch (c) {
    case 0x1B:
      out += "\\e";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    default:
      break;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\x";
  out.push_back(kHex[(c >> 4) & 0xF]);
  out.push_back(kHex[c & 0xF]);
}

std::string VisibleName(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (IsControlByte(b)) {
      // The five unused codes decode to the control of the same number.
      AppendControlEscape(out, b);
    } else {
      out.push_back(ch);
    }
  }
  return out;
}

}  // namespace common
