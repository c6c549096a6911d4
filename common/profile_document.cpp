#include "common/profile_document.h"

#include <utility>

#include "common/profile_text.h"
#include "common/text_util.h"

namespace common {

using profile_text::LineInfo;
using profile_text::LineKind;
using profile_text::ParseLine;
using profile_text::TrimBlanks;
using profile_text::TrimLeadingBlanks;

namespace {

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// The first character of the line that is not a blank, or NUL for none.
char FirstNonBlank(std::string_view line) {
  for (char c : line) {
    if (!profile_text::IsBlank(c)) return c;
  }
  return '\0';
}

}  // namespace

size_t ProfileDocument::NameHash::operator()(std::string_view name) const {
  return static_cast<size_t>(common::NameHash(name));
}

bool ProfileDocument::SameNameEq::operator()(std::string_view a, std::string_view b) const {
  return SameName(a, b);
}

ProfileDocument::ProfileDocument(std::string_view bytes) {
  if (profile_text::DetectEncoding(bytes) == profile_text::Encoding::kUtf8Bom) {
    prefix_ = std::string(bytes.substr(0, 3));
    bytes.remove_prefix(3);
  }
  Load(bytes);
}

void ProfileDocument::Load(std::string_view text) {
  lines_.assign(1, Line{});
  tail_ = 0;
  sections_.assign(1, Section{});
  byName_.clear();
  byName_.emplace("", 0);
  eol_ = kNone;
  blankOnly_ = true;
  lastSectionValid_ = false;

  uint32_t current = 0;  // section the lines belong to
  size_t pos = 0;
  while (pos < text.size()) {
    size_t contentEnd;
    size_t next = profile_text::NextLine(text, pos, &contentEnd);
    Line line;
    line.text.assign(text.substr(pos, contentEnd - pos));
    std::string_view ending = text.substr(contentEnd, next - contentEnd);
    line.eol = ending == "\r\n" ? kCrLf : ending == "\n" ? kLf : ending == "\r" ? kCr : kNone;
    if (eol_ == kNone) eol_ = line.eol;
    LineInfo info = ParseLine(line.text);
    line.header = info.kind == LineKind::kHeader;
    const uint32_t index = static_cast<uint32_t>(lines_.size());
    lines_[tail_].next = index;
    lines_.push_back(std::move(line));
    tail_ = index;
    if (info.kind == LineKind::kHeader) {
      current = static_cast<uint32_t>(sections_.size());
      sections_.push_back(Section{index, index, false, {}});
      byName_.emplace(UpperAscii(info.name), current);  // keeps the first of a name
    }
    if (info.kind != LineKind::kBlank) {
      sections_[current].lastNonBlank = index;
      blankOnly_ = false;
    }
    pos = next;
  }
  if (eol_ == kNone) eol_ = kCrLf;
}

void ProfileDocument::Reparse() {
  std::string bytes = Serialize();
  Load(std::string_view(bytes).substr(prefix_.size()));
}

void ProfileDocument::IndexKeys(Section& section) {
  section.keysIndexed = true;
  for (uint32_t i = lines_[section.start].next; i != kEnd && !lines_[i].header;
       i = lines_[i].next) {
    LineInfo info = ParseLine(lines_[i].text);
    if (info.kind == LineKind::kEntry) section.keys.try_emplace(UpperAscii(info.name), i);
  }
}

void ProfileDocument::EnsureLineEnd(uint32_t at) {
  if (at != 0 && lines_[at].eol == kNone) lines_[at].eol = eol_;
}

uint32_t ProfileDocument::InsertAfter(uint32_t at, std::string text) {
  EnsureLineEnd(at);
  const uint32_t index = static_cast<uint32_t>(lines_.size());
  Line line;
  line.text = std::move(text);
  line.eol = eol_;
  line.next = lines_[at].next;
  lines_.push_back(std::move(line));
  lines_[at].next = index;
  if (tail_ == at) tail_ = index;
  return index;
}

bool ProfileDocument::AppendSection(std::string_view name, std::string_view key,
                                    std::string_view value) {
  std::string header = "[" + std::string(name) + "]";
  std::string entry = std::string(key) + "=" + std::string(value);
  uint32_t headerLine = InsertAfter(tail_, header);
  uint32_t entryLine = InsertAfter(headerLine, entry);
  LineInfo headerInfo = ParseLine(lines_[headerLine].text);
  LineInfo entryInfo = ParseLine(lines_[entryLine].text);
  if (HasLineBreak(header) || HasLineBreak(entry) || headerInfo.kind != LineKind::kHeader ||
      entryInfo.kind != LineKind::kEntry) {
    // Names or values that make lines of their own: read it all again.
    Reparse();
    return true;
  }
  lines_[headerLine].header = true;
  const uint32_t id = static_cast<uint32_t>(sections_.size());
  Section section{headerLine, entryLine, true, {}};
  section.keys.emplace(UpperAscii(entryInfo.name), entryLine);
  sections_.push_back(std::move(section));
  byName_.emplace(UpperAscii(headerInfo.name), id);
  return true;
}

bool ProfileDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  section = CutAtNul(section);
  key = CutAtNul(key);
  value = TrimLeadingBlanks(CutAtNul(value));
  const std::string_view newSection = TrimLeadingBlanks(section);
  const std::string_view newKey = TrimLeadingBlanks(key);

  if (blankOnly_) {
    // Nothing but blank lines counts as a new file.
    Load("");
    blankOnly_ = false;
  }

  uint32_t sectionId;
  if (lastSectionValid_ && section == lastSectionName_) {
    sectionId = lastSection_;
  } else {
    auto found = byName_.find(UpperAscii(TrimBlanks(section)));
    if (found == byName_.end()) return AppendSection(newSection, newKey, value);
    sectionId = found->second;
    lastSectionName_.assign(section);
    lastSection_ = sectionId;
    lastSectionValid_ = true;
  }
  if (!sections_[sectionId].keysIndexed) IndexKeys(sections_[sectionId]);
  const std::string_view trimmedKey = TrimBlanks(key);

  auto keyIt = sections_[sectionId].keys.find(trimmedKey);
  if (keyIt != sections_[sectionId].keys.end()) {
    Line& line = lines_[keyIt->second];
    LineInfo info = ParseLine(line.text);
    if (info.hasValue && info.value == value) return false;
    // With an "=" already there, the key's part of the line stays as it is,
    // so the line stays this key's entry unless it opens with "[" (the new
    // value may close it into a header) or the value breaks the line.
    const bool recheck = !info.hasValue || FirstNonBlank(line.text) == '[';
    // Only the value changes: everything after the "=" gives way to the new
    // value; the key keeps its spelling and its blanks.
    std::string text = info.hasValue ? line.text.substr(0, info.valueStart) : line.text + "=";
    text.append(value);
    line.text = std::move(text);
    if (HasLineBreak(value)) {
      Reparse();
    } else if (recheck) {
      LineInfo after = ParseLine(line.text);
      if (after.kind != LineKind::kEntry || !SameName(after.name, trimmedKey)) {
        Reparse();
      }
    }
    return true;
  }

  std::string entry = std::string(newKey) + "=" + std::string(value);
  const uint32_t at = InsertAfter(sections_[sectionId].lastNonBlank, std::move(entry));
  LineInfo info = ParseLine(lines_[at].text);
  if (HasLineBreak(lines_[at].text) || info.kind != LineKind::kEntry) {
    Reparse();
    return true;
  }
  sections_[sectionId].lastNonBlank = at;
  // A new line is the section's last, so an earlier key of its name wins.
  sections_[sectionId].keys.try_emplace(UpperAscii(info.name), at);
  return true;
}

const ProfileDocument::Section* ProfileDocument::FindSection(std::string_view section) {
  auto found = byName_.find(UpperAscii(TrimBlanks(CutAtNul(section))));
  if (found == byName_.end()) return nullptr;
  Section& s = sections_[found->second];
  if (!s.keysIndexed) IndexKeys(s);
  return &s;
}

void ProfileDocument::Unlink(uint32_t line) {
  uint32_t before = 0;
  while (lines_[before].next != line) before = lines_[before].next;
  lines_[before].next = lines_[line].next;
  if (tail_ == line) tail_ = before;
}

bool ProfileDocument::Delete(std::string_view section, std::string_view key) {
  const Section* s = FindSection(section);
  if (!s) return false;
  auto keyIt = s->keys.find(TrimBlanks(CutAtNul(key)));
  if (keyIt == s->keys.end()) return false;
  Unlink(keyIt->second);
  Reparse();  // a later key of the same name may now be the one that counts
  return true;
}

bool ProfileDocument::DeleteSection(std::string_view section) {
  const Section* s = FindSection(section);
  if (!s) return false;
  // The part before the first header has no header line of its own.
  uint32_t first = s->start == 0 ? lines_[0].next : s->start;
  std::vector<uint32_t> doomed;
  for (uint32_t i = first; i != kEnd; i = lines_[i].next) {
    if (i != s->start && lines_[i].header) break;
    doomed.push_back(i);
  }
  if (doomed.empty()) return false;
  for (uint32_t i : doomed) Unlink(i);
  Reparse();
  return true;
}

std::string ProfileDocument::Serialize() const {
  static constexpr std::string_view kEnding[] = {"", "\r\n", "\n", "\r"};
  std::string out = prefix_;
  for (uint32_t i = lines_[0].next; i != kEnd; i = lines_[i].next) {
    out += lines_[i].text;
    out += kEnding[lines_[i].eol];
  }
  return out;
}

}  // namespace common
