// The copy of every account file the wipe can make first, so that an
// operator who wiped by mistake can put the inventories back.
#pragma once

#include <string>

#include "accounts/account_list.h"
#include "common/status.h"

namespace calmet {

// Copies each file of `listing` (its real entry names) from the accounts
// folder into the host folder `hostDir`, byte for byte and under the same
// name, and makes sure the copies are on disk: each is written to a hidden
// temporary file, flushed, renamed to its name and read back and compared
// with what was read from the account; the folder is flushed at the end.
//
// - `hostDir` and its missing parents are created; a new `hostDir` is
//   readable by its owner only, since account files hold passwords. Each
//   copy keeps its account's permission bits.
// - A backup never replaces a file: a copy already in `hostDir` with the
//   same bytes is taken as done (running the same backup again is safe), one
//   with other bytes fails, so an earlier backup is never lost.
// - `hostDir` may not be the accounts folder itself.
//
// The first failure ends the backup and names the file and the reason; the
// copies made so far stay.
common::Status BackUpAccounts(const AccountListing& listing, const std::string& hostDir);

}  // namespace calmet
