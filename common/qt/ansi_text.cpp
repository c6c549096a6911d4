#include "common/qt/ansi_text.h"

#include <algorithm>

#include "common/visible_text.h"

namespace common {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80 to 0x9F; the five unused
// codes there map to themselves so that every byte survives a round trip.
constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

QString AnsiToQString(std::string_view bytes) {
  QString s;
  s.reserve(static_cast<qsizetype>(bytes.size()));
  for (char c : bytes) {
    unsigned char b = static_cast<unsigned char>(c);
    s.append(QChar(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char16_t(b)));
  }
  return s;
}

std::string QStringToAnsi(const QString& text) {
  std::string out;
  out.reserve(static_cast<size_t>(text.size()));
  for (QChar qc : text) {
    char16_t u = qc.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
      out.push_back(static_cast<char>(u));
      continue;
    }
    char mapped = '?';
    for (int i = 0; i < 32; ++i)
      if (kHigh[i] == u) mapped = static_cast<char>(0x80 + i);
    out.push_back(mapped);
  }
  return out;
}

QString VisibleText(const QString& text, LineBreaks breaks) {
  auto escaped = [breaks](QChar qc) {
    return IsControlCharacter(qc.unicode()) && !(breaks == LineBreaks::kKeep && qc == u'\n');
  };
  if (std::none_of(text.begin(), text.end(), escaped)) return text;
  QString out;
  out.reserve(text.size() + 8);
  std::string escape;
  for (QChar qc : text) {
    if (!escaped(qc)) {
      out.append(qc);
      continue;
    }
    escape.clear();
    AppendControlEscape(escape, qc.unicode());
    out.append(QLatin1StringView(escape));
  }
  return out;
}

}  // namespace common
