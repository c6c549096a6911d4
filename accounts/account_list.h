// The account listing: which account files the accounts folder holds and
// how the operator sees their names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "accounts/accounts_state.h"
#include "common/message_port.h"
#include "common/status.h"

namespace calmet {

// One listing of the accounts folder. `lines` are the names as the operator
// sees them (re-cased), `files` the real entry names at the same positions.
// Two files that differ only in case show the same line but keep their own
// file, so every read and write of a position reaches that position's file.
struct AccountListing {
  std::vector<std::string> lines;
  std::vector<std::string> files;
  std::string label;  // "No accounts found." or "Total Accounts: <n>"
  // OK, also for a missing folder (it holds no accounts); otherwise why the
  // folder could not be listed, and the listing is empty.
  common::Status status;
};

// The box the window shows when the listing's status is not OK: this text,
// a line break, and the status's message.
inline constexpr char kListFailed[] = "The accounts folder could not be read:";
inline constexpr char kListFailedTitle[] = "Accounts not listed.";

// The host's word re-casing: everything lowered, then the first character and
// each character after a space, tab, LF, VT, FF, CR or NUL raised. ASCII only.
std::string RecaseName(std::string_view name);

// Lists `folder` (a tool path; a trailing "\" is added when missing) in the
// host's order and keeps the entries whose re-cased name ends in ".ini".
// Sets state.TotalAccounts to the number kept. Entries whose names hold a "\"
// cannot be reached through a tool path and are passed over.
AccountListing ListAccounts(std::string_view folder, AccountsState& state);

// The box when the server folder has no items folder: the inventories then
// show no item names.
inline constexpr char kItemsMissing[] =
    "Please place this in the same folder as the server for optimal results.";
inline constexpr char kItemsMissingTitle[] = "Warning";

// What the program does at start, window or command: lists the server's
// accounts folder, shows the kListFailed box when it cannot be read and the
// kItemsMissing box when there is no items folder.
AccountListing StartListing(AccountsState& state, common::MessagePort& messages);

}  // namespace calmet
