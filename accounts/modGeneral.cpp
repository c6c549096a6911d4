#include "accounts/modGeneral.h"

#include <charconv>
#include <cmath>
#include <exception>
#include <unordered_map>

#include "common/file_search.h"
#include "common/profile.h"
#include "common/program_folder.h"
#include "common/text_util.h"

namespace calmet {

int32_t TotalAccounts = 0;
bool WipeInProgress = false;

namespace {

constexpr std::string_view kAccountsFolder = "\\Accounts\\";

bool StartsNewWord(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\0';
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char RaiseAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EndsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

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
const ItemInfo& LookUpItem(int32_t number, std::unordered_map<int32_t, ItemInfo>& cache) {
  auto it = cache.find(number);
  if (it != cache.end()) return it->second;
  const std::string n = common::Dec(number);
  const std::string file = common::ProgramFolder() + "\\Items\\Item" + n + ".dat";
  const std::string section = "ITEM" + n;
  ItemInfo info;
  const common::ProfileReader itemFile(file);
  info.name = itemFile.Get(section, "Name");
  std::optional<uint8_t> type = ConvertByte(itemFile.Get(section, "Type"));
  info.bracketed = type && *type == 12;
  return cache.emplace(number, std::move(info)).first->second;
}

}  // namespace

std::string RecaseName(std::string_view name) {
  std::string out(name);
  for (char& c : out) c = LowerAscii(c);
  for (size_t i = 0; i < out.size(); ++i) {
    if (i == 0 || StartsNewWord(out[i - 1])) out[i] = RaiseAscii(out[i]);
  }
  return out;
}

AccountListing ListAccounts(std::string_view folder) {
  AccountListing listing;
  std::string base(folder);
  if (!EndsWith(base, "\\")) base += "\\";
  int32_t count = 0;
  try {
    for (const std::string& entry : common::ListFolder(base + "*.*")) {
      std::string real = common::TrimAtNul(entry);
      std::string shown = RecaseName(real);
      if (!EndsWith(shown, ".ini")) continue;
      // A "\" inside a name would be taken for a separator and lead out of
      // the accounts folder.
      if (real.find('\\') != std::string::npos) continue;
      listing.lines.push_back(std::move(shown));
      listing.files.push_back(std::move(real));
      ++count;
    }
  } catch (const std::exception&) {
    // An unreadable folder lists what was found so far.
  }
  listing.label = count == 0 ? "No accounts found." : "Total Accounts: " + common::Dec(count);
  TotalAccounts = count;
  return listing;
}

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

std::optional<AccountView> ShowAccount(std::string_view fileName) {
  if (WipeInProgress) return std::nullopt;
  AccountView view;
  const std::string account =
      common::ProgramFolder() + std::string(kAccountsFolder) + std::string(fileName);
  // One version of the account for the whole view, checked once rather than
  // once for each of its several hundred keys.
  const common::ProfileReader accountFile(account);

  for (int c = 1; c <= kCharacters; ++c) {
    CharacterView& ch = view.characters[c - 1];
    const std::string section = "CHAR" + common::Dec(c);
    ch.str = accountFile.Get(section, "STR");
    ch.def = accountFile.Get(section, "DEF");
    ch.spd = accountFile.Get(section, "SPEED");
    ch.magi = accountFile.Get(section, "MAGI");
    std::optional<uint8_t> access = ConvertByte(accountFile.Get(section, "Access"));
    const std::string name = accountFile.Get(section, "Name");
    const std::string level = accountFile.Get(section, "Level");
    if (name.empty()) {
      ch.caption = DefaultCaption(c);
    } else {
      const char* word = access ? AccessWord(*access) : nullptr;
      ch.caption = name + (word ? word : " - ") + level;
    }
  }

  if (!common::FileIsPresent("\\Items\\", false)) return view;

  std::unordered_map<int32_t, ItemInfo> items;
  for (int c = 1; c <= kCharacters; ++c) {
    CharacterView& ch = view.characters[c - 1];
    const std::string section = "CHAR" + common::Dec(c);
    ch.inventory.reserve(kSlots);
    for (int slot = 1; slot <= kSlots; ++slot) {
      const std::string s = common::Dec(slot);
      std::optional<int32_t> number = ConvertLong(accountFile.Get(section, "InvItemNum" + s));
      if (!number || *number == 0) {
        ch.inventory.push_back(s + ": <free item slot>");
        continue;
      }
      const ItemInfo& item = LookUpItem(*number, items);
      if (item.bracketed) {
        ch.inventory.push_back(s + ": " + item.name + " (" +
                               accountFile.Get(section, "InvItemVal" + s) + ")");
      } else {
        ch.inventory.push_back(s + ": " + item.name);
      }
    }
  }
  return view;
}

namespace {

// Clears WipeInProgress however the wipe ends.
struct WipeFlag {
  WipeFlag() { WipeInProgress = true; }
  ~WipeFlag() { WipeInProgress = false; }
};

// One account's 900 inventory keys in one write. False when the file could
// not be written; it is left as it was then.
bool WipeAccount(const std::string& file) {
  try {
    common::ProfileEdit edit(file);
    for (int c = 1; c <= kCharacters; ++c) {
      const std::string section = "CHAR" + common::Dec(c);
      for (int slot = 1; slot <= kSlots; ++slot) {
        const std::string s = common::Dec(slot);
        edit.Set(section, "InvItemNum" + s, "0");
        edit.Set(section, "InvItemVal" + s, "0");
        edit.Set(section, "InvItemDur" + s, "0");
      }
    }
    return edit.Commit();
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

WipeResult WipeInventories(const AccountListing& accounts, WipeUi& ui) {
  WipeResult result;
  if (!common::FileIsPresent(kAccountsFolder, false) || TotalAccounts < 1) return result;
  result.ran = true;
  {
    WipeFlag flag;
    const int total = TotalAccounts;
    for (int p = 0; p < total; ++p) {
      ui.SelectAccount(p);
      if (static_cast<size_t>(p) < accounts.files.size()) {
        const std::string file = common::ProgramFolder() + std::string(kAccountsFolder) + accounts.files[p];
        if (!WipeAccount(file)) result.failed.push_back(accounts.lines[p]);
      }
      ui.SetProgress(static_cast<float>(static_cast<double>(p + 1) / total * 100.0));
    }

    if (result.failed.empty()) {
      ui.Messages().Show(kWipeDone, kWipeDoneTitle, common::MsgButtons::Ok, common::MsgIcon::None);
    } else {
      std::string text = kWipeFailed;
      for (const std::string& name : result.failed) text += "\n" + name;
      ui.Messages().Show(text, kWipeFailedTitle, common::MsgButtons::Ok, common::MsgIcon::Stop);
    }
    // Still frozen: this selection must not redraw the view.
    ui.SelectAccount(0);
  }
  return result;
}

}  // namespace calmet
