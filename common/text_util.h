// Small text helpers shared by the tools. File names and profile names are
// single-byte text that the host compares without regard to ASCII case;
// arguments handed on to the host end at their first NUL, as C strings do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace common {

inline char UpperAsciiChar(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
inline char LowerAsciiChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// ASCII-only case folding; other bytes pass unchanged.
std::string UpperAscii(std::string_view s);

// Equal but for ASCII case.
bool SameName(std::string_view a, std::string_view b);

// A hash (FNV-1a) that is the same for names equal but for ASCII case, for
// the tables that find names the way SameName compares them.
inline uint64_t NameHash(std::string_view name) {
  uint64_t h = 14695981039346656037ull;
  for (char c : name) {
    h ^= static_cast<unsigned char>(UpperAsciiChar(c));
    h *= 1099511628211ull;
  }
  return h;
}

// The text before the first NUL; all of it when it holds none.
std::string_view CutAtNul(std::string_view s);

// The same as an owned text, the name the account listing has always used.
inline std::string TrimAtNul(std::string_view text) { return std::string(CutAtNul(text)); }

// N in decimal, as the tools put record numbers into section and file names.
std::string Dec(long long n);

}  // namespace common
