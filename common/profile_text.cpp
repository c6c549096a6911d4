#include "common/profile_text.h"

#include <cstdint>
#include <cstring>

#include "common/profile.h"

namespace common {

namespace profile_text {

std::string_view TrimBlanks(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::string_view TrimLeadingBlanks(std::string_view s) {
  size_t b = 0;
  while (b < s.size() && IsBlank(s[b])) ++b;
  return s.substr(b);
}

LineInfo ParseLine(std::string_view line) {
  LineInfo info;
  std::string_view body = TrimBlanks(line);
  if (body.empty()) return info;  // kBlank
  if (body.front() == '[') {
    size_t close = body.rfind(']');
    if (close != std::string_view::npos) {
      info.kind = LineKind::kHeader;
      // Blanks are trimmed before the NUL cut, as the host does: a NUL hides
      // what follows it but is no blank itself.
      info.name = CutAtNul(TrimBlanks(body.substr(1, close - 1)));
      return info;
    }
  }
  info.kind = LineKind::kEntry;
  // The "=" is searched in the whole line, NUL bytes included.
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) {
    info.name = CutAtNul(body);
    return info;
  }
  info.name = CutAtNul(TrimBlanks(line.substr(0, eq)));
  info.hasValue = true;
  info.valueStart = eq + 1;
  info.value = CutAtNul(TrimBlanks(line.substr(eq + 1)));
  return info;
}

size_t NextLine(std::string_view text, size_t pos, size_t* contentEnd) {
  // Found with memchr: a file is mostly runs of bytes without a break.
  const char* base = text.data();
  const size_t n = text.size();
  if (pos >= n) {
    *contentEnd = n;
    return n;
  }
  const void* lf = std::memchr(base + pos, '\n', n - pos);
  const size_t lfAt = lf ? static_cast<size_t>(static_cast<const char*>(lf) - base) : n;
  const void* cr = std::memchr(base + pos, '\r', lfAt - pos);
  if (!cr) {
    *contentEnd = lfAt;
    return lfAt == n ? n : lfAt + 1;
  }
  const size_t crAt = static_cast<size_t>(static_cast<const char*>(cr) - base);
  *contentEnd = crAt;
  return crAt + 1 == lfAt && lfAt < n ? lfAt + 1 : crAt + 1;
}

std::string_view ValueForCaller(std::string_view stored) {
  if (stored.size() >= 2 && (stored.front() == '"' || stored.front() == '\'') &&
      stored.back() == stored.front())
    stored = stored.substr(1, stored.size() - 2);
  if (stored.size() > kMaxIniValue) stored = stored.substr(0, kMaxIniValue);
  return stored;
}

Encoding DetectEncoding(std::string_view bytes) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return Encoding::kUtf8Bom;
  if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") return Encoding::kUtf16Le;
  return Encoding::kAnsi;
}

namespace {

// Windows-1252 bytes 0x80-0x9F by their Unicode code points; the five
// unassigned bytes stand for the matching C1 control, as the host maps them.
constexpr uint16_t kHigh1252[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char To1252(uint16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<char>(unit);
  for (int i = 0; i < 32; ++i)
    if (kHigh1252[i] == unit) return static_cast<char>(0x80 + i);
  return '?';
}

}  // namespace

std::string TextForReading(std::string bytes) {
  switch (DetectEncoding(bytes)) {
    case Encoding::kUtf8Bom:
      return bytes.substr(3);
    case Encoding::kUtf16Le: {
      std::string out;
      out.reserve(bytes.size() / 2);
      for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        uint16_t unit = static_cast<uint16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8));
        out.push_back(To1252(unit));
      }
      return out;
    }
    case Encoding::kAnsi:
      break;
  }
  return bytes;
}

}  // namespace profile_text

}  // namespace common
