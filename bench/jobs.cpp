#include "bench/jobs.h"

#include <QApplication>
#include <QProgressBar>
#include <memory>
#include <stdexcept>

#include "accounts/account_list.h"
#include "accounts/accounts_state.h"
#include "accounts/character_view.h"
#include "accounts/inventory_wipe.h"
#include "bench/floors.h"
#include "bench/fs_util.h"
#include "bench/measure.h"
#include "bench/server_folder.h"
#include "common/program_folder.h"
#include "common/qt/event_pump.h"
#include "common/server_folder.h"
#include "common/text_util.h"
#include "converter/converter_state.h"
#include "converter/page_click.h"

namespace bench {

namespace {

// Answers every box with its default button and remembers the first one, so
// that a job which skipped records cannot pass for a clean run.
class CountingMessages : public common::MessagePort {
 public:
  common::MsgAnswer Show(const std::string& prompt, const std::string& title,
                         common::MsgButtons buttons, common::MsgIcon) override {
    if (count++ == 0) first = title + ": " + prompt;
    if (buttons == common::MsgButtons::Ok) return common::MsgAnswer::Ok;
    return buttons == common::MsgButtons::YesNo ? common::MsgAnswer::Yes : common::MsgAnswer::No;
  }
  int count = 0;
  std::string first;
};

class BenchPageView : public vostrel::PageView {
 public:
  explicit BenchPageView(QProgressBar* bar) : bar_(bar) {}
  // As the converter window does: the loop runs when it is due.
  void PumpEventsOnce() override {
    if (bar_) pump_.PumpWhenDue();
  }
  // Around a job, as the window's: the bar is painted when the loop runs.
  void Begin() {
    if (bar_) pump_.Restart(bar_);
  }
  void End() {
    if (bar_) pump_.End();
  }
  void SetProgress(uint8_t percent) override {
    if (bar_) bar_->setValue(percent);
  }
  void SetStatus(vostrel::Page, const std::string& caption) override { status = caption; }
  bool StopRequested() override { return false; }
  common::MessagePort& Messages() override { return messages; }

  std::string status;
  CountingMessages messages;

 private:
  QProgressBar* bar_;
  common::EventPump pump_;
};

vostrel::Page PageOf(Conversion job) {
  switch (job) {
    case Conversion::kItems:
      return vostrel::Page::Items;
    case Conversion::kSpells:
      return vostrel::Page::Spells;
    case Conversion::kNPCs:
      return vostrel::Page::NPCs;
    case Conversion::kShops:
      return vostrel::Page::Shops;
    case Conversion::kSigns:
      return vostrel::Page::Signs;
    default:
      return vostrel::Page::Maps;
  }
}

bool IsMapJob(Conversion job) { return job == Conversion::kMaps || job == Conversion::kMaps98; }

}  // namespace

const std::vector<ConversionInfo>& Conversions() {
  static const std::vector<ConversionInfo> jobs = {
      {Conversion::kItems, "items", "items.ini", "Items"},
      {Conversion::kSpells, "spells", "spells.ini", "Spells"},
      {Conversion::kNPCs, "NPCs", "npcs.ini", "NPCs"},
      {Conversion::kShops, "shops", "shops.ini", "Shops"},
      {Conversion::kSigns, "signs", "signs.ini", "Signs"},
      {Conversion::kMaps, "maps", "", "newmaps"},
      {Conversion::kMaps98, "maps (Windows 98)", "", "newmaps"},
  };
  return jobs;
}

double RunConversion(const ConversionInfo& job, const std::string& folder, int max,
                     bool eventLoop) {
  common::SetProgramFolder(folder);
  std::unique_ptr<QApplication> app;
  std::unique_ptr<QProgressBar> bar;
  if (eventLoop) {
    static int argc = 1;
    static char name[] = "bench_tools";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QApplication>(argc, argv);
    bar = std::make_unique<QProgressBar>();
    bar->setRange(0, 100);
    bar->show();
    QCoreApplication::processEvents();
  }
  BenchPageView ui(bar.get());
  const common::ServerFolder server(folder);
  vostrel::ConverterState state;

  const double start = Now();
  ui.Begin();
  if (IsMapJob(job.job)) {
    vostrel::MapConvertClick(server, state, common::Dec(max),
                             job.job == Conversion::kMaps98 ? 1 : 0, ui);
  } else {
    vostrel::ConvertClick(server, state, PageOf(job.job), common::Dec(max), ui);
  }
  ui.End();
  const double seconds = Now() - start;

  if (ui.messages.count > 0) throw std::runtime_error("the job showed " + ui.messages.first);
  if (ui.status != vostrel::kStatusCompleted) {
    throw std::runtime_error("the job ended with the status \"" + ui.status + "\"");
  }
  return seconds;
}

double RunConversionFloor(const ConversionInfo& job, const std::string& folder,
                          const std::string& reference, int max) {
  const std::vector<std::string> names = FolderNames(reference);
  if (names.size() != static_cast<size_t>(max)) {
    throw std::runtime_error(reference + " does not hold one file per record");
  }
  std::vector<OutputFile> outputs;
  std::vector<std::string> legacy;
  outputs.reserve(names.size());
  for (const std::string& name : names) {
    outputs.push_back(
        {folder + "/" + job.output + "/" + name, ReadWholeFile(reference + "/" + name)});
    if (IsMapJob(job.job)) legacy.push_back(folder + "/maps/" + name);  // same names
  }

  const double start = Now();
  if (IsMapJob(job.job)) {
    FloorMaps(legacy, outputs);
  } else if (job.job == Conversion::kShops) {
    FloorReplaceRecords(folder + "/" + job.source, outputs);
  } else {
    FloorWriteRecords(folder + "/" + job.source, outputs);
  }
  return Now() - start;
}

double RunListing(const std::string& folder, int accounts, int iterations) {
  const common::ServerFolder server(folder);
  calmet::AccountsState state;
  size_t listed = 0;
  const double start = Now();
  for (int i = 0; i < iterations; ++i) {
    calmet::AccountListing listing = calmet::ListAccounts(server, state);
    listed = listing.files.size();
  }
  const double seconds = (Now() - start) / iterations;
  if (listed != static_cast<size_t>(accounts)) {
    throw std::runtime_error("the listing found " + std::to_string(listed) + " accounts");
  }
  return seconds;
}

double RunListingFloor(const std::string& folder, int accounts, int iterations) {
  size_t entries = 0;
  const double start = Now();
  for (int i = 0; i < iterations; ++i) entries = FloorListFolder(folder + "/Accounts");
  const double seconds = (Now() - start) / iterations;
  if (entries != static_cast<size_t>(accounts) + 2) throw std::runtime_error("floor listing short");
  return seconds;
}

double RunShow(const std::string& folder, const std::vector<int>& accounts) {
  const common::ServerFolder server(folder);
  std::vector<std::string> names;
  for (int a : accounts) names.push_back(AccountFileName(a));
  std::vector<calmet::AccountView> views;
  views.reserve(names.size());

  const double start = Now();
  for (const std::string& name : names) {
    calmet::AccountView view = calmet::ShowAccount(server, name);
    if (!view.status.ok()) throw std::runtime_error("no view of " + name);
    views.push_back(std::move(view));
  }
  const double seconds = (Now() - start) / static_cast<double>(names.size());

  // Every slot holds an item with a name; a slot shown free or nameless
  // means the item files were not read.
  for (const calmet::AccountView& view : views) {
    for (const calmet::CharacterView& ch : view.characters) {
      if (ch.inventory.size() != 100) throw std::runtime_error("a character shows no inventory");
      for (const std::string& line : ch.inventory) {
        if (line.find("<free item slot>") != std::string::npos || line.back() == ' ') {
          throw std::runtime_error("an inventory line reads \"" + line + "\"");
        }
      }
    }
  }
  return seconds;
}

double RunShowFloor(const std::string& folder, const std::vector<int>& accounts, int itemFiles) {
  std::vector<std::vector<std::string>> files;
  for (int a : accounts) {
    std::vector<std::string> paths = {folder + "/Accounts/" + AccountFileName(a)};
    for (int item : AccountItems(a, itemFiles)) {
      paths.push_back(folder + "/Items/Item" + std::to_string(item) + ".dat");
    }
    files.push_back(std::move(paths));
  }
  const double start = Now();
  for (const std::vector<std::string>& paths : files) FloorReadFiles(paths);
  return (Now() - start) / static_cast<double>(files.size());
}

double RunWipe(const std::string& folder, int accounts) {
  const common::ServerFolder server(folder);
  calmet::AccountsState state;
  calmet::AccountListing listing = calmet::ListAccounts(server, state);
  if (listing.files.size() != static_cast<size_t>(accounts)) {
    throw std::runtime_error("the listing found " + std::to_string(listing.files.size()) +
                             " accounts");
  }
  common::JobEvents events;
  const double start = Now();
  const common::JobResult result = calmet::WipeInventories(server, listing, events);
  const double seconds = Now() - start;
  if (!result.complete()) throw std::runtime_error("the wipe did not complete");
  return seconds;
}

double RunWipeFloor(const std::string& folder, int accounts, int itemFiles) {
  std::vector<OutputFile> files;
  files.reserve(static_cast<size_t>(accounts));
  for (int a = 0; a < accounts; ++a) {
    files.push_back({folder + "/Accounts/" + AccountFileName(a), AccountText(a, itemFiles, true)});
  }
  const double start = Now();
  FloorRewriteAccounts(files);
  return Now() - start;
}

}  // namespace bench
