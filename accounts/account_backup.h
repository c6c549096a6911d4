// The copy of every account file the wipe can make first, so that an
// operator who wiped by mistake can put the inventories back.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "accounts/account_list.h"
#include "common/status.h"

namespace calmet {

// Copies each file of `listing` (its real entry names) from the accounts
// folder into the host folder `hostDir`, byte for byte and under the same
// name, and makes sure the copies are on disk: each is written to a hidden
// temporary file, all are flushed, then renamed to their names, the folder
// is flushed, and each copy is read back and compared with what was read
// from its account. `progress`, when set, hears (copied, total) after each.
//
// - `hostDir` and its missing parents are created; a new `hostDir` is
//   readable by its owner only, since account files hold passwords. Each
//   copy keeps its account's permission bits.
// - A backup never replaces a file: a copy already in `hostDir` with the
//   same bytes is taken as done (running the same backup again is safe), one
//   with other bytes fails, so an earlier backup is never lost.
// - `hostDir` may not be the accounts folder itself.
//
// The first failure ends the backup and names the file and the reason; no
// temporary file is left, and copies already renamed stay.
common::Status BackUpAccounts(
    const AccountListing& listing, const std::string& hostDir,
    const std::function<void(int32_t done, int32_t total)>& progress = {});

}  // namespace calmet
