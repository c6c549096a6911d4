#include "common/profile_index.h"

#include <limits>
#include <utility>

#include "common/profile_text.h"

namespace common {

using profile_text::LineInfo;
using profile_text::LineKind;

namespace {
constexpr uint32_t kSkipped = std::numeric_limits<uint32_t>::max();
}

uint32_t ProfileIndex::Hash(uint32_t section, std::string_view name) {
  uint32_t h = 2166136261u ^ (section * 0x9E3779B1u);
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
  sections_.emplace("", 0);  // the lines before the first header
  uint32_t current = 0;
  uint32_t sectionCount = 1;
  slots_.assign(64, 0);
  size_t pos = 0;
  while (pos < all.size()) {
    size_t contentEnd;
    size_t next = profile_text::NextLine(all, pos, &contentEnd);
    std::string_view line = all.substr(pos, contentEnd - pos);
    pos = next;
    LineInfo info = profile_text::ParseLine(line);
    if (info.kind == LineKind::kHeader) {
      std::string upper = UpperAscii(info.name);
      // Only the first section of a name is ever searched.
      auto [it, inserted] = sections_.emplace(std::move(upper), sectionCount);
      current = inserted ? sectionCount++ : kSkipped;
      continue;
    }
    if (info.kind != LineKind::kEntry || current == kSkipped) continue;
    const uint32_t hash = Hash(current, info.name);
    if (Find(current, info.name, hash)) continue;  // the first key of a name wins
    Entry e;
    e.hash = hash;
    e.section = current;
    e.nameOffset = static_cast<uint32_t>(info.name.data() - text_.data());
    e.nameLength = static_cast<uint32_t>(info.name.size());
    e.valueOffset = info.hasValue ? static_cast<uint32_t>(info.value.data() - text_.data()) : 0;
    e.valueLength = info.hasValue ? static_cast<uint32_t>(info.value.size()) : 0;
    if ((entries_.size() + 1) * 2 > slots_.size()) Grow();
    entries_.push_back(e);
    size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
      if (slots_[i] == 0) {
        slots_[i] = static_cast<uint32_t>(entries_.size());
        break;
      }
    }
  }
}

void ProfileIndex::Grow() {
  slots_.assign(slots_.size() * 2, 0);
  size_t mask = slots_.size() - 1;
  for (size_t n = 0; n < entries_.size(); ++n) {
    for (size_t i = entries_[n].hash & mask;; i = (i + 1) & mask) {
      if (slots_[i] == 0) {
        slots_[i] = static_cast<uint32_t>(n + 1);
        break;
      }
    }
  }
}

const ProfileIndex::Entry* ProfileIndex::Find(uint32_t section, std::string_view name,
                                              uint32_t hash) const {
  size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask; slots_[i] != 0; i = (i + 1) & mask) {
    const Entry& e = entries_[slots_[i] - 1];
    if (e.hash == hash && e.section == section &&
        SameName(std::string_view(text_).substr(e.nameOffset, e.nameLength), name))
      return &e;
  }
  return nullptr;
}

std::string ProfileIndex::Lookup(std::string_view section, std::string_view key) const {
  section = profile_text::TrimBlanks(CutAtNul(section));
  key = profile_text::TrimBlanks(CutAtNul(key));
  auto it = sections_.find(UpperAscii(section));
  if (it == sections_.end()) return "";
  const Entry* e = Find(it->second, key, Hash(it->second, key));
  if (!e) return "";
  std::string_view stored = std::string_view(text_).substr(e->valueOffset, e->valueLength);
  return std::string(profile_text::ValueForCaller(stored));
}

size_t ProfileIndex::memoryBytes() const {
  return text_.capacity() + entries_.capacity() * sizeof(Entry) +
         slots_.capacity() * sizeof(uint32_t) + sections_.size() * 64;
}

}  // namespace common
