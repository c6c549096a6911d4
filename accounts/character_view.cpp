#include "accounts/character_view.h"

#include <charconv>
#include <cmath>
#include <unordered_map>

#include "common/file_search.h"
#include "common/profile.h"
#include "common/server_layout.h"
#include "common/text_util.h"
#include "common/trusted_folder.h"

namespace calmet {

namespace {

// The value of a decimal number text, rounded half to even; nullopt when the
// text is empty or not a plain decimal number.
std::optional<double> RoundedDecimal(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // Digits with an optional fraction, and at least one digit somewhere.
  size_t digits = 0;
  size_t i = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  }
  if (digits == 0 || i != text.size()) return std::nullopt;
  double value = 0;
  auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  // nearbyint follows the default rounding mode: to nearest, ties to even.
  value = std::nearbyint(value);
  return negative ? -value : value;
}

// The word a caption shows for an access level; null for a level without one.
const char* AccessWord(uint8_t access) {
  switch (access) {
    case 0:
      return " - Player - ";
    case 1:
      return " - Moderator - ";
    case 2:
      return " - Mapper - ";
    case 3:
      return " - Developer - ";
    case 4:
      return " - Owner - ";
    default:
      return nullptr;
  }
}

struct ItemInfo {
  std::string name;
  bool bracketed = false;  // type 12: the slot value is shown in brackets
};

// Looks an item up once per display; a missing file or section reads as an
// empty name, and a type that does not convert is not type 12.
const ItemInfo& LookUpItem(const common::Folder& items, int32_t number,
                           std::unordered_map<int32_t, ItemInfo>& cache) {
  auto it = cache.find(number);
  if (it != cache.end()) return it->second;
  const std::string section = common::layout::kItems.sectionPrefix + common::Dec(number);
  ItemInfo info;
  const common::ProfileReader itemFile(items, common::layout::kItemFileStem + common::Dec(number) + ".dat");
  info.name = itemFile.Get(section, "Name");
  std::optional<uint8_t> type = ConvertByte(itemFile.Get(section, "Type"));
  info.bracketed = type && *type == 12;
  return cache.emplace(number, std::move(info)).first->second;
}

}  // namespace

std::optional<uint8_t> ConvertByte(std::string_view text) {
  std::optional<double> v = RoundedDecimal(text);
  if (!v || *v < 0 || *v > 255) return std::nullopt;
  return static_cast<uint8_t>(*v);
}

std::optional<int32_t> ConvertLong(std::string_view text) {
  std::optional<double> v = RoundedDecimal(text);
  if (!v || *v < -2147483648.0 || *v > 2147483647.0) return std::nullopt;
  return static_cast<int32_t>(*v);
}

std::string DefaultCaption(int position) {
  switch (position) {
    case 1:
      return "Character One";
    case 2:
      return "Character Two";
    default:
      return "Character Three";
  }
}

std::optional<AccountView> ShowAccount(std::string_view fileName, const AccountsState& state,
                                       ViewDepth depth) {
  if (state.WipeInProgress) return std::nullopt;
  AccountView view;
  // One version of the account for the whole view, checked once rather than
  // once for each of its several hundred keys.
  const common::ProfileReader accountFile(common::layout::AccountFile(fileName));
  if (!accountFile.status().ok() && !accountFile.status().IsNotFound()) {
    view.status = accountFile.status();
    for (int c = 1; c <= kCharacters; ++c) view.characters[c - 1].caption = DefaultCaption(c);
    return view;
  }

  for (int c = 1; c <= kCharacters; ++c) {
    CharacterView& ch = view.characters[c - 1];
    const std::string section = "CHAR" + common::Dec(c);
    ch.str = accountFile.Get(section, "STR");
    ch.def = accountFile.Get(section, "DEF");
    ch.spd = accountFile.Get(section, "SPEED");
    ch.magi = accountFile.Get(section, "MAGI");
    std::optional<uint8_t> access = ConvertByte(accountFile.Get(section, "Access"));
    ch.name = accountFile.Get(section, "Name");
    ch.level = accountFile.Get(section, "Level");
    if (ch.name.empty()) {
      ch.caption = DefaultCaption(c);
    } else {
      const char* word = access ? AccessWord(*access) : nullptr;
      ch.caption = ch.name + (word ? word : " - ") + ch.level;
    }
  }

  if (depth == ViewDepth::kCharactersOnly) return view;
  if (!common::FileIsPresent(common::layout::kItemsFolder, false)) return view;
  // The item files are read relative to their folder, walked to once.
  common::Folder items;
  if (!common::OpenFolder(common::layout::ServerPath(common::layout::kItemsFolder), &items).ok()) {
    return view;
  }

  std::unordered_map<int32_t, ItemInfo> itemCache;
  for (int c = 1; c <= kCharacters; ++c) {
    CharacterView& ch = view.characters[c - 1];
    const std::string section = "CHAR" + common::Dec(c);
    ch.inventory.reserve(kSlots);
    ch.slotValues.reserve(kSlots);
    for (int slot = 1; slot <= kSlots; ++slot) {
      const std::string s = common::Dec(slot);
      SlotView& values = ch.slotValues.emplace_back();
      values.slot = slot;
      values.value = accountFile.Get(section, "InvItemVal" + s);
      std::optional<int32_t> number = ConvertLong(accountFile.Get(section, "InvItemNum" + s));
      if (!number || *number == 0) {
        ch.inventory.push_back(s + ": <free item slot>");
        continue;
      }
      const ItemInfo& item = LookUpItem(items, *number, itemCache);
      values.item = *number;
      values.name = item.name;
      if (item.bracketed) {
        ch.inventory.push_back(s + ": " + item.name + " (" + values.value + ")");
      } else {
        ch.inventory.push_back(s + ": " + item.name);
      }
    }
  }
  return view;
}

}  // namespace calmet
