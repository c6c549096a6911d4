// The character view: what the three character frames show for one account,
// read from its account file and the item files its inventory slots name.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/account_boxes.h"
#include "common/server_folder.h"
#include "common/status.h"
#include "common/trusted_folder.h"

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

// One inventory slot as values, for callers that want more than its line.
struct SlotView {
  int slot = 0;          // 1..100
  int32_t item = 0;      // 0: a free slot (also for a number that does not convert)
  std::string name;      // the item's name, "" for a free slot
  std::string value;     // the InvItemVal text as the file holds it
  std::string itemText;  // the InvItemNum text as the file holds it
};

// What one character frame shows.
struct CharacterView {
  std::string caption;
  std::string str, def, spd, magi;
  // 100 lines in slot order, or none when the items folder has no file.
  std::vector<std::string> inventory;
  // The values behind the caption and each line: the Name, Level and
  // Access keys, and one entry per inventory line, at the same positions.
  std::string name, level, access;
  std::vector<SlotView> slotValues;
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
// That box, for the reason `why` (which names the file).
Box UnreadableBox(const common::Status& why);

// The caption of character position `position` (1..3) when it holds no one.
std::string DefaultCaption(int position);

// How much of the view to read: the whole view, or the captions and stats
// only, which reads no item file (a search over every account needs no more).
// kSlots reads the characters and their slots' values but no item file
// (no names, no inventory lines).
enum class ViewDepth { kFull, kCharactersOnly, kSlots };

// Reads the accounts of one server folder: the accounts and items folders
// are walked to once, when it is made, for all the accounts it then reads
// (a search reads thousands).
class AccountReader {
 public:
  explicit AccountReader(const common::ServerFolder& server);
  AccountReader(AccountReader&&) = default;

  // Reads the account file `fileName` (a real entry name from ListAccounts)
  // and the item files its slots name. Never shows a value that belongs to
  // another slot, character or account: an unreadable item number is a free
  // slot, an unreadable item type is not type 12, an unreadable access
  // level has no word.
  AccountView Show(std::string_view fileName, ViewDepth depth = ViewDepth::kFull) const;

 private:
  common::Folder accounts_;
  common::Status accountsStatus_;  // why accounts_ could not be opened
  common::Folder items_;           // not valid: no item file to name the items by
};

// One account, as AccountReader(server).Show does.
AccountView ShowAccount(const common::ServerFolder& server, std::string_view fileName,
                        ViewDepth depth = ViewDepth::kFull);

}  // namespace calmet
