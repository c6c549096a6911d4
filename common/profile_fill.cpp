#include "common/profile_fill.h"

#include <cstdint>
#include <unordered_map>
#include <utility>

#include "common/profile_text.h"
#include "common/text_util.h"

namespace common {

using profile_text::LineInfo;
using profile_text::LineKind;
using profile_text::ParseLine;

namespace {

bool HasAny(std::string_view s, std::string_view chars) {
  return s.find_first_of(chars) != std::string_view::npos;
}

// A name the editor would store and find exactly as given.
bool PlainKey(std::string_view key) {
  if (key.empty() || key.front() == '[' || HasAny(key, std::string_view("=\r\n\0", 4))) {
    return false;
  }
  const std::string line = std::string(key) + "=";
  const LineInfo info = ParseLine(line);
  return info.kind == LineKind::kEntry && info.name == key;
}

bool PlainSection(std::string_view section) {
  if (section.empty() || HasAny(section, std::string_view("[]\r\n\0", 5))) return false;
  const std::string line = "[" + std::string(section) + "]";
  const LineInfo info = ParseLine(line);
  return info.kind == LineKind::kHeader && info.name == section;
}

bool PlainFill(const KeyFill& fill) {
  if (fill.sections.empty() || fill.keys.empty()) return false;
  if (HasAny(fill.value, std::string_view("\r\n\0", 3))) return false;
  if (!fill.value.empty() && profile_text::IsBlank(fill.value.front())) return false;
  std::unordered_map<std::string, int> seen;
  for (const std::string& s : fill.sections) {
    if (!PlainSection(s) || !seen.emplace("[" + UpperAscii(s), 0).second) return false;
  }
  for (const std::string& k : fill.keys) {
    if (!PlainKey(k) || !seen.emplace(UpperAscii(k), 0).second) return false;
  }
  return true;
}

struct Line {
  size_t start, end, next;  // content [start, end), ending [end, next)
  LineInfo info;
};

constexpr uint32_t kNone = UINT32_MAX;

struct Target {
  uint32_t header = kNone;
  uint32_t lastNonBlank = kNone;
  std::vector<uint32_t> keyLine;  // per key of the fill: its first line, or kNone
};

}  // namespace

KeyFiller::KeyFiller(KeyFill fill) : fill_(std::move(fill)) {
  plain_ = PlainFill(fill_);
  if (!plain_) return;
  uint32_t size = 4;
  while (size < fill_.keys.size() * 2) size *= 2;
  keySlots_.assign(size, 0);
  for (uint32_t k = 0; k < fill_.keys.size(); ++k) {
    const uint32_t h = NameHash(fill_.keys[k]);
    keyHashes_.push_back(h);
    for (uint32_t i = h & (size - 1);; i = (i + 1) & (size - 1)) {
      if (keySlots_[i] == 0) {
        keySlots_[i] = k + 1;
        break;
      }
    }
  }
}

int KeyFiller::KeyIndex(std::string_view name) const {
  const uint32_t h = NameHash(name);
  const uint32_t mask = static_cast<uint32_t>(keySlots_.size()) - 1;
  for (uint32_t i = h & mask; keySlots_[i] != 0; i = (i + 1) & mask) {
    const uint32_t k = keySlots_[i] - 1;
    if (keyHashes_[k] == h && SameName(fill_.keys[k], name)) return static_cast<int>(k);
  }
  return -1;
}

int KeyFiller::SectionIndex(std::string_view name) const {
  for (size_t t = 0; t < fill_.sections.size(); ++t) {
    if (SameName(fill_.sections[t], name)) return static_cast<int>(t);
  }
  return -1;
}

std::optional<std::string> FillKeys(std::string_view text, const KeyFill& fill) {
  return KeyFiller(fill).Apply(text);
}

std::optional<std::string> KeyFiller::Apply(std::string_view text) const {
  if (!plain_) return std::nullopt;
  if (profile_text::DetectEncoding(text) != profile_text::Encoding::kAnsi) return std::nullopt;
  const KeyFill& fill = fill_;

  std::vector<Target> targets(fill.sections.size());
  std::unordered_map<std::string, int> seenSections;  // every header name met, first one counts
  std::vector<Line> lines;
  lines.reserve(text.size() / 12 + 16);
  std::string upper;
  uint32_t expected = 0;     // accounts list their keys in the order they are set
  uint32_t current = kNone;  // the target whose first section these lines are in
  size_t pos = 0;
  while (pos < text.size()) {
    Line line;
    line.start = pos;
    line.next = profile_text::NextLine(text, pos, &line.end);
    line.info = ParseLine(text.substr(line.start, line.end - line.start));
    pos = line.next;
    const uint32_t index = static_cast<uint32_t>(lines.size());
    if (line.info.kind == LineKind::kHeader) {
      current = kNone;
      upper = UpperAscii(line.info.name);
      if (seenSections.emplace(upper, 0).second) {
        const int t = SectionIndex(line.info.name);
        if (t >= 0) {
          current = static_cast<uint32_t>(t);
          targets[current].header = index;
          targets[current].lastNonBlank = index;
          targets[current].keyLine.assign(fill.keys.size(), kNone);
        }
      }
    } else if (current != kNone && line.info.kind == LineKind::kEntry) {
      Target& target = targets[current];
      target.lastNonBlank = index;
      int k = -1;
      if (expected < fill.keys.size() && SameName(fill.keys[expected], line.info.name)) {
        k = static_cast<int>(expected);
      } else {
        k = KeyIndex(line.info.name);
      }
      if (k >= 0) expected = static_cast<uint32_t>(k) + 1;
      if (k >= 0 && target.keyLine[k] == kNone) {
        // A key with no "=" takes one from the editor and may then read as
        // something else: left to it.
        if (!line.info.hasValue) return std::nullopt;
        target.keyLine[k] = index;
      }
    }
    lines.push_back(line);
  }
  for (const Target& t : targets) {
    if (t.header == kNone) return std::nullopt;  // the editor appends it
  }

  // The file's own line ending is its first line's; CR LF when it has none.
  std::string_view eol = "\r\n";
  if (!lines.empty() && lines[0].next > lines[0].end) {
    eol = text.substr(lines[0].end, lines[0].next - lines[0].end);
  }
  // What goes after each line: the keys a section lacks, after its last
  // non-blank line, in the order they are set.
  std::vector<uint32_t> insertAfter(lines.size(), kNone);
  std::vector<bool> replaced(lines.size(), false);
  for (uint32_t t = 0; t < targets.size(); ++t) {
    bool missing = false;
    for (uint32_t line : targets[t].keyLine) {
      if (line == kNone) {
        missing = true;
      } else if (lines[line].info.value != fill.value) {
        replaced[line] = true;
      }
    }
    if (missing) insertAfter[targets[t].lastNonBlank] = t;
  }

  std::string out;
  out.reserve(text.size() + text.size() / 8 + 64);
  for (size_t i = 0; i < lines.size(); ++i) {
    const Line& line = lines[i];
    if (replaced[i]) {
      out.append(text.substr(line.start, line.info.valueStart));
      out.append(fill.value);
    } else {
      out.append(text.substr(line.start, line.end - line.start));
    }
    const uint32_t t = insertAfter[i];
    if (t == kNone) {
      out.append(text.substr(line.end, line.next - line.end));
      continue;
    }
    // A last line without an ending gets the file's before a line follows.
    out.append(line.next > line.end ? text.substr(line.end, line.next - line.end) : eol);
    for (size_t k = 0; k < fill.keys.size(); ++k) {
      if (targets[t].keyLine[k] != kNone) continue;
      out.append(fill.keys[k]);
      out += '=';
      out.append(fill.value);
      out.append(eol);
    }
  }
  return out;
}

}  // namespace common
