// A large, deterministic server folder for the benchmark: legacy world data,
// legacy maps, accounts and profile-layout item files, all made from one
// fixed seed so that every run measures the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct FolderSize {
  int records = 32767;   // sections in each legacy profile file, legacy maps
  int accounts = 10000;  // account files in Accounts
  int itemFiles = 0;     // profile-layout files Items\Item<N>.dat
};

// Makes `root` (created when missing) into a server folder of the given
// size, with the output folders (Items, Spells, NPCs, Shops, Signs, newmaps)
// present. Throws std::runtime_error when a file cannot be written.
void MakeServerFolder(const std::string& root, const FolderSize& size);

// The text of account `index` (0-based), as the game server would have
// written it, its slots naming items 1 to `itemFiles`; with `wiped`, every
// inventory key holds "0" instead.
std::string AccountText(int index, int itemFiles, bool wiped);

// The file name of account `index` in Accounts.
std::string AccountFileName(int index);

// The item numbers that account `index` holds, slot by slot, character by
// character (300 numbers, all different, each from 1 to `itemFiles`).
std::vector<int> AccountItems(int index, int itemFiles);

// Rewrites every account file with its original (unwiped) text.
void RestoreAccounts(const std::string& root, int accounts, int itemFiles);

}  // namespace bench
