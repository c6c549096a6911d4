// The account listing: which account files the accounts folder holds and
// how the operator sees their names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "accounts/account_boxes.h"
#include "accounts/accounts_state.h"
#include "common/server_folder.h"
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
  // The accounts folder's host path, for messages.
  std::string folder;
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

// Lists the accounts folder of `server` in the host's order and keeps the
// entries whose re-cased name ends in ".ini". Sets state.TotalAccounts to
// the number kept. Entries whose names hold a "\" cannot be reached through
// a tool path and are passed over.
AccountListing ListAccounts(const common::ServerFolder& server, AccountsState& state);

// The box when the server folder has no items folder: the inventories then
// show no item names.
inline constexpr char kItemsMissing[] =
    "Please place this in the same folder as the server for optimal results.";
inline constexpr char kItemsMissingTitle[] = "Warning";

// What the program does at start, window or command: lists the server's
// accounts folder; the kListFailed box when it cannot be read and the
// kItemsMissing box when there is no items folder, in that order.
struct AccountsStart {
  AccountListing listing;
  std::vector<Box> boxes;
};
AccountsStart StartListing(const common::ServerFolder& server, AccountsState& state);

// True when the folder `name` of `server` holds an ordinary file (the
// server's tools test the items and accounts folders so).
bool HoldsAFile(const common::ServerFolder& server, std::string_view name);

}  // namespace calmet
