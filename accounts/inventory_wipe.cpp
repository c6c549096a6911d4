#include "accounts/inventory_wipe.h"

#include <exception>

#include "accounts/character_view.h"
#include "common/atomic_file.h"
#include "common/binary_record.h"
#include "common/file_search.h"
#include "common/trusted_folder.h"
#include "common/profile.h"
#include "common/profile_fill.h"
#include "common/server_layout.h"
#include "common/text_util.h"
#include "common/visible_text.h"

namespace calmet {

namespace {

// Sets WipeInProgress for as long as it lives, however the wipe ends.
class WipeFlag {
 public:
  explicit WipeFlag(AccountsState& state) : state_(state) { state_.WipeInProgress = true; }
  ~WipeFlag() { state_.WipeInProgress = false; }
  WipeFlag(const WipeFlag&) = delete;
  WipeFlag& operator=(const WipeFlag&) = delete;

 private:
  AccountsState& state_;
};

// The wipe's edit of one account: every inventory key of every character
// section set to "0", slot by slot (number, value, durability), in the
// order the keys have always been written.
const common::KeyFiller& InventoryFill() {
  static const common::KeyFiller fill([] {
    common::KeyFill f;
    for (int c = 1; c <= kCharacters; ++c) f.sections.push_back("CHAR" + common::Dec(c));
    for (int slot = 1; slot <= kSlots; ++slot) {
      const std::string s = common::Dec(slot);
      for (const char* stem : {"InvItemNum", "InvItemVal", "InvItemDur"})
        f.keys.push_back(stem + s);
    }
    f.value = "0";
    return f;
  }());
  return fill;
}

// One account's 900 inventory keys in one write. When the file cannot be
// written it is left as it was and the status says why.
common::Status WipeAccount(const common::Folder& folder, const std::string& file,
                           const BackedUpAccount* backup) {
  // The only exceptions here are the standard library's (out of memory);
  // one account failing that way must not end the wipe of the others.
  try {
    common::ProfileEdit edit(folder, file);
    edit.DeferFlush();
    if (backup) {
      edit.Require([&](std::string_view read) {
        if (ContentHash(read) == backup->hash) return common::Status::OK();
        return common::Status::IOError(folder.HostOf(file) +
                                       ": changed since it was backed up, so not wiped (the "
                                       "backup must hold what the wipe removes)");
      });
    }
    // An account removed since the listing stays removed: the wipe would
    // otherwise make a new file of nothing but inventory keys.
    if (edit.status().IsNotFound()) {
      return common::Status::NotFound(folder.HostOf(file) + ": the account file is gone");
    }
    edit.SetAll(InventoryFill());
    common::Status s = edit.Commit();
    if (s.IsChanged()) {
      return common::Status::Changed(folder.HostOf(file) + ": " + kChangedWhileWiped);
    }
    return s;
  } catch (const std::exception& e) {
    return common::Status::IOError(file + ": " + e.what());
  }
}

// Why an account the backup holds no copy of is not wiped.
common::Status NotBackedUp(const std::string& file, const BackedUpAccount* backup) {
  if (backup && !backup->skipped.ok()) {
    return backup->skipped.WithContext("not backed up, so not wiped");
  }
  return common::Status::IOError(file + ": not in the backup, so not wiped");
}

}  // namespace

WipeResult WipeInventories(const AccountListing& accounts, AccountsState& state, WipeUi& ui,
                           const BackupResult* backup) {
  WipeResult result;
  if (!common::FileIsPresent(common::layout::kAccountsFolder, false) || state.TotalAccounts < 1) {
    return result;
  }
  result.ran = true;
  {
    WipeFlag flag(state);
    // The folder is walked to once; every account is then opened relative
    // to it. A folder that cannot be reached fails every account with why.
    common::Folder folder;
    const common::Status reached = common::OpenFolder(
        common::layout::ServerPath(common::layout::kAccountsFolder), &folder);
    if (reached.ok()) common::RemoveStaleTempsIn(folder);
    const int total = state.TotalAccounts;
    for (int p = 0; p < total; ++p) {
      ui.SelectAccount(p);
      if (static_cast<size_t>(p) < accounts.files.size()) {
        const std::string& file = accounts.files[static_cast<size_t>(p)];
        const BackedUpAccount* copy =
            backup && static_cast<size_t>(p) < backup->accounts.size()
                ? &backup->accounts[static_cast<size_t>(p)]
                : nullptr;
        common::Status s;
        if (!reached.ok()) {
          s = reached;
        } else if (backup && (!copy || !copy->copied)) {
          s = NotBackedUp(file, copy);
        } else {
          s = WipeAccount(folder, file, copy);
        }
        if (!s.ok()) result.failed.push_back({accounts.lines[static_cast<size_t>(p)], std::move(s)});
      }
      ui.SetProgress(static_cast<float>(static_cast<double>(p + 1) / total * 100.0));
    }
    // The accounts were replaced without flushing their folder each time:
    // one flush for the whole wipe makes every rename durable.
    if (reached.ok()) {
      result.flushed =
          common::FlushFileSystem(common::layout::ServerPath(common::layout::kAccountsFolder));
    }

    if (result.failed.empty() && result.flushed.ok()) {
      ui.Messages().Show(kWipeDone, kWipeDoneTitle, common::MsgButtons::Ok, common::MsgIcon::None);
    } else {
      std::string text;
      if (!result.failed.empty()) {
        text = kWipeFailed;
        for (const AccountNotWiped& account : result.failed) {
          text += "\n" + common::VisibleName(account.name) + " (" +
                  common::VisibleName(account.status.message()) + ")";
        }
      }
      if (!result.flushed.ok()) {
        if (!text.empty()) text += "\n\n";
        text += kWipeNotFlushed + common::VisibleName(result.flushed.message());
      }
      ui.Messages().Show(text, kWipeFailedTitle, common::MsgButtons::Ok, common::MsgIcon::Stop);
    }
    // Still frozen: this selection must not redraw the view.
    ui.SelectAccount(0);
  }
  return result;
}

}  // namespace calmet

namespace calmet {

WipeClickResult WipeClick(const AccountListing& accounts, AccountsState& state, WipeUi& ui,
                          const std::function<common::Status()>& beforeWipe,
                          const BackupResult* backup) {
  WipeClickResult result;
  common::MessagePort& messages = ui.Messages();
  if (messages.Show(kWipeQuestion, kWipeQuestionTitle, common::MsgButtons::YesNo,
                    common::MsgIcon::None) != common::MsgAnswer::Yes) {
    return result;
  }
  if (beforeWipe) {
    if (common::Status s = beforeWipe(); !s.ok()) {
      messages.Show(std::string(kWipeNotStarted) + "\n" + common::VisibleName(s.message()),
                    kWipeNotStartedTitle, common::MsgButtons::Ok, common::MsgIcon::Stop);
      result.outcome = WipeClickOutcome::kNotStarted;
      return result;
    }
  }
  result.wipe = WipeInventories(accounts, state, ui, backup);
  if (!result.wipe.ran) {
    // Say so rather than end with no word.
    messages.Show(kWipeNothing, kWipeNothingTitle, common::MsgButtons::Ok, common::MsgIcon::None);
    result.outcome = WipeClickOutcome::kNothing;
  } else {
    result.outcome =
        result.wipe.failed.empty() && result.wipe.flushed.ok() ? WipeClickOutcome::kWiped
                                                               : WipeClickOutcome::kIncomplete;
  }
  return result;
}

}  // namespace calmet
