// The inventory wipe: every inventory slot of every listed account emptied,
// one account file at a time, with the window kept up to date as it goes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "accounts/account_backup.h"
#include "accounts/account_list.h"
#include "accounts/accounts_state.h"
#include "common/message_port.h"
#include "common/status.h"

namespace calmet {

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
// Before the reason, when the wiped accounts could not be flushed to disk.
inline constexpr char kWipeNotFlushed[] =
    "The wiped accounts could not be flushed to the disk, so a power cut could still undo "
    "the wipe: ";
// When the accounts folder holds no account file to wipe.
inline constexpr char kWipeNothing[] = "There are no account files to wipe in the Accounts folder.";
inline constexpr char kWipeNothingTitle[] = "Nothing to wipe.";

// One account the wipe could not write; its file is as it was.
struct AccountNotWiped {
  std::string name;       // the listed name, as the failure box shows it
  common::Status status;  // why its file could not be written
};

struct WipeResult {
  bool ran = false;  // false: nothing listed or no account file
  std::vector<AccountNotWiped> failed;
  // The one flush of the accounts' file system after the last write; the
  // wipe is on disk only when it is OK.
  common::Status flushed;
};

// The reason an account was left alone because another program (the game
// server) kept writing it while the wipe tried to.
inline constexpr char kChangedWhileWiped[] = "changed while being wiped";

// Sets every inventory key ("InvItemNum", "InvItemVal", "InvItemDur", slots
// 1..100, sections CHAR1..CHAR3) of every listed account to "0", one file
// write per account, leaving every other byte of the file as it was. Stops
// at once, changing nothing, when the accounts folder holds no file or
// state.TotalAccounts < 1. Otherwise sets state.WipeInProgress, reports
// progress after each account, flushes what it wrote, shows the completion
// box (naming the accounts that could not be written, if any, and why),
// selects position 0 and clears state.WipeInProgress before returning.
//
// The game server may save an account at any moment: each account is read
// as it stands between the server's writes and replaced only while it is
// still the version read (common/profile.h, ProfileEdit); one that keeps
// changing is left as it was and named (kChangedWhileWiped). Links the
// operator did not make are not followed (common/trusted_folder.h).
// With `backup`, an account is wiped only when the bytes the wipe read are
// the bytes its backup holds (the same hash); otherwise it is left as it
// was and named, so that the backup always holds what the wipe removed.
WipeResult WipeInventories(const AccountListing& accounts, AccountsState& state, WipeUi& ui,
                           const BackupResult* backup = nullptr);

}  // namespace calmet

namespace calmet {

// The wipe button, for the window and the command alike: asks kWipeQuestion
// and, on Yes, runs `beforeWipe`, then WipeInventories, and says so when
// there was nothing to wipe.
enum class WipeClickOutcome {
  kDeclined,    // the answer was No; nothing written
  kNotStarted,  // beforeWipe failed (box kWipeNotStarted); nothing written
  kNothing,     // no account file to wipe (box kWipeNothing)
  kWiped,       // every account wiped
  kIncomplete,  // some accounts could not be written (named in the box)
};

struct WipeClickResult {
  WipeClickOutcome outcome = WipeClickOutcome::kDeclined;
  WipeResult wipe;
};

// The box shown, above the reason, when the step before the wipe fails.
inline constexpr char kWipeNotStarted[] = "The wipe was not started, nothing was changed:";
inline constexpr char kWipeNotStartedTitle[] = "Inventory wipe not started.";

// `beforeWipe` runs once the answer is Yes and before the first write (the
// window greys its list, the command makes its backup); when it fails, its
// status is shown in a stop box and the wipe does not start. `backup`, when
// given, is read by the wipe after `beforeWipe` has filled it.
WipeClickResult WipeClick(const AccountListing& accounts, AccountsState& state, WipeUi& ui,
                          const std::function<common::Status()>& beforeWipe = {},
                          const BackupResult* backup = nullptr);

}  // namespace calmet
