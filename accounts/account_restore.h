// Putting a wipe's backup back: every account file the backup holds is
// written over the account as it is now, through the same write path as
// the wipe, with its owner, group and mode as the backup recorded them.
#pragma once

#include <string>
#include <vector>

#include "accounts/account_boxes.h"
#include "accounts/wipe_backup.h"
#include "common/job.h"
#include "common/server_folder.h"

namespace calmet {

// The job's name in its result.
inline constexpr char kRestoreJob[] = "restore";

inline constexpr char kRestoreQuestion[] =
    "If you continue, every account this backup holds is put back as it was before the wipe; "
    "what the players did since on those accounts is lost.";
inline constexpr char kRestoreQuestionTitle[] = "You are about to restore accounts from a backup.";
inline constexpr char kRestoreDone[] = "Every account of the backup is back as it was.";
inline constexpr char kRestoreDoneTitle[] = "Accounts restored.";
inline constexpr char kRestoreFailed[] = "These accounts were not restored:";
inline constexpr char kRestoreFailedTitle[] = "Restore incomplete.";
inline constexpr char kRestoreNotFlushed[] =
    "The restored accounts could not be flushed to the disk: ";
inline constexpr char kBackupMismatchTitle[] = "Backup does not match its manifest.";

// The reason an account is left alone: its file is no longer what the wipe
// wrote, so the server (or someone) has changed it since.
inline constexpr char kChangedSinceWipe[] =
    "changed since the wipe, so not restored (--force restores it anyway)";

// Restores each file of `backup` (checked, matches() true) into the accounts
// folder of `server`. Items are manifest positions + 1. An account is
// written when its current content is what the wipe wrote, or with `force`
// whatever it is now (a missing one is made again); one that already holds
// the backed-up bytes is done without a write. Otherwise it is left alone
// (kSkipped, kChangedSinceWipe). Each account is read as it stands between
// the server's writes and replaced only while still that version
// (ReplaceFile), so its links, hard links and attributes are kept and a
// link the operator did not make is refused. Then its owner, group and mode
// are set as recorded; what the system does not allow (an operator who is
// not root cannot give a file away) is put into `notes`, one line each, and
// the account still counts as restored. Asks events.StopRequested() after
// each account; flushes the file system once at the end.
common::JobResult RestoreAccounts(const common::ServerFolder& server, const CheckedBackup& backup,
                                  bool force, common::JobEvents& events,
                                  std::vector<std::string>* notes);

// The box a restore from the backup folder `backup` ends with.
Box RestoreReport(const common::JobResult& result, const std::string& backup);

}  // namespace calmet
