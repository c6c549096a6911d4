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

AccountListing ListAccounts(const common::ServerFolder& server, AccountsState& state) {
  AccountListing listing;
  std::vector<std::string> entries;
  common::Folder folder;
  listing.status = server.OpenFolder(common::layout::kAccountsFolder, &folder);
  if (listing.status.ok()) {
    listing.folder = folder.host();
    listing.status = common::ListFolderIn(folder, "*.*", &entries);
  } else {
    listing.folder = server.HostPath(common::layout::kAccountsFolder);
  }
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

bool HoldsAFile(const common::ServerFolder& server, std::string_view name) {
  common::Folder folder;
  if (!server.OpenFolder(name, &folder).ok()) return false;
  return !common::FindFirstFileIn(folder, "*").empty();
}

AccountsStart StartListing(const common::ServerFolder& server, AccountsState& state) {
  AccountsStart start;
  start.listing = ListAccounts(server, state);
  if (!start.listing.status.ok()) {
    // The folder is there but could not be read: "No accounts found." alone
    // would hide that the accounts exist.
    start.boxes.push_back(
        {std::string(kListFailed) + "\n" + common::VisibleName(start.listing.status.message()),
         kListFailedTitle, common::MsgIcon::Stop, start.listing.folder});
  }
  if (!HoldsAFile(server, common::layout::kItemsFolder)) {
    start.boxes.push_back({kItemsMissing, kItemsMissingTitle, common::MsgIcon::None,
                           server.HostPath(common::layout::kItemsFolder)});
  }
  return start;
}

}  // namespace calmet
