#include "common/profile_index.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "common/profile_text.h"
#include "common/text_util.h"

namespace common {

using profile_text::LineInfo;
using profile_text::LineKind;

uint32_t ProfileIndex::Hash(std::string_view name) { return static_cast<uint32_t>(NameHash(name)); }

uint32_t ProfileIndex::AddSection(std::string_view name, uint32_t nameOffset, uint32_t begin,
                                  uint32_t end) {
  const uint32_t hash = Hash(name);
  if ((sections_.size() + 1) * 2 > sectionSlots_.size()) GrowSectionSlots();
  const size_t mask = sectionSlots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const uint32_t slot = sectionSlots_[i];
    if (slot == 0) {
      sectionSlots_[i] = static_cast<uint32_t>(sections_.size() + 1);
      break;
    }
    const Section& other = sections_[slot - 1];
    if (other.nameHash == hash &&
        SameName(std::string_view(text_).substr(other.nameOffset, other.nameLength), name)) {
      return kNoSection;  // only the first section of a name is ever searched
    }
  }
  sections_.push_back(Section{nameOffset, static_cast<uint32_t>(name.size()), hash, begin, end});
  return static_cast<uint32_t>(sections_.size() - 1);
}

void ProfileIndex::GrowSectionSlots() {
  sectionSlots_.assign(std::max<size_t>(64, sectionSlots_.size() * 2), 0);
  const size_t mask = sectionSlots_.size() - 1;
  for (size_t n = 0; n < sections_.size(); ++n) {
    for (size_t i = sections_[n].nameHash & mask;; i = (i + 1) & mask) {
      if (sectionSlots_[i] == 0) {
        sectionSlots_[i] = static_cast<uint32_t>(n + 1);
        break;
      }
    }
  }
}

ProfileIndex::ProfileIndex(std::string text) : text_(std::move(text)) {
  // Offsets are kept in 32 bits; a profile file of 4 GiB is read up to there.
  std::string_view all(text_);
  if (all.size() > std::numeric_limits<uint32_t>::max() - 1)
    all = all.substr(0, std::numeric_limits<uint32_t>::max() - 1);
  const uint32_t size = static_cast<uint32_t>(all.size());
  AddSection("", 0, 0, size);  // the lines before the first header
  uint32_t current = 0;        // the section whose lines these are; kNoSection for a later namesake
  size_t pos = 0;
  while (pos < all.size()) {
    size_t contentEnd;
    const size_t next = profile_text::NextLine(all, pos, &contentEnd);
    std::string_view line = all.substr(pos, contentEnd - pos);
    // Only a line whose first non-blank is "[" can be a header; the others
    // wait until their section is read.
    std::string_view body = profile_text::TrimLeadingBlanks(line);
    if (!body.empty() && body.front() == '[') {
      LineInfo info = profile_text::ParseLine(line);
      if (info.kind == LineKind::kHeader) {
        if (current != kNoSection) sections_[current].end = static_cast<uint32_t>(pos);
        current = AddSection(info.name, static_cast<uint32_t>(info.name.data() - text_.data()),
                             static_cast<uint32_t>(next), size);
      }
    }
    pos = next;
  }
}

const ProfileIndex::Way& ProfileIndex::KeysOf(uint32_t section) const {
  Section& s = sections_[section];
  if (s.way >= 0 && ways_[s.way].owner == section) {
    ways_[s.way].lastUse = ++clock_;
    return ways_[s.way];
  }
  size_t victim = 0;
  for (size_t i = 1; i < kWays; ++i) {
    if (ways_[i].lastUse < ways_[victim].lastUse) victim = i;
  }
  Way& way = ways_[victim];
  way.owner = section;
  way.lastUse = ++clock_;
  s.way = static_cast<int32_t>(victim);

  const std::string_view all(text_);
  way.entries.clear();
  size_t pos = s.begin;
  while (pos < s.end) {
    size_t contentEnd;
    const size_t next = profile_text::NextLine(all, pos, &contentEnd);
    LineInfo info = profile_text::ParseLine(all.substr(pos, contentEnd - pos));
    pos = next;
    if (info.kind != LineKind::kEntry) continue;
    Entry e;
    e.hash = Hash(info.name);
    e.nameOffset = static_cast<uint32_t>(info.name.data() - text_.data());
    e.nameLength = static_cast<uint32_t>(info.name.size());
    e.valueOffset = info.hasValue ? static_cast<uint32_t>(info.value.data() - text_.data()) : 0;
    e.valueLength = info.hasValue ? static_cast<uint32_t>(info.value.size()) : 0;
    way.entries.push_back(e);
  }
  size_t slots = 4;
  while (slots < way.entries.size() * 2) slots *= 2;
  way.slots.assign(slots, 0);
  const size_t mask = slots - 1;
  for (size_t n = 0; n < way.entries.size(); ++n) {
    const Entry& e = way.entries[n];
    // The first key of a name wins.
    if (Find(way, all.substr(e.nameOffset, e.nameLength), e.hash)) continue;
    for (size_t i = e.hash & mask;; i = (i + 1) & mask) {
      if (way.slots[i] == 0) {
        way.slots[i] = static_cast<uint32_t>(n + 1);
        break;
      }
    }
  }
  return way;
}

const ProfileIndex::Entry* ProfileIndex::Find(const Way& way, std::string_view name,
                                              uint32_t hash) const {
  const size_t mask = way.slots.size() - 1;
  for (size_t i = hash & mask; way.slots[i] != 0; i = (i + 1) & mask) {
    const Entry& e = way.entries[way.slots[i] - 1];
    if (e.hash == hash &&
        SameName(std::string_view(text_).substr(e.nameOffset, e.nameLength), name))
      return &e;
  }
  return nullptr;
}

uint32_t ProfileIndex::FindSection(std::string_view section) const {
  section = profile_text::TrimBlanks(CutAtNul(section));
  const uint32_t hash = Hash(section);
  // A job reads the sections in the order the file holds them: the one
  // after the last found is tried first, next to it in memory, before the
  // table scattered over the whole file.
  if (const uint32_t next = lastFound_ + 1; next < sections_.size()) {
    const Section& s = sections_[next];
    if (s.nameHash == hash &&
        SameName(std::string_view(text_).substr(s.nameOffset, s.nameLength), section)) {
      lastFound_ = next;
      return next;
    }
  }
  const size_t mask = sectionSlots_.size() - 1;
  for (size_t i = hash & mask; sectionSlots_[i] != 0; i = (i + 1) & mask) {
    const uint32_t id = sectionSlots_[i] - 1;
    const Section& s = sections_[id];
    if (s.nameHash == hash &&
        SameName(std::string_view(text_).substr(s.nameOffset, s.nameLength), section)) {
      lastFound_ = id;
      return id;
    }
  }
  return kNoSection;
}

std::string ProfileIndex::Lookup(uint32_t section, std::string_view key) const {
  if (section >= sections_.size()) return "";
  const Way& way = KeysOf(section);
  key = profile_text::TrimBlanks(CutAtNul(key));
  const Entry* e = Find(way, key, Hash(key));
  if (!e) return "";
  std::string_view stored = std::string_view(text_).substr(e->valueOffset, e->valueLength);
  return std::string(profile_text::ValueForCaller(stored));
}

KeyList::KeyList(const std::vector<std::string_view>& names) {
  names_.reserve(names.size());
  hashes_.reserve(names.size());
  for (std::string_view name : names) {
    name = profile_text::TrimBlanks(CutAtNul(name));
    names_.emplace_back(name);
    hashes_.push_back(static_cast<uint32_t>(NameHash(name)));
  }
}

void ProfileIndex::LookupAll(uint32_t section, const KeyList& keys,
                             std::string_view* values) const {
  const size_t count = keys.size();
  for (size_t i = 0; i < count; ++i) values[i] = {};
  if (section >= sections_.size() || count == 0) return;
  const Section& s = sections_[section];
  // Which keys a line has settled: the first line of a name wins, even one
  // without "=", which holds no value and hides the later ones.
  char local[64];
  std::vector<char> many;
  char* settled = local;
  if (count > sizeof local) {
    many.resize(count);
    settled = many.data();
  }
  std::fill(settled, settled + count, 0);
  size_t open = count;
  const std::string_view all(text_);
  size_t pos = s.begin;
  while (pos < s.end && open > 0) {
    size_t contentEnd;
    const size_t next = profile_text::NextLine(all, pos, &contentEnd);
    const LineInfo info = profile_text::ParseLine(all.substr(pos, contentEnd - pos));
    pos = next;
    if (info.kind != LineKind::kEntry) continue;
    const uint32_t hash = Hash(info.name);
    // Every key of this name (a list may hold one twice) is settled here.
    for (size_t i = 0; i < count; ++i) {
      if (settled[i] || keys.hashes_[i] != hash || !SameName(keys.names_[i], info.name)) continue;
      settled[i] = 1;
      --open;
      if (info.hasValue) values[i] = profile_text::ValueForCaller(info.value);
    }
  }
}

std::string ProfileIndex::Lookup(std::string_view section, std::string_view key) const {
  return Lookup(FindSection(section), key);
}

size_t ProfileIndex::memoryBytes() const {
  size_t bytes = text_.capacity() + sections_.capacity() * sizeof(Section) +
                 sectionSlots_.capacity() * sizeof(uint32_t);
  for (const Way& way : ways_) {
    bytes += way.entries.capacity() * sizeof(Entry) + way.slots.capacity() * sizeof(uint32_t);
  }
  return bytes;
}

}  // namespace common
