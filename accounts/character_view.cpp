#include "accounts/character_view.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <unordered_map>

#include "common/file_search.h"
#include "common/item_layout.h"
#include "common/profile.h"
#include "common/server_layout.h"
#include "common/steady_read.h"
#include "common/text_util.h"
#include "common/trusted_folder.h"
#include "common/unique_fd.h"
#include "common/visible_text.h"

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

// The item record the converter wrote at `name`, read without following a
// link the operator did not make and without waiting on a FIFO: an ordinary
// file of the record's size, or a longer one (the converter writes over an
// older file without shortening it) whose start is the record, as the
// server reads it. False for anything else.
bool ReadConvertedItem(const common::Folder& items, const std::string& name, common::ItemRec* rec) {
  common::UniqueFd fd;
  struct stat st;
  if (!common::OpenFile(items, common::ResolveName(items, name), O_RDONLY, 0, &fd, &st).ok()) {
    return false;
  }
  // The record and one byte more, which tells whether a tail follows; the
  // tail itself, however long, is not read.
  std::string bytes;
  bool complete = false;
  if (!common::ReadAllAt(items.fs(), fd.get(), items.HostOf(name), common::kItemRecSize + 1, &bytes,
                         &complete)
           .ok()) {
    return false;
  }
  size_t used = 0;
  return common::kItemLayout
      .Decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), rec, &used)
      .ok();
}

// A fixed-width text without the padding the record gives it: trailing
// spaces (the converter's) and NULs.
std::string TrimPadding(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

// Looks an item up once per display; a missing file or section reads as an
// empty name, and a type that does not convert is not type 12.
const ItemInfo& LookUpItem(const common::Folder& items, int32_t number,
                           std::unordered_map<int32_t, ItemInfo>& cache) {
  auto it = cache.find(number);
  if (it != cache.end()) return it->second;
  const std::string section = common::layout::kItems.sectionPrefix + common::Dec(number);
  const std::string file = common::layout::kItemFileStem + common::Dec(number) + ".dat";
  ItemInfo info;
  const common::ProfileReader itemFile(items, file);
  const common::ProfileReader::Section found = itemFile.InSection(section);
  common::ItemRec rec;
  // A file that is not there is not looked for a second time.
  if (!found.exists() && !itemFile.status().IsNotFound() && ReadConvertedItem(items, file, &rec)) {
    info.name = TrimPadding(rec.Name);
    info.bracketed = rec.Type == 12;
  } else {
    info.name = found.Get("Name");
    std::optional<uint8_t> type = ConvertByte(found.Get("Type"));
    info.bracketed = type && *type == 12;
  }
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

Box UnreadableBox(const common::Status& why) {
  return {std::string(kAccountUnreadable) + "\n" + common::VisibleName(why.message()),
          kAccountUnreadableTitle, common::MsgIcon::Stop, ""};
}

AccountReader::AccountReader(const common::ServerFolder& server) {
  common::Folder root;
  accountsStatus_ = server.OpenRoot(&root);
  if (accountsStatus_.ok()) {
    accountsStatus_ = common::OpenFolderBelow(root, common::layout::kAccountsFolder, &accounts_);
  }
  // An items folder without an ordinary file names no item: the view then
  // shows no inventory lines at all.
  if (root.valid() && common::OpenFolderBelow(root, common::layout::kItemsFolder, &items_).ok() &&
      common::FindFirstFileIn(items_, "*").empty()) {
    items_ = common::Folder();
  }
}

AccountView AccountReader::Show(std::string_view fileName, ViewDepth depth) const {
  AccountView view;
  // One version of the account for the whole view, checked once rather than
  // once for each of its several hundred keys. With no accounts folder the
  // account reads as a missing file: empty values.
  std::optional<common::ProfileReader> reader;
  common::Status status = accountsStatus_;
  if (accounts_.valid()) {
    reader.emplace(accounts_, fileName);
    status = reader->status();
  }
  if (!status.ok() && !status.IsNotFound()) {
    view.status = status;
    for (int c = 1; c <= kCharacters; ++c) view.characters[c - 1].caption = DefaultCaption(c);
    return view;
  }
  // Each character's section is found once for all of its keys; a section
  // of a missing file reads every key as "".
  std::array<common::ProfileReader::Section, kCharacters> sections{};
  if (reader) {
    for (int c = 1; c <= kCharacters; ++c)
      sections[c - 1] = reader->InSection("CHAR" + common::Dec(c));
  }

  for (int c = 1; c <= kCharacters; ++c) {
    CharacterView& ch = view.characters[c - 1];
    const common::ProfileReader::Section& section = sections[c - 1];
    ch.str = section.Get("STR");
    ch.def = section.Get("DEF");
    ch.spd = section.Get("SPEED");
    ch.magi = section.Get("MAGI");
    ch.access = section.Get("Access");
    std::optional<uint8_t> access = ConvertByte(ch.access);
    ch.name = section.Get("Name");
    ch.level = section.Get("Level");
    if (ch.name.empty()) {
      ch.caption = DefaultCaption(c);
    } else {
      const char* word = access ? AccessWord(*access) : nullptr;
      ch.caption = ch.name + (word ? word : " - ") + ch.level;
    }
  }

  if (depth == ViewDepth::kCharactersOnly) return view;
  // The slots' values alone, or with the items' names, which need the
  // Items folder.
  const bool names = depth == ViewDepth::kFull;
  if (names && !items_.valid()) return view;

  std::unordered_map<int32_t, ItemInfo> itemCache;
  for (int c = 1; c <= kCharacters; ++c) {
    CharacterView& ch = view.characters[c - 1];
    const common::ProfileReader::Section& section = sections[c - 1];
    if (names) ch.inventory.reserve(kSlots);
    ch.slotValues.reserve(kSlots);
    for (int slot = 1; slot <= kSlots; ++slot) {
      const std::string s = common::Dec(slot);
      SlotView& values = ch.slotValues.emplace_back();
      values.slot = slot;
      values.value = section.Get("InvItemVal" + s);
      values.itemText = section.Get("InvItemNum" + s);
      const std::optional<int32_t> number = ConvertLong(values.itemText);
      values.item = number.value_or(0);
      if (!names) continue;
      if (!number || *number == 0) {
        ch.inventory.push_back(s + ": <free item slot>");
        continue;
      }
      const ItemInfo& item = LookUpItem(items_, *number, itemCache);
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

AccountView ShowAccount(const common::ServerFolder& server, std::string_view fileName,
                        ViewDepth depth) {
  return AccountReader(server).Show(fileName, depth);
}

}  // namespace calmet
