#include "accounts/inventory_wipe.h"

#include <exception>

#include "accounts/character_view.h"
#include "common/atomic_file.h"
#include "common/binary_record.h"
#include "common/file_search.h"
#include "common/profile.h"
#include "common/profile_fill.h"
#include "common/server_layout.h"
#include "common/text_util.h"
#include "common/trusted_folder.h"
#include "common/visible_text.h"

namespace calmet {

namespace {

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

// Why one account was not wiped, and whether it was left alone on purpose
// or the system failed the write.
struct NotWiped {
  common::Status why;
  common::ItemProblem::Kind kind = common::ItemProblem::Kind::kSkipped;
};

// One account's 900 inventory keys in one write. When the file cannot be
// written it is left as it was and the result says why; when it was wiped,
// `hash` (when given) gets the hash of what it now holds.
NotWiped WipeAccount(const common::Folder& folder, const std::string& file,
                     const BackedUpAccount* backup, std::string* hash) {
  // The only exceptions here are the standard library's (out of memory);
  // one account failing that way must not end the wipe of the others.
  try {
    common::ProfileEdit edit(folder, file);
    edit.DeferFlush();
    bool backupDiffers = false;
    if (backup) {
      edit.Require([&](std::string_view read) {
        if (ContentHash(read) == backup->hash) return common::Status::OK();
        backupDiffers = true;
        return common::Status::IOError(folder.HostOf(file) +
                                       ": changed since it was backed up, so not wiped (the "
                                       "backup must hold what the wipe removes)");
      });
    }
    // An account removed since the listing stays removed: the wipe would
    // otherwise make a new file of nothing but inventory keys.
    if (edit.status().IsNotFound()) {
      return {common::Status::NotFound(folder.HostOf(file) + ": the account file is gone")};
    }
    edit.SetAll(InventoryFill());
    common::Status s = edit.Commit();
    if (s.IsChanged()) {
      return {common::Status::Changed(folder.HostOf(file) + ": " + kChangedWhileWiped)};
    }
    if (backupDiffers) return {std::move(s), common::ItemProblem::Kind::kSkipped};
    const common::ItemProblem::Kind kind = AccountProblemKind(s);
    if (s.ok() && hash) *hash = ContentHash(edit.Committed());
    return {std::move(s), kind};
  } catch (const std::exception& e) {
    return {common::Status::IOError(file + ": " + e.what()), common::ItemProblem::Kind::kFailed};
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

common::ItemProblem::Kind AccountProblemKind(const common::Status& s) {
  // A refusal, an account the server changed or removed: left alone. The
  // rest are the system's failures (a read-only file, a full disk).
  return common::IsRefusal(s) || s.IsChanged() || s.IsNotFound()
             ? common::ItemProblem::Kind::kSkipped
             : common::ItemProblem::Kind::kFailed;
}

common::JobResult WipeInventories(const common::ServerFolder& server,
                                  const AccountListing& accounts, common::JobEvents& events,
                                  const BackupResult* backup, std::vector<std::string>* written) {
  const int32_t total = static_cast<int32_t>(accounts.files.size());
  common::JobRun run(events, kWipeJob, 1, total);
  common::JobResult& result = run.result();
  // The folder is walked to once; every account is then opened relative to
  // it.
  common::Folder folder;
  common::Status reached = server.OpenFolder(common::layout::kAccountsFolder, &folder);
  if (reached.ok() && common::FindFirstFileIn(folder, "*").empty()) {
    reached = common::Status::NotFound(folder.host() + ": no account file");
  }
  if (!reached.ok() || total < 1) {
    // Nothing to wipe: no event, the caller says so.
    result.status =
        reached.ok() ? common::Status::NotFound(folder.host() + ": no account listed") : reached;
    return result;
  }
  common::RemoveStaleTempsIn(folder);
  if (written) written->assign(accounts.files.size(), std::string());
  run.Start();
  for (int32_t p = 0; p < total; ++p) {
    const int32_t item = p + 1;
    run.Before(item);
    const size_t at = static_cast<size_t>(p);
    const std::string& file = accounts.files[at];
    const BackedUpAccount* copy =
        backup && at < backup->accounts.size() ? &backup->accounts[at] : nullptr;
    NotWiped outcome;
    if (backup && (!copy || !copy->copied)) {
      outcome.why = NotBackedUp(file, copy);
    } else {
      outcome = WipeAccount(folder, file, copy, written ? &(*written)[at] : nullptr);
    }
    if (outcome.why.ok()) {
      run.Done(item);
    } else {
      run.Problem({item, accounts.lines[at], std::move(outcome.why), outcome.kind});
    }
    if (item < total && run.StopNow()) break;
  }
  // The accounts were replaced without flushing their folder each time: one
  // flush for the whole wipe makes every rename durable.
  result.flushed = common::FlushFileSystem(folder);
  return run.Finish();
}

Box WipeReport(const common::JobResult& wipe, const std::string& folder) {
  static const AccountJobTexts texts{kWipeDone, kWipeDoneTitle, kWipeFailed,    kWipeFailedTitle,
                                     "wipe",    "wiped",        kWipeNotFlushed};
  return AccountJobReport(wipe, texts, folder);
}

}  // namespace calmet

namespace calmet {

WipeClickResult WipeClick(const common::ServerFolder& server, const AccountListing& accounts,
                          common::MessagePort& messages, common::JobEvents& events,
                          const std::function<common::Status()>& beforeWipe,
                          const BackupResult* backup, std::vector<std::string>* written) {
  WipeClickResult result;
  if (messages.Show(kWipeQuestion, kWipeQuestionTitle, common::MsgButtons::YesNo,
                    common::MsgIcon::None) != common::MsgAnswer::Yes) {
    return result;
  }
  if (beforeWipe) {
    if (common::Status s = beforeWipe(); !s.ok()) {
      result.outcome = WipeClickOutcome::kNotStarted;
      result.notStarted = std::move(s);
      return result;
    }
  }
  result.wipe = WipeInventories(server, accounts, events, backup, written);
  if (!result.wipe.started) {
    result.outcome = WipeClickOutcome::kNothing;
  } else {
    result.outcome =
        result.wipe.complete() ? WipeClickOutcome::kWiped : WipeClickOutcome::kIncomplete;
  }
  return result;
}

std::optional<Box> ClickBox(const WipeClickResult& click, const AccountListing& accounts) {
  switch (click.outcome) {
    case WipeClickOutcome::kDeclined:
      return std::nullopt;
    case WipeClickOutcome::kNotStarted:
      return Box{
          std::string(kWipeNotStarted) + "\n" + common::VisibleName(click.notStarted.message()),
          kWipeNotStartedTitle, common::MsgIcon::Stop, accounts.folder};
    case WipeClickOutcome::kNothing:
      // Say so rather than end with no word.
      return Box{kWipeNothing, kWipeNothingTitle, common::MsgIcon::None, accounts.folder};
    case WipeClickOutcome::kWiped:
    case WipeClickOutcome::kIncomplete:
      break;
  }
  return WipeReport(click.wipe, accounts.folder);
}

}  // namespace calmet
