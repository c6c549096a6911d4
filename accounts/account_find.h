// Finding accounts by their characters' names: a job over every listed
// account that reads the characters only (no item file).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/account_list.h"
#include "common/job.h"
#include "common/server_folder.h"

namespace calmet {

// The job's name in its result.
inline constexpr char kFindJob[] = "find";

// Reads the characters of every account of `listing` and puts the list
// position of each account with a character whose name `matches` into
// `found`, in list order. Items are list positions + 1; an account that
// cannot be read is an ItemProblem (kSkipped, named by its listed name, why
// naming its file), and the search goes on. Asks events.StopRequested()
// after each account.
common::JobResult FindAccounts(const common::ServerFolder& server, const AccountListing& listing,
                               const std::function<bool(std::string_view name)>& matches,
                               common::JobEvents& events, std::vector<int>* found);

// One inventory slot that holds the item looked for.
struct ItemHolder {
  int position = 0;   // the account's list position
  int character = 0;  // 1..3
  std::string characterName;
  int slot = 0;       // 1..100
  std::string value;  // the InvItemVal text as the file holds it
};

// Reads the slots of every account of `listing` (no item file) and puts
// every slot whose InvItemNum reads as `item` into `found`, in list,
// character and slot order. Items of the job, problems and stops as for
// FindAccounts.
common::JobResult FindItemHolders(const common::ServerFolder& server, const AccountListing& listing,
                                  int32_t item, common::JobEvents& events,
                                  std::vector<ItemHolder>* found);

}  // namespace calmet
