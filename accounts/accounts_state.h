// What the account inspector remembers between one procedure and the next.
// The window owns one and hands it to the procedures; tests build their own.
#pragma once

#include <cstdint>

namespace calmet {

struct AccountsState {
  // Number of accounts the last listing found; 0 before the first listing.
  int32_t TotalAccounts = 0;
  // True only while the window's wipe runs: the window then moves its list's
  // selection to each account the wipe reaches without showing it.
  bool WipeInProgress = false;
};

}  // namespace calmet
