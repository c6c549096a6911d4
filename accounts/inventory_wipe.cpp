#include "accounts/inventory_wipe.h"

#include <exception>

#include "accounts/character_view.h"
#include "common/file_search.h"
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
common::Status WipeAccount(const std::string& file) {
  // The only exceptions here are the standard library's (out of memory);
  // one account failing that way must not end the wipe of the others.
  try {
    common::ProfileEdit edit(file);
    // An account removed since the listing stays removed: the wipe would
    // otherwise make a new file of nothing but inventory keys.
    if (edit.status().IsNotFound()) {
      return common::Status::NotFound(file + ": the account file is gone");
    }
    edit.SetAll(InventoryFill());
    return edit.Commit();
  } catch (const std::exception& e) {
    return common::Status::IOError(file + ": " + e.what());
  }
}

}  // namespace

WipeResult WipeInventories(const AccountListing& accounts, AccountsState& state, WipeUi& ui) {
  WipeResult result;
  if (!common::FileIsPresent(common::layout::kAccountsFolder, false) || state.TotalAccounts < 1) {
    return result;
  }
  result.ran = true;
  {
    WipeFlag flag(state);
    const int total = state.TotalAccounts;
    for (int p = 0; p < total; ++p) {
      ui.SelectAccount(p);
      if (static_cast<size_t>(p) < accounts.files.size()) {
        common::Status s = WipeAccount(common::layout::AccountFile(accounts.files[p]));
        if (!s.ok()) result.failed.push_back({accounts.lines[p], std::move(s)});
      }
      ui.SetProgress(static_cast<float>(static_cast<double>(p + 1) / total * 100.0));
    }

    if (result.failed.empty()) {
      ui.Messages().Show(kWipeDone, kWipeDoneTitle, common::MsgButtons::Ok, common::MsgIcon::None);
    } else {
      std::string text = kWipeFailed;
      for (const AccountNotWiped& account : result.failed)
        text += "\n" + common::VisibleName(account.name);
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
                          const std::function<common::Status()>& beforeWipe) {
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
  result.wipe = WipeInventories(accounts, state, ui);
  if (!result.wipe.ran) {
    // Say so rather than end with no word.
    messages.Show(kWipeNothing, kWipeNothingTitle, common::MsgButtons::Ok, common::MsgIcon::None);
    result.outcome = WipeClickOutcome::kNothing;
  } else {
    result.outcome =
        result.wipe.failed.empty() ? WipeClickOutcome::kWiped : WipeClickOutcome::kIncomplete;
  }
  return result;
}

}  // namespace calmet
