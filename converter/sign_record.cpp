#include "converter/sign_record.h"

#include <limits>
#include <stdexcept>
#include <string_view>

#include "common/binary_record.h"

namespace vostrel {

namespace {

// Each text carries a 16-bit byte count; a longer text cannot be stored and
// must not be written with a wrapped-around count.
void CheckLength(std::string_view text, const char* field) {
  if (text.size() > std::numeric_limits<uint16_t>::max()) {
    throw std::length_error(std::string("sign ") + field + " is longer than 65535 bytes");
  }
}

}  // namespace

std::vector<uint8_t> SignRecBytes(const SignRec& rec) {
  CheckLength(rec.Header, "Header");
  CheckLength(rec.Line1, "Line1");
  CheckLength(rec.Line2, "Line2");
  CheckLength(rec.Line3, "Line3");
  common::RecordWriter w;
  w.VarText(rec.Header);
  w.VarText(rec.Line1);
  w.VarText(rec.Line2);
  w.VarText(rec.Line3);
  w.Byte(rec.Reserved);
  return w.bytes();
}

}  // namespace vostrel
