// Finding accounts by their characters' names: a job over every listed
// account that reads the characters only (no item file).
#pragma once

#include <functional>
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

}  // namespace calmet
