// How one line of a profile file is understood. Shared by the cached reader
// and the in-place editor so that both see exactly the same sections, keys
// and values.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/text_util.h"

namespace common {

namespace profile_text {

// The profile format's blanks: tab, 0x0B, 0x0C, 0x1A and space. Not NUL,
// not 0xA0.
inline bool IsBlank(char c) {
  return c == '\t' || c == '\x0B' || c == '\x0C' || c == '\x1A' || c == ' ';
}

std::string_view TrimBlanks(std::string_view s);
std::string_view TrimLeadingBlanks(std::string_view s);
enum class LineKind { kBlank, kHeader, kEntry };

struct LineInfo {
  LineKind kind = LineKind::kBlank;
  // Header: the section name. Entry: the key name. Trimmed, then cut at NUL.
  std::string_view name;
  // Entry only: whether the line has an "=" at all (a line without one is
  // an entry that holds no value and still hides later keys of its name).
  bool hasValue = false;
  // Entry with "=": the stored value, trimmed and cut at NUL (quotes kept).
  std::string_view value;
  // Entry with "=": offset in the line of the byte after the first "=".
  size_t valueStart = 0;
};

// Parses one line given without its line ending. The views point into it.
LineInfo ParseLine(std::string_view line);

// The line starting at `pos`: sets `contentEnd` to where its text ends and
// returns where the next line starts. Lines end at CR LF, LF or a lone CR.
size_t NextLine(std::string_view text, size_t pos, size_t* contentEnd);

// What a read hands the caller for a stored value: one pair of matching
// quotes around it removed, then cut to the read buffer's length.
std::string_view ValueForCaller(std::string_view stored);

// How a file's bytes start.
enum class Encoding { kAnsi, kUtf8Bom, kUtf16Le };
Encoding DetectEncoding(std::string_view bytes);

// The text the reader parses: the bytes after a UTF-8 byte-order mark are
// taken as they are; a UTF-16LE file is turned into single-byte text
// (Windows-1252, "?" for what it cannot hold).
std::string TextForReading(std::string bytes);

}  // namespace profile_text

}  // namespace common
