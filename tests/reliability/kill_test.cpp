// Jobs killed with SIGKILL at random moments: every file they write is found
// afterwards either as it was or as the finished job leaves it, never cut or
// mixed, and what an interrupted write leaves behind trips up no later run.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "accounts/account_list.h"
#include "accounts/accounts_state.h"
#include "accounts/character_view.h"
#include "accounts/inventory_wipe.h"
#include "common/file_search.h"
#include "common/profile.h"
#include "common/program_folder.h"
#include "converter/converter_state.h"
#include "converter/profile_jobs.h"
#include "tests/reliability/reliability_support.h"
#include "tests/support/scratch_folder.h"

namespace {

using namespace reliability;
using Clock = std::chrono::steady_clock;

// Kills per job: over a hundred in all, spread over each job's whole run.
constexpr int kWipeKills = 55;
constexpr int kShopKills = 50;
constexpr int kShops = 150;

struct KillTally {
  int kills = 0;
  int beforeAnyWrite = 0;  // every file still old
  int midRun = 0;          // some files old, some new
  int afterLastWrite = 0;  // every file new
  int killsLeavingTemp = 0;
  size_t leftovers = 0;  // temporary files in the folder after the last kill
};

// Checks one folder after a kill against the old and the finished contents,
// and counts where the kill landed.
void CheckFolder(const std::string& folder, const std::map<std::string, std::string>& before,
                 const std::map<std::string, std::string>& after, KillTally& tally) {
  const std::map<std::string, std::string> now = Snapshot(folder);
  int olds = 0, news = 0;
  for (const auto& [name, bytes] : after) {
    auto it = now.find(name);
    auto old = before.find(name);
    if (it == now.end()) {
      // Only a file the job creates may be missing, and only as not yet made.
      EXPECT_TRUE(old == before.end()) << name << " vanished";
      ++olds;
      continue;
    }
    if (old != before.end() && it->second == old->second) {
      ++olds;
    } else if (it->second == bytes) {
      ++news;
    } else {
      ADD_FAILURE() << name << " is neither its old nor its new content (" << it->second.size()
                    << " bytes)";
    }
  }
  for (const auto& [name, bytes] : now) EXPECT_TRUE(after.count(name)) << "stray file " << name;
  ++tally.kills;
  if (news == 0) {
    ++tally.beforeAnyWrite;
  } else if (olds == 0) {
    ++tally.afterLastWrite;
  } else {
    ++tally.midRun;
  }
  const size_t leftovers = TempLeftovers(folder).size();
  if (leftovers > tally.leftovers) ++tally.killsLeavingTemp;
  tally.leftovers = leftovers;
}

void PrintTally(const char* job, const KillTally& t, Clock::duration fullRun, size_t leftovers,
                bool onTmpfs) {
  std::printf(
      "[ tally    ] %s%s: %d kills over a %lld ms run: %d before any write, %d mid-run, "
      "%d after the last write; %d kills left a temporary file, %zu left in all\n",
      job, onTmpfs ? " (tmpfs)" : "", t.kills,
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(fullRun).count()),
      t.beforeAnyWrite, t.midRun, t.afterLastWrite, t.killsLeavingTemp, leftovers);
}

std::string AccountFile(int i) {
  std::string s;
  for (int c = 1; c <= 3; ++c) {
    s += "[CHAR" + std::to_string(c) + "]\r\n";
    if ((i + c) % 3 != 0) {
      s += "Name=Player" + std::to_string(i) + "_" + std::to_string(c) +
           "\r\nLevel=" + std::to_string(i + c) +
           "\r\nAccess=1\r\nSTR=5\r\nDEF=6\r\nSPEED=7\r\nMAGI=8\r\n";
    }
    for (int slot = 1; slot <= (i * 7 + c) % 100; slot += 3) {
      const std::string n = std::to_string(slot);
      s += "InvItemNum" + n + "=" + std::to_string(slot * i + 1) + "\r\nInvItemVal" + n + "=" +
           std::to_string(i) + "\r\nInvItemDur" + n + "=9\r\n";
    }
    s += "\r\n";
  }
  s += "[Notes]\r\nbanned=no\r\n";
  return s;
}

calmet::AccountListing Listed(calmet::AccountsState& astate) {
  return calmet::ListAccounts(common::ServerFolder::Program(), astate);
}

void WipeHere() {
  calmet::AccountsState astate;
  calmet::AccountListing listing = Listed(astate);
  common::JobEvents quiet;
  static_cast<void>(calmet::WipeInventories(common::ServerFolder::Program(), listing, quiet));
}

TEST(KilledJobs, InventoryWipeLeavesEveryAccountOldOrWiped) {
  calmet::AccountsState astate;
  ScratchOnTmpfs ram;
  ScratchFolder expected;
  ScratchFolder work;
  std::map<std::string, std::string> before;
  for (int i = 0; i < 30; ++i) before["acc" + std::to_string(i) + ".ini"] = AccountFile(i);
  for (const ScratchFolder* f : {&expected, &work}) {
    f->MakeDir("Accounts");
    Restore(f->At("Accounts"), before);
  }

  common::SetProgramFolder(expected.path());
  const Clock::time_point start = Clock::now();
  ASSERT_TRUE(RunInChild(WipeHere));
  const Clock::duration fullRun = Clock::now() - start;
  const std::map<std::string, std::string> after = Snapshot(expected.At("Accounts"));
  ASSERT_EQ(after.size(), before.size());
  ASSERT_NE(after, before);
  ASSERT_TRUE(TempLeftovers(expected.At("Accounts")).empty());

  common::SetProgramFolder(work.path());
  const std::vector<std::string> listedBefore = Listed(astate).lines;
  std::mt19937 rng(20240607);
  const auto span = std::chrono::duration_cast<std::chrono::microseconds>(fullRun).count();
  KillTally tally;
  for (int k = 0; k < kWipeKills; ++k) {
    Restore(work.At("Accounts"), before);
    const std::chrono::microseconds delay(std::uniform_int_distribution<long long>(0, span)(rng));
    RunInChild(WipeHere, &delay);
    CheckFolder(work.At("Accounts"), before, after, tally);
    // Leftovers are hidden: not listed as accounts, not found by a search.
    EXPECT_EQ(Listed(astate).lines, listedBefore);
    EXPECT_FALSE(IsTempName(common::FindFirstFile(common::ProgramFolder() + "\\Accounts\\*")));
  }
  const size_t leftovers = TempLeftovers(work.At("Accounts")).size();
  PrintTally("inventory wipe", tally, fullRun, leftovers, ram.active());
  EXPECT_GT(tally.midRun, 0) << "no kill landed inside the run; the check proved nothing";

  // A run after all those kills, with their leftovers in place, finishes
  // the job.
  Restore(work.At("Accounts"), before);
  ASSERT_TRUE(RunInChild(WipeHere));
  EXPECT_EQ(Snapshot(work.At("Accounts")), after);
}

std::string ShopSource(int shops) {
  std::string s;
  for (int n = 1; n <= shops; ++n) {
    s += "[SHOP" + std::to_string(n) + "]\r\nName=Shop number " + std::to_string(n) +
         "\r\nJoinSay=Welcome\r\nLeaveSay=\r\n";
    if (n % 2) s += "FixesItems=1\r\n";
    for (int slot = 1; slot <= 8; ++slot) {
      if ((n + slot) % 3 == 0) continue;  // left empty: becomes "0"
      const std::string k = std::to_string(slot);
      s += "GiveItem" + k + "=" + std::to_string(n + slot) + "\r\nGiveValue" + k + "=2\r\nGetItem" +
           k + "=" + std::to_string(n * slot) + "\r\nGetValue" + k + "=1\r\n";
    }
  }
  return s;
}

void ConvertShopsHere() {
  vostrel::ConverterState cstate;
  cstate.MaxShops = kShops;
  common::JobEvents events;
  vostrel::ConvertShops(common::ServerFolder::Program(), cstate, events);
}

TEST(KilledJobs, ShopConversionLeavesEveryShopFileOldOrComplete) {
  ScratchOnTmpfs ram;
  ScratchFolder expected;
  ScratchFolder work;
  const std::string source = ShopSource(kShops);
  // Most shops have a file already, with keys and sections of their own that
  // must survive; every tenth is new.
  std::map<std::string, std::string> before;
  for (int n = 1; n <= kShops; ++n) {
    if (n % 10 == 0) continue;
    before["Shop" + std::to_string(n) + ".dat"] =
        "[SHOP" + std::to_string(n) +
        "]\r\nName=Old name\r\nKeeper=Bob\r\nGiveItem1=77\r\n\r\n"
        "[Hours]\r\nOpen=8\r\nClose=20\r\n";
  }
  for (const ScratchFolder* f : {&expected, &work}) {
    f->Write("shops.ini", source);
    f->MakeDir("Shops");
    Restore(f->At("Shops"), before);
  }

  common::SetProgramFolder(expected.path());
  const Clock::time_point start = Clock::now();
  ASSERT_TRUE(RunInChild(ConvertShopsHere));
  const Clock::duration fullRun = Clock::now() - start;
  const std::map<std::string, std::string> after = Snapshot(expected.At("Shops"));
  ASSERT_EQ(after.size(), static_cast<size_t>(kShops));
  EXPECT_NE(after.at("Shop1.dat").find("Keeper=Bob"), std::string::npos);
  ASSERT_TRUE(TempLeftovers(expected.At("Shops")).empty());

  common::SetProgramFolder(work.path());
  std::mt19937 rng(7411);
  const auto span = std::chrono::duration_cast<std::chrono::microseconds>(fullRun).count();
  KillTally tally;
  for (int k = 0; k < kShopKills; ++k) {
    Restore(work.At("Shops"), before);
    const std::chrono::microseconds delay(std::uniform_int_distribution<long long>(0, span)(rng));
    RunInChild(ConvertShopsHere, &delay);
    CheckFolder(work.At("Shops"), before, after, tally);
    EXPECT_FALSE(IsTempName(common::FindFirstFile(common::ProgramFolder() + "\\Shops\\*")));
  }
  const size_t leftovers = TempLeftovers(work.At("Shops")).size();
  PrintTally("shop conversion", tally, fullRun, leftovers, ram.active());
  EXPECT_GT(tally.midRun, 0) << "no kill landed inside the run; the check proved nothing";

  Restore(work.At("Shops"), before);
  ASSERT_TRUE(RunInChild(ConvertShopsHere));
  EXPECT_EQ(Snapshot(work.At("Shops")), after);
}

}  // namespace
