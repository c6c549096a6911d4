// The inventory wipe: every inventory slot of every listed account emptied,
// one account file at a time, told as it goes through the job's events.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "accounts/account_backup.h"
#include "accounts/account_boxes.h"
#include "accounts/account_list.h"
#include "common/job.h"
#include "common/message_port.h"
#include "common/server_folder.h"
#include "common/status.h"

namespace calmet {

inline constexpr char kWipeQuestion[] =
    "If you continue all players will lose everything in their inventory. This also will "
    "not work completely if your server is running.";
inline constexpr char kWipeQuestionTitle[] = "You are on the path to account inventory deletion.";
inline constexpr char kWipeDone[] = "Inventory wipe completed.";
inline constexpr char kWipeDoneTitle[] = "Inventories cleared.";
inline constexpr char kWipeFailed[] =
    "The inventories of these accounts could not be written and were not wiped:";
inline constexpr char kWipeFailedTitle[] = "Inventory wipe incomplete.";
// Before the reason, when the wiped accounts could not be flushed to disk.
inline constexpr char kWipeNotFlushed[] =
    "The wiped accounts could not be flushed to the disk, so a power cut could still undo "
    "the wipe: ";
// When the accounts folder holds no account file to wipe.
inline constexpr char kWipeNothing[] = "There are no account files to wipe in the Accounts folder.";
inline constexpr char kWipeNothingTitle[] = "Nothing to wipe.";

// The reason an account was left alone because another program (the game
// server) kept writing it while the wipe tried to.
inline constexpr char kChangedWhileWiped[] = "changed while being wiped";

// The job's name in its result.
inline constexpr char kWipeJob[] = "wipe";

// How an account a rewrite of the accounts did not do counts: a refusal,
// an account the server changed or removed is left alone on purpose
// (kSkipped); the rest are the system's failures (kFailed).
common::ItemProblem::Kind AccountProblemKind(const common::Status& s);

// Sets every inventory key ("InvItemNum", "InvItemVal", "InvItemDur", slots
// 1..100, sections CHAR1..CHAR3) of every listed account of `server` to
// "0", one file write per account, leaving every other byte of the file as
// it was, and flushes what it wrote once at the end.
//
// Items are list positions + 1: the result covers 1..accounts.files.size().
// An account not wiped is an ItemProblem named by its listed name, with why
// (kFailed when the system failed the write, kSkipped when the account was
// left alone on purpose); the wipe goes on with the next. The job asks
// events.StopRequested() after each account and stops there, between two
// accounts, when told to. It selects nothing and shows nothing: its caller
// turns the events and the result into a window's list and bar or a
// console's progress (WipeReport gives the box).
//
// Not started (result.started false, status why, no event told) when the
// accounts folder cannot be reached or holds no file, or nothing is listed:
// nothing to wipe, and nothing written.
//
// The game server may save an account at any moment: each account is read
// as it stands between the server's writes and replaced only while it is
// still the version read (common/profile.h, ProfileEdit); one that keeps
// changing is left as it was and named (kChangedWhileWiped). Links the
// operator did not make are not followed (common/trusted_folder.h).
// With `backup`, an account is wiped only when the bytes the wipe read are
// the bytes its backup holds (the same hash); otherwise it is left as it
// was and named, so that the backup always holds what the wipe removed.
//
// With `written`, ContentHash of the bytes each account's replace put on
// disk is put at its list position ("" for an account not wiped): a restore
// later knows whether the server has changed it since.
common::JobResult WipeInventories(const common::ServerFolder& server,
                                  const AccountListing& accounts, common::JobEvents& events,
                                  const BackupResult* backup = nullptr,
                                  std::vector<std::string>* written = nullptr);

// The box that ends a wipe that ran: kWipeDone, or kWipeFailed naming each
// account not wiped with why (and the flush that failed, and where a
// stopped wipe stopped). `folder` is the accounts folder it is about.
Box WipeReport(const common::JobResult& wipe, const std::string& folder);

}  // namespace calmet

namespace calmet {

// The wipe button, for the window and the command alike: asks kWipeQuestion
// and, on Yes, runs `beforeWipe`, then WipeInventories.
enum class WipeClickOutcome {
  kDeclined,    // the answer was No; nothing written
  kNotStarted,  // beforeWipe failed (box kWipeNotStarted); nothing written
  kNothing,     // no account file to wipe (box kWipeNothing)
  kWiped,       // every account wiped and flushed
  kIncomplete,  // some accounts not wiped, the flush failed, or it was stopped
};

struct WipeClickResult {
  WipeClickOutcome outcome = WipeClickOutcome::kDeclined;
  common::Status notStarted;  // why, for kNotStarted
  common::JobResult wipe;     // the wipe's result, once it was called
};

// The box shown, above the reason, when the step before the wipe fails.
inline constexpr char kWipeNotStarted[] = "The wipe was not started, nothing was changed:";
inline constexpr char kWipeNotStartedTitle[] = "Inventory wipe not started.";

// `beforeWipe` runs once the answer is Yes and before the first write (the
// window checks for the server and greys its list, the command checks and
// makes its backup); when it fails, the wipe does not start. `backup`,
// when given, is read by the wipe after `beforeWipe` has filled it. Only
// the question is shown here; ClickBox gives the box that ends the click.
WipeClickResult WipeClick(const common::ServerFolder& server, const AccountListing& accounts,
                          common::MessagePort& messages, common::JobEvents& events,
                          const std::function<common::Status()>& beforeWipe = {},
                          const BackupResult* backup = nullptr,
                          std::vector<std::string>* written = nullptr);

// The box that ends a click: kWipeNotStarted with why, kWipeNothing, or
// WipeReport; none when the answer was No.
std::optional<Box> ClickBox(const WipeClickResult& click, const AccountListing& accounts);

}  // namespace calmet
