#include "converter/modConvert.h"

#include <exception>
#include <stdexcept>

#include "common/binary_record.h"
#include "common/file_search.h"
#include "common/host_path.h"
#include "common/numeric_text.h"
#include "common/program_folder.h"
#include "common/text_util.h"

namespace vostrel {

int16_t MaxItems = 0, MaxSpells = 0, MaxSigns = 0, MaxShops = 0, MaxNPCs = 0;

std::vector<ItemRec> ItemTable;
std::vector<SpellRec> SpellTable;
std::vector<SignRec> SignTable;
std::vector<NPCRec> NPCTable;

namespace {

// Everything that differs between the five profile-file pages.
struct Kind {
  Page page;
  const char* sourceTested;   // name given to FileIsPresent
  const char* missingPrompt;  // the box when the source is missing
  const char* outputFolder;   // under the program folder, with separators
  int16_t* max;
  void (*makeTable)(int16_t max);  // null for a kind without a table
  void (*convert)(int32_t n);
};

template <typename Rec>
void MakeTable(std::vector<Rec>& table, int16_t max) {
  // Indices 1 to max, every element cleared; element 0 is never used.
  table.assign(max >= 1 ? static_cast<size_t>(max) + 1 : 0, Rec{});
}

const Kind kKinds[] = {
    {Page::Items, "\\items.ini", "Please place this in the same folder as items.ini", "\\Items\\",
     &MaxItems, [](int16_t max) { MakeTable(ItemTable, max); }, ConvertItem},
    {Page::Spells, "spells.ini", "Please place this in the same folder as spells.ini", "\\Spells\\",
     &MaxSpells, [](int16_t max) { MakeTable(SpellTable, max); }, ConvertSpell},
    // The sign converter takes a 16-bit number; the bound is a 16-bit
    // maximum, so the counter always fits.
    {Page::Signs, "signs.ini", "Please place this in the same folder as signs.ini", "\\Signs\\",
     &MaxSigns, [](int16_t max) { MakeTable(SignTable, max); },
     [](int32_t n) { ConvertSign(static_cast<int16_t>(n)); }},
    {Page::Shops, "shops.ini", "Please place this in the same folder as shops.ini", "\\Shops\\",
     &MaxShops, nullptr, ConvertShop},
    {Page::NPCs, "npcs.ini", "Please place this in the same folder as npcs.ini", "\\NPCs\\",
     &MaxNPCs, [](int16_t max) { MakeTable(NPCTable, max); }, ConvertNPC},
};

const Kind* KindOf(Page page) {
  for (const Kind& kind : kKinds) {
    if (kind.page == page) return &kind;
  }
  return nullptr;
}

// A reason short enough for a message box, even for a value thousands of
// characters long.
std::string Shortened(std::string reason) {
  constexpr size_t kMaxReason = 160;
  if (reason.size() > kMaxReason) reason = reason.substr(0, kMaxReason - 3) + "...";
  return reason;
}

// Converts one record; an error ends that record only and says why.
void ConvertOne(const Kind& kind, int32_t n, std::vector<SkippedRecord>& skipped) {
  try {
    kind.convert(n);
  } catch (const common::FieldOverflow& e) {
    skipped.push_back({n, Shortened(e.what())});  // names the field, the value and the range
  } catch (const common::RecordFileError& e) {
    skipped.push_back({n, Shortened(e.what())});  // names the file and the cause
  } catch (const std::out_of_range&) {
    skipped.push_back({n, "the number lies outside the record table"});
  } catch (const std::exception& e) {
    skipped.push_back({n, Shortened(e.what())});
  }
}

std::vector<SkippedRecord> RunJob(const Kind& kind, JobUi& ui) {
  std::vector<SkippedRecord> skipped;
  // A folder that holds no file is created; one that exists already makes
  // the creation fail harmlessly and is used as it is.
  const std::string folder = common::ProgramFolder() + kind.outputFolder;
  if (common::FindFirstFile(folder).empty()) common::CreateFolder(folder);

  const int32_t bound = *kind.max;
  for (int32_t n = 1; n <= bound; ++n) {
    ui.PumpEventsOnce();
    ConvertOne(kind, n, skipped);
    ReportProgress(ui, n, *kind.max);
    if (ui.StopRequested()) return skipped;
  }
  ui.SetStatus(kind.page, kStatusCompleted);
  return skipped;
}

constexpr size_t kListedSkips = 20;

std::string SkipReport(const std::vector<SkippedRecord>& skipped) {
  std::string text = skipped.size() == 1
                         ? "1 record was not converted; its old file was left as it was.\n"
                         : common::Dec(skipped.size()) +
                               " records were not converted; their old files were left as they "
                               "were.\n";
  for (size_t i = 0; i < skipped.size() && i < kListedSkips; ++i) {
    text += "\nRecord " + common::Dec(skipped[i].number) + ": " + skipped[i].reason;
  }
  if (skipped.size() > kListedSkips) {
    text += "\n... and " + common::Dec(skipped.size() - kListedSkips) + " more.";
  }
  return text;
}

}  // namespace

std::vector<SkippedRecord> ConvertItems(JobUi& ui) { return RunJob(*KindOf(Page::Items), ui); }
std::vector<SkippedRecord> ConvertSpells(JobUi& ui) { return RunJob(*KindOf(Page::Spells), ui); }
std::vector<SkippedRecord> ConvertSigns(JobUi& ui) { return RunJob(*KindOf(Page::Signs), ui); }
std::vector<SkippedRecord> ConvertShops(JobUi& ui) { return RunJob(*KindOf(Page::Shops), ui); }
std::vector<SkippedRecord> ConvertNPCs(JobUi& ui) { return RunJob(*KindOf(Page::NPCs), ui); }

void ConvertClick(Page page, const std::string& maxText, JobUi& ui) {
  const Kind* kind = KindOf(page);
  if (!kind || maxText.empty()) return;
  if (!common::FileIsPresent(kind->sourceTested, false)) {
    ui.Messages().Show(kind->missingPrompt, kTitleFileNotFound, common::MsgButtons::Ok, common::MsgIcon::None);
    return;
  }
  const std::optional<int16_t> max = ReadMaximum(maxText, ui);
  if (!max) return;
  *kind->max = *max;
  if (kind->makeTable) kind->makeTable(*max);
  ui.SetStatus(page, kStatusInitiated);

  const std::vector<SkippedRecord> skipped = RunJob(*kind, ui);
  // A job cut short by closing the window reports nothing more.
  if (!skipped.empty() && !ui.StopRequested()) {
    ui.Messages().Show(SkipReport(skipped), kTitleSkipped, common::MsgButtons::Ok, common::MsgIcon::Stop);
  }
}

}  // namespace vostrel
