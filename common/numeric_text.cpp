#include "common/numeric_text.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace common {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int DigitValue(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9')
    v = c - '0';
  else if (c >= 'a' && c <= 'f')
    v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F')
    v = c - 'A' + 10;
  return v >= 0 && v < base ? v : -1;
}

std::string WithoutBlanks(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (char c : text)
    if (!IsBlank(c)) s.push_back(c);
  return s;
}

}  // namespace

double NumericValue(std::string_view text) {
  const std::string s = WithoutBlanks(text);
  size_t i = 0;
  if (s.size() >= 2 && s[0] == '&') {
    int base = (s[1] == 'H' || s[1] == 'h') ? 16 : (s[1] == 'O' || s[1] == 'o') ? 8 : 0;
    if (base == 0) return 0;
    double v = 0;
    for (i = 2; i < s.size(); ++i) {
      int d = DigitValue(s[i], base);
      if (d < 0) break;
      v = v * base + d;
    }
    return v;
  }
  // Collect the longest prefix that forms sign, digits, fraction, exponent,
  // then let strtod read exactly that (it sees no locale-specific text).
  std::string num;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) num.push_back(s[i++]);
  size_t mantissaDigits = 0;
  while (i < s.size() && IsDigit(s[i])) num.push_back(s[i++]), ++mantissaDigits;
  if (i < s.size() && s[i] == '.') {
    num.push_back(s[i++]);
    while (i < s.size() && IsDigit(s[i])) num.push_back(s[i++]), ++mantissaDigits;
  }
  if (mantissaDigits == 0) return 0;
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
    size_t j = i + 1;
    std::string exp = "e";
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) exp.push_back(s[j++]);
    size_t expDigits = 0;
    while (j < s.size() && IsDigit(s[j])) exp.push_back(s[j++]), ++expDigits;
    if (expDigits > 0) num += exp;
  }
  return std::strtod(num.c_str(), nullptr);
}

double RoundHalfEven(double value) {
  if (!std::isfinite(value)) return value;
  double lower = std::floor(value);
  double diff = value - lower;
  if (diff < 0.5) return lower;
  if (diff > 0.5) return lower + 1;
  return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

namespace {

template <typename T>
Status Checked(std::string_view text, std::string_view field, double lo, double hi,
               const char* range, T* out) {
  double v = RoundHalfEven(NumericValue(text));
  if (!(v >= lo && v <= hi)) {
    return Status::OutOfRange("\"" + std::string(field) + "\" value \"" + std::string(text) +
                              "\" does not fit " + range);
  }
  *out = static_cast<T>(v);
  return Status::OK();
}

}  // namespace

Status ToByte(std::string_view text, std::string_view field, uint8_t* out) {
  return Checked(text, field, 0, 255, "0 to 255", out);
}

Status ToInteger(std::string_view text, std::string_view field, int16_t* out) {
  return Checked(text, field, -32768, 32767, "-32768 to 32767", out);
}

Status ToLong(std::string_view text, std::string_view field, int32_t* out) {
  return Checked(text, field, -2147483648.0, 2147483647.0, "-2147483648 to 2147483647", out);
}

}  // namespace common
