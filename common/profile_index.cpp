#include "common/profile_index.h"

#include <cstring>
#include <limits>
#include <utility>

#include "common/profile_text.h"

namespace common {

using profile_text::LineInfo;
using profile_text::LineKind;

namespace {

// Where the line at `pos` ends and the next begins, as profile_text::NextLine
// says, found with memchr: a large file is mostly long runs without a break.
size_t NextLineFast(std::string_view text, size_t pos, size_t* contentEnd) {
  const char* base = text.data();
  const size_t n = text.size();
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

}  // namespace

uint32_t ProfileIndex::Hash(std::string_view name) {
  uint32_t h = 2166136261u;
  for (char c : name) {
    h ^= static_cast<unsigned char>(UpperAsciiChar(c));
    h *= 16777619u;
  }
  return h;
}

ProfileIndex::ProfileIndex(std::string text) : text_(std::move(text)) {
  // Offsets are kept in 32 bits; a profile file of 4 GiB is read up to there.
  std::string_view all(text_);
  if (all.size() > std::numeric_limits<uint32_t>::max() - 1)
    all = all.substr(0, std::numeric_limits<uint32_t>::max() - 1);
  byName_.emplace("", 0);  // the lines before the first header
  sections_.push_back(Section{0, static_cast<uint32_t>(all.size())});
  uint32_t current = 0;  // the section whose lines these are; kNoSection for a later namesake
  size_t lines = 0;
  size_t pos = 0;
  while (pos < all.size()) {
    size_t contentEnd;
    const size_t next = NextLineFast(all, pos, &contentEnd);
    ++lines;
    std::string_view line = all.substr(pos, contentEnd - pos);
    // Only a line whose first non-blank is "[" can be a header; the others
    // wait until their section is read.
    std::string_view body = profile_text::TrimLeadingBlanks(line);
    if (!body.empty() && body.front() == '[') {
      LineInfo info = profile_text::ParseLine(line);
      if (info.kind == LineKind::kHeader) {
        if (current != kNoSection) sections_[current].end = static_cast<uint32_t>(pos);
        // Only the first section of a name is ever searched.
        auto [it, inserted] =
            byName_.emplace(UpperAscii(info.name), static_cast<uint32_t>(sections_.size()));
        if (inserted) {
          current = static_cast<uint32_t>(sections_.size());
          sections_.push_back(
              Section{static_cast<uint32_t>(next), static_cast<uint32_t>(all.size())});
        } else {
          current = kNoSection;
        }
      }
    }
    pos = next;
  }
  // Room for every line as a key, claimed but not touched: a job that reads
  // one section after another then never moves what it has indexed.
  entries_.reserve(lines);
  slots_.reserve(lines * 2 + 2 * sections_.size());
}

void ProfileIndex::IndexKeys(Section& s) const {
  s.indexed = true;
  const std::string_view all(text_);
  const size_t first = entries_.size();
  size_t pos = s.begin;
  while (pos < s.end) {
    size_t contentEnd;
    const size_t next = NextLineFast(all, pos, &contentEnd);
    LineInfo info = profile_text::ParseLine(all.substr(pos, contentEnd - pos));
    pos = next;
    if (info.kind != LineKind::kEntry) continue;
    Entry e;
    e.hash = Hash(info.name);
    e.nameOffset = static_cast<uint32_t>(info.name.data() - text_.data());
    e.nameLength = static_cast<uint32_t>(info.name.size());
    e.valueOffset = info.hasValue ? static_cast<uint32_t>(info.value.data() - text_.data()) : 0;
    e.valueLength = info.hasValue ? static_cast<uint32_t>(info.value.size()) : 0;
    entries_.push_back(e);
  }
  const size_t count = entries_.size() - first;
  if (count == 0) return;
  uint32_t slots = 2;
  while (slots < count * 2) slots *= 2;
  s.firstSlot = static_cast<uint32_t>(slots_.size());
  s.slotCount = slots;
  slots_.resize(slots_.size() + slots, 0);
  const size_t mask = slots - 1;
  for (size_t n = first; n < entries_.size(); ++n) {
    const Entry& e = entries_[n];
    // The first key of a name wins.
    if (Find(s, all.substr(e.nameOffset, e.nameLength), e.hash)) continue;
    for (size_t i = e.hash & mask;; i = (i + 1) & mask) {
      uint32_t& slot = slots_[s.firstSlot + i];
      if (slot == 0) {
        slot = static_cast<uint32_t>(n + 1);
        break;
      }
    }
  }
}

const ProfileIndex::Entry* ProfileIndex::Find(const Section& s, std::string_view name,
                                              uint32_t hash) const {
  if (s.slotCount == 0) return nullptr;
  const size_t mask = s.slotCount - 1;
  const uint32_t* slots = slots_.data() + s.firstSlot;
  for (size_t i = hash & mask; slots[i] != 0; i = (i + 1) & mask) {
    const Entry& e = entries_[slots[i] - 1];
    if (e.hash == hash &&
        SameName(std::string_view(text_).substr(e.nameOffset, e.nameLength), name))
      return &e;
  }
  return nullptr;
}

uint32_t ProfileIndex::FindSection(std::string_view section) const {
  section = profile_text::TrimBlanks(CutAtNul(section));
  auto it = byName_.find(UpperAscii(section));
  return it == byName_.end() ? kNoSection : it->second;
}

std::string ProfileIndex::Lookup(uint32_t section, std::string_view key) const {
  if (section >= sections_.size()) return "";
  Section& s = sections_[section];
  if (!s.indexed) IndexKeys(s);
  key = profile_text::TrimBlanks(CutAtNul(key));
  const Entry* e = Find(s, key, Hash(key));
  if (!e) return "";
  std::string_view stored = std::string_view(text_).substr(e->valueOffset, e->valueLength);
  return std::string(profile_text::ValueForCaller(stored));
}

std::string ProfileIndex::Lookup(std::string_view section, std::string_view key) const {
  return Lookup(FindSection(section), key);
}

size_t ProfileIndex::memoryBytes() const {
  return text_.capacity() + entries_.capacity() * sizeof(Entry) +
         slots_.capacity() * sizeof(uint32_t) + sections_.capacity() * sizeof(Section) +
         byName_.size() * 64;
}

}  // namespace common
