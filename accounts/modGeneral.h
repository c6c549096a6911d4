// The account inspector's module: the account listing, the character view
// and the inventory wipe. Works on the server's files and plain values only;
// the window shows what these procedures return.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/message_port.h"

namespace calmet {

// Number of accounts the last listing found; 0 before the first listing.
extern int32_t TotalAccounts;
// True only while WipeInventories runs; the character view does nothing then.
extern bool WipeInProgress;

inline constexpr int kCharacters = 3;
inline constexpr int kSlots = 100;

// One listing of the accounts folder. `lines` are the names as the operator
// sees them (re-cased), `files` the real entry names at the same positions.
// Two files that differ only in case show the same line but keep their own
// file, so every read and write of a position reaches that position's file.
struct AccountListing {
  std::vector<std::string> lines;
  std::vector<std::string> files;
  std::string label;  // "No accounts found." or "Total Accounts: <n>"
};

// The host's word re-casing: everything lowered, then the first character and
// each character after a space, tab, LF, VT, FF, CR or NUL raised. ASCII only.
std::string RecaseName(std::string_view name);

// Lists `folder` (a tool path; a trailing "\" is added when missing) in the
// host's order and keeps the entries whose re-cased name ends in ".ini".
// Sets TotalAccounts to the number kept. Entries whose names hold a "\"
// cannot be reached through a tool path and are passed over.
AccountListing ListAccounts(std::string_view folder);

// The stricter conversions of the view: a decimal number with optional
// surrounding spaces and sign, rounded half to even. An empty text, a text
// that is not a number or a result out of range gives nullopt.
std::optional<uint8_t> ConvertByte(std::string_view text);
std::optional<int32_t> ConvertLong(std::string_view text);

// What one character frame shows.
struct CharacterView {
  std::string caption;
  std::string str, def, spd, magi;
  // 100 lines in slot order, or none when the items folder has no file.
  std::vector<std::string> inventory;
};

struct AccountView {
  std::array<CharacterView, kCharacters> characters;
};

// The caption of character position `position` (1..3) when it holds no one.
std::string DefaultCaption(int position);

// Reads the account file `fileName` in the accounts folder (a real entry name
// from ListAccounts) and the item files its slots name. Returns nullopt, and
// reads nothing, while a wipe runs. Never shows a value that belongs to
// another slot, character or account: an unreadable item number is a free
// slot, an unreadable item type is not type 12, an unreadable access level
// has no word.
std::optional<AccountView> ShowAccount(std::string_view fileName);

// What the wipe needs from the window.
class WipeUi {
 public:
  virtual ~WipeUi() = default;
  // Selects list position `position` as the wipe reaches it (its click
  // handler runs and finds WipeInProgress set).
  virtual void SelectAccount(int position) = 0;
  // The bar's new value, 0 to 100; shown at once (the wipe never yields).
  virtual void SetProgress(float percent) = 0;
  virtual common::MessagePort& Messages() = 0;
};

inline constexpr char kWipeQuestion[] =
    "If you continue all players will lose everything in their inventory. This also will "
    "not work completely if your server is running.";
inline constexpr char kWipeQuestionTitle[] = "You are on the path to account inventory deletion.";
inline constexpr char kWipeDone[] = "Inventory wipe completed.";
inline constexpr char kWipeDoneTitle[] = "Inventories cleared.";
inline constexpr char kWipeFailed[] =
    "The inventories of these accounts could not be written and were not wiped:";
inline constexpr char kWipeFailedTitle[] = "Inventory wipe incomplete.";

struct WipeResult {
  bool ran = false;                 // false: nothing listed or no account file
  std::vector<std::string> failed;  // listed names of accounts not written
};

// Sets every inventory key ("InvItemNum", "InvItemVal", "InvItemDur", slots
// 1..100, sections CHAR1..CHAR3) of every listed account to "0", one file
// write per account, leaving every other byte of the file as it was. Stops
// at once, changing nothing, when the accounts folder holds no file or
// TotalAccounts < 1. Otherwise reports progress after each account, shows
// the completion box (naming the accounts that could not be written, if
// any), selects position 0 and clears WipeInProgress before returning.
WipeResult WipeInventories(const AccountListing& accounts, WipeUi& ui);

}  // namespace calmet
