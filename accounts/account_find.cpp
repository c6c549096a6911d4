#include "accounts/account_find.h"

#include "accounts/character_view.h"

namespace calmet {

namespace {

// The search both finds share: every listed account read to `depth`, and
// `visit` told of each one read.
common::JobResult SearchAccounts(
    const common::ServerFolder& server, const AccountListing& listing, ViewDepth depth,
    common::JobEvents& events, const std::function<void(int position, const AccountView&)>& visit) {
  const int32_t total = static_cast<int32_t>(listing.files.size());
  common::JobRun run(events, kFindJob, 1, total);
  // The folders are walked to once for the whole search.
  const AccountReader reader(server);
  run.Start();
  for (int32_t p = 0; p < total; ++p) {
    const int32_t item = p + 1;
    run.Before(item);
    const size_t at = static_cast<size_t>(p);
    const AccountView view = reader.Show(listing.files[at], depth);
    if (!view.status.ok()) {
      run.Problem({item, listing.lines[at], view.status, common::ItemProblem::Kind::kSkipped});
    } else {
      visit(p, view);
      run.Done(item);
    }
    if (item < total && run.StopNow()) break;
  }
  return run.Finish();
}

}  // namespace

common::JobResult FindAccounts(const common::ServerFolder& server, const AccountListing& listing,
                               const std::function<bool(std::string_view name)>& matches,
                               common::JobEvents& events, std::vector<int>* found) {
  found->clear();
  // Names only: a search reads no item file.
  return SearchAccounts(server, listing, ViewDepth::kCharactersOnly, events,
                        [&](int position, const AccountView& view) {
                          for (const CharacterView& ch : view.characters) {
                            if (!ch.name.empty() && matches(ch.name)) {
                              found->push_back(position);
                              break;
                            }
                          }
                        });
}

common::JobResult FindItemHolders(const common::ServerFolder& server, const AccountListing& listing,
                                  int32_t item, common::JobEvents& events,
                                  std::vector<ItemHolder>* found) {
  found->clear();
  return SearchAccounts(server, listing, ViewDepth::kSlots, events,
                        [&](int position, const AccountView& view) {
                          for (int c = 0; c < kCharacters; ++c) {
                            const CharacterView& ch = view.characters[c];
                            for (const SlotView& slot : ch.slotValues) {
                              if (slot.item != item) continue;
                              found->push_back({position, c + 1, ch.name, slot.slot, slot.value});
                            }
                          }
                        });
}

}  // namespace calmet
