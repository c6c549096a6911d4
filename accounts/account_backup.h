// The copy of every account file the wipe can make first, so that an
// operator who wiped by mistake can put the inventories back.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "accounts/account_list.h"
#include "common/job.h"
#include "common/server_folder.h"
#include "common/status.h"
#include "common/trusted_folder.h"

namespace calmet {

// The SHA-256 of `bytes`, as 32 raw bytes.
std::string ContentHash(std::string_view bytes);

// The whole of the ordinary file `name` of the backup folder `dir`, opened
// without following a link and without waiting: a backup holds real bytes.
common::Status ReadCopy(const common::Folder& dir, const std::string& name, std::string* bytes,
                        struct stat* st);

// A restore puts a backup's bytes back with the owner and mode its manifest
// lists, so a backup is only as trustworthy as whoever could write it. OK
// when only root or the user running the tool can have written the folder
// or file `st` describes (`host` names it): it belongs to one of them and
// has no group or world write bit. Otherwise a refusal naming the owner or
// the bit: a backup the server's account could have forged is neither made
// nor put back.
common::Status CheckBackupWriter(const struct stat& st, const std::string& host);

// What the backup holds of one listed account.
struct BackedUpAccount {
  bool copied = false;  // a copy of it is in the backup
  std::string hash;     // ContentHash of the bytes copied
  // Why there is no copy: the account could not be read as an ordinary
  // file (a link the operator did not make, a FIFO, gone, unreadable). The
  // wipe cannot write such an account either; it leaves it and names it.
  common::Status skipped;
  // The account as it was read: its size, owner, group and mode, which a
  // restore gives back.
  int64_t size = 0;
  uint32_t uid = 0, gid = 0, mode = 0;
};

// By listing position.
struct BackupResult {
  std::vector<BackedUpAccount> accounts;
};

// The job's name in its result.
inline constexpr char kBackupJob[] = "backup";

// Copies each file of `listing` (its real entry names) from the accounts
// folder of `server` into the host folder `hostDir`, byte for byte and under
// the same name, and makes sure the copies are on disk: each account is read
// as it stands between the server's writes, written to a hidden temporary
// file, all are flushed, then renamed to their names, the folder is flushed,
// and each copy is read back and compared with what was read from its
// account. `copies` tells, per account, what was copied (with the hash the
// wipe compares its own read with) or why it was not.
//
// Items are list positions + 1. An account that cannot be read is an
// ItemProblem (kSkipped), and the backup goes on: the wipe cannot write
// such an account either, it leaves it and names it. The job asks
// events.StopRequested() after each account and, told to stop, removes its
// temporary files and ends (stopped): then nothing counts as copied.
//
// - `hostDir` and its missing parents are created; a new `hostDir` is
//   readable by its owner only, since account files hold passwords. Each
//   copy keeps its account's permission bits.
// - A backup never replaces a file and never writes through a link: a copy
//   already in `hostDir` with the same bytes is taken as done (running the
//   same backup again is safe); an entry with other bytes, one that is not
//   an ordinary file (a link, a FIFO, a folder), or one that is an account
//   file itself fails the backup, so an earlier backup is never lost and the
//   backup always holds real bytes.
// - `hostDir` may not be the accounts folder itself, nor a folder
//   CheckBackupWriter refuses (a restore would refuse it).
// - Temporary files a killed backup left in `hostDir` are removed first.
//
// The first failure of the backup's own writes ends it: result.status (or
// result.flushed, for a flush) names the file and the reason; no temporary
// file is left, and copies already renamed stay. The wipe must not start
// then (BackupFailure).
// `opened`, when given, receives the backup folder as the job reached it.
common::JobResult BackUpAccounts(const common::ServerFolder& server, const AccountListing& listing,
                                 const std::string& hostDir, BackupResult* copies,
                                 common::JobEvents& events, common::Folder* opened = nullptr);

// The same into the open folder `backup` (made by the caller, say below the
// server folder through the trusted walk).
common::JobResult BackUpAccountsInto(const common::ServerFolder& server,
                                     const AccountListing& listing, const common::Folder& backup,
                                     BackupResult* copies, common::JobEvents& events);

// Why the wipe may not rely on a backup's result: it did not start, failed,
// was not flushed or was stopped. OK otherwise (accounts left out are named
// by the wipe, which does not wipe them).
common::Status BackupFailure(const common::JobResult& backup);

}  // namespace calmet
