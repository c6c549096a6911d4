// The character view: what the three character frames show for one account,
// read from its account file and the item files its inventory slots name.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/accounts_state.h"
#include "common/status.h"

namespace calmet {

// Characters per account (sections CHAR1..CHAR3) and inventory slots per
// character (keys suffixed 1..100).
inline constexpr int kCharacters = 3;
inline constexpr int kSlots = 100;

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
  // Not OK when the account file is there but cannot be read: the view then
  // holds no values at all (a missing file still reads as empty values).
  common::Status status;
};

// The box the window shows for an account it cannot read, above the reason.
inline constexpr char kAccountUnreadable[] = "This account could not be read:";
inline constexpr char kAccountUnreadableTitle[] = "Account not shown.";

// The caption of character position `position` (1..3) when it holds no one.
std::string DefaultCaption(int position);

// Reads the account file `fileName` in the accounts folder (a real entry name
// from ListAccounts) and the item files its slots name. Returns nullopt, and
// reads nothing, while state.WipeInProgress is set. Never shows a value that
// belongs to another slot, character or account: an unreadable item number
// is a free slot, an unreadable item type is not type 12, an unreadable
// access level has no word.
std::optional<AccountView> ShowAccount(std::string_view fileName, const AccountsState& state);

}  // namespace calmet
