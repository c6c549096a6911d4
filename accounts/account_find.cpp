#include "accounts/account_find.h"

#include "accounts/character_view.h"

namespace calmet {

common::JobResult FindAccounts(const common::ServerFolder& server, const AccountListing& listing,
                               const std::function<bool(std::string_view name)>& matches,
                               common::JobEvents& events, std::vector<int>* found) {
  found->clear();
  const int32_t total = static_cast<int32_t>(listing.files.size());
  common::JobRun run(events, kFindJob, 1, total);
  // The folders are walked to once for the whole search.
  const AccountReader reader(server);
  run.Start();
  for (int32_t p = 0; p < total; ++p) {
    const int32_t item = p + 1;
    run.Before(item);
    const size_t at = static_cast<size_t>(p);
    // Names only: a search reads no item file.
    const AccountView view = reader.Show(listing.files[at], ViewDepth::kCharactersOnly);
    if (!view.status.ok()) {
      run.Problem({item, listing.lines[at], view.status, common::ItemProblem::Kind::kSkipped});
    } else {
      for (const CharacterView& ch : view.characters) {
        if (!ch.name.empty() && matches(ch.name)) {
          found->push_back(p);
          break;
        }
      }
      run.Done(item);
    }
    if (item < total && run.StopNow()) break;
  }
  return run.Finish();
}

}  // namespace calmet
