#include "accounts/account_list.h"

#include "common/file_search.h"
#include "common/server_layout.h"
#include "common/text_util.h"
#include "common/visible_text.h"

namespace calmet {

namespace {

bool StartsNewWord(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\0';
}

bool EndsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

}  // namespace

std::string RecaseName(std::string_view name) {
  std::string out(name);
  for (char& c : out) c = common::LowerAsciiChar(c);
  for (size_t i = 0; i < out.size(); ++i) {
    if (i == 0 || StartsNewWord(out[i - 1])) out[i] = common::UpperAsciiChar(out[i]);
  }
  return out;
}

AccountListing ListAccounts(std::string_view folder, AccountsState& state) {
  AccountListing listing;
  std::string base(folder);
  if (!EndsWith(base, "\\")) base += "\\";
  std::vector<std::string> entries;
  listing.status = common::ListFolder(base + "*.*", &entries);
  // A server that never had an account has no folder for them yet.
  if (listing.status.IsNotFound()) listing.status = common::Status::OK();
  int32_t count = 0;
  listing.lines.reserve(entries.size());
  listing.files.reserve(entries.size());
  for (std::string& entry : entries) {
    std::string real =
        entry.find('\0') == std::string::npos ? std::move(entry) : common::TrimAtNul(entry);
    std::string shown = RecaseName(real);
    if (!EndsWith(shown, ".ini")) continue;
    // A "\" inside a name would be taken for a separator and lead out of
    // the accounts folder.
    if (real.find('\\') != std::string::npos) continue;
    listing.lines.push_back(std::move(shown));
    listing.files.push_back(std::move(real));
    ++count;
  }
  listing.label = count == 0 ? "No accounts found." : "Total Accounts: " + common::Dec(count);
  state.TotalAccounts = count;
  return listing;
}

AccountListing StartListing(AccountsState& state, common::MessagePort& messages) {
  AccountListing listing =
      ListAccounts(common::layout::ServerPath(common::layout::kAccountsFolder), state);
  if (!listing.status.ok()) {
    // The folder is there but could not be read: "No accounts found." alone
    // would hide that the accounts exist.
    messages.Show(std::string(kListFailed) + "\n" + common::VisibleName(listing.status.message()),
                  kListFailedTitle, common::MsgButtons::Ok, common::MsgIcon::Stop);
  }
  if (!common::FileIsPresent(common::layout::kItemsFolder, false)) {
    messages.Show(kItemsMissing, kItemsMissingTitle, common::MsgButtons::Ok, common::MsgIcon::None);
  }
  return listing;
}

}  // namespace calmet
