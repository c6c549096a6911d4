// Fuzzes the numeric text rule on arbitrary text: no crash, every result in
// its field's range or OutOfRange, and agreement with a small reference
// reader wherever that one can compute the exact value cheaply.
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/numeric_text.h"
#include "fuzz/fuzz_support.h"

namespace {

// The number the text starts with, computed exactly where that is cheap:
// decimal mantissas of up to 15 digits scaled by a power of ten up to 22
// (one correctly rounded operation), and &H / &O values below 2^53.
// Nothing when the exact value would need more work than that.
std::optional<double> Reference(std::string_view text) {
  std::string s;
  for (char c : text)
    if (c != ' ' && c != '\t' && c != '\n') s.push_back(c);
  size_t i = 0;
  if (s.size() >= 2 && s[0] == '&') {
    int base = 0;
    if (s[1] == 'H' || s[1] == 'h') base = 16;
    if (s[1] == 'O' || s[1] == 'o') base = 8;
    if (base == 0) return 0.0;
    unsigned __int128 v = 0;
    for (i = 2; i < s.size(); ++i) {
      char c = s[i];
      int d = c >= '0' && c <= '9'   ? c - '0'
              : c >= 'a' && c <= 'f' ? c - 'a' + 10
              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                     : 99;
      if (d >= base) break;
      v = v * base + d;
      if (v >> 53) return std::nullopt;
    }
    return static_cast<double>(v);
  }
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  uint64_t mantissa = 0;
  int digits = 0, significant = 0, scale = 0;
  auto digit = [&](char c, bool fraction) {
    ++digits;
    if (mantissa == 0 && c == '0') {
      if (fraction) --scale;
      return;
    }
    if (++significant > 15) return;  // too many: no cheap exact value
    mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
    if (fraction) --scale;
  };
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') digit(s[i++], false);
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') digit(s[i++], true);
  }
  if (digits == 0) return 0.0;
  if (significant > 15) return std::nullopt;
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
    size_t j = i + 1;
    bool expNegative = false;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) expNegative = s[j++] == '-';
    long exp = 0;
    bool any = false;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
      any = true;
      exp = std::min(exp * 10 + (s[j++] - '0'), 100000L);
    }
    if (any) scale += static_cast<int>(expNegative ? -exp : exp);
  }
  double m = static_cast<double>(mantissa);
  double v;
  if (mantissa == 0) {
    v = 0;
  } else if (scale >= 0 && scale <= 22) {
    v = m * std::pow(10.0, scale);  // 10^scale is exact up to 22
  } else if (scale < 0 && scale >= -22) {
    v = m / std::pow(10.0, -scale);
  } else {
    return std::nullopt;
  }
  return negative ? -v : v;
}

template <typename T>
void CheckField(std::string_view text, double rounded, double lo, double hi,
                common::Status (*convert)(std::string_view, std::string_view, T*)) {
  bool fits = rounded >= lo && rounded <= hi;
  // What the output holds before the call: a refused text must leave it so.
  const T untouched = static_cast<T>(lo + 1);
  T v = untouched;
  const common::Status s = convert(text, "Field", &v);
  if (s.ok()) {
    FUZZ_CHECK(fits, "\"" + Escaped(text) + "\" gave " + std::to_string(v) + " outside " +
                         std::to_string(lo) + " to " + std::to_string(hi));
    FUZZ_CHECK(static_cast<double>(v) == rounded, "\"" + Escaped(text) + "\" gave " +
                                                      std::to_string(v) + ", rounded value " +
                                                      std::to_string(rounded));
  } else {
    FUZZ_CHECK(!fits,
               "\"" + Escaped(text) + "\" overflowed though " + std::to_string(rounded) + " fits");
    FUZZ_CHECK(s.code() == common::Status::Code::kOutOfRange,
               "\"" + Escaped(text) + "\" failed other than OutOfRange: " + Escaped(s.ToString()));
    FUZZ_CHECK(s.message().find("\"Field\"") != std::string::npos &&
                   s.message().find(text) != std::string::npos,
               "overflow names the wrong field or text: " + Escaped(s.message()));
    FUZZ_CHECK(v == untouched, "\"" + Escaped(text) + "\" overflowed but changed the output");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  double value = common::NumericValue(text);
  FUZZ_CHECK(!std::isnan(value), "\"" + Escaped(text) + "\" read as NaN");
  if (std::optional<double> expected = Reference(text)) {
    // -0 and +0 are the same number for every field.
    FUZZ_CHECK(value == *expected, "\"" + Escaped(text) + "\" read as " + std::to_string(value) +
                                       ", expected " + std::to_string(*expected));
  }
  double rounded = common::RoundHalfEven(value);
  // The default rounding mode of the floating-point unit is half to even.
  std::fesetround(FE_TONEAREST);
  double byFpu = std::nearbyint(value);
  FUZZ_CHECK(rounded == byFpu || (std::isinf(value) && rounded == value),
             "RoundHalfEven(" + std::to_string(value) + ") gave " + std::to_string(rounded) +
                 ", expected " + std::to_string(byFpu));
  CheckField<uint8_t>(text, byFpu, 0, 255, common::ToByte);
  CheckField<int16_t>(text, byFpu, -32768, 32767, common::ToInteger);
  CheckField<int32_t>(text, byFpu, -2147483648.0, 2147483647.0, common::ToLong);
  return 0;
}
