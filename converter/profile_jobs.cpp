#include "converter/profile_jobs.h"

#include <exception>

#include "common/file_search.h"
#include "common/host_path.h"
#include "common/profile.h"
#include "common/server_layout.h"
#include "common/text_util.h"
#include "common/trusted_folder.h"
#include "converter/record_table.h"

namespace vostrel {

namespace {

// Everything that differs between the five profile-file pages.
struct Kind {
  Page page;
  const common::layout::ProfileKindFiles* files;
  const char* missingPrompt;  // the box when the source is missing
  int16_t ConverterState::*max;
  void (*makeTable)(ConverterState& state, int16_t max);  // null for a kind without a table
  common::Status (*convert)(ConverterState& state, int32_t n, RecordJob& job);
};

template <typename Rec>
void MakeTable(std::vector<Rec>& table, int16_t max) {
  // Indices 1 to max, every element cleared; element 0 is never used.
  table.assign(max >= 1 ? static_cast<size_t>(max) + 1 : 0, Rec{});
}

const Kind kKinds[] = {
    {Page::Items, &common::layout::kItems, "Please place this in the same folder as items.ini",
     &ConverterState::MaxItems, [](ConverterState& s, int16_t max) { MakeTable(s.ItemTable, max); },
     [](ConverterState& s, int32_t n, RecordJob& job) { return ConvertItem(s, n, job); }},
    {Page::Spells, &common::layout::kSpells, "Please place this in the same folder as spells.ini",
     &ConverterState::MaxSpells,
     [](ConverterState& s, int16_t max) { MakeTable(s.SpellTable, max); },
     [](ConverterState& s, int32_t n, RecordJob& job) { return ConvertSpell(s, n, job); }},
    // The sign converter takes a 16-bit number; the bound is a 16-bit
    // maximum, so the counter always fits.
    {Page::Signs, &common::layout::kSigns, "Please place this in the same folder as signs.ini",
     &ConverterState::MaxSigns, [](ConverterState& s, int16_t max) { MakeTable(s.SignTable, max); },
     [](ConverterState& s, int32_t n, RecordJob& job) {
       return ConvertSign(s, static_cast<int16_t>(n), job);
     }},
    {Page::Shops, &common::layout::kShops, "Please place this in the same folder as shops.ini",
     &ConverterState::MaxShops, nullptr,
     [](ConverterState&, int32_t n, RecordJob& job) { return ConvertShop(n, job); }},
    {Page::NPCs, &common::layout::kNPCs, "Please place this in the same folder as npcs.ini",
     &ConverterState::MaxNPCs, [](ConverterState& s, int16_t max) { MakeTable(s.NPCTable, max); },
     [](ConverterState& s, int32_t n, RecordJob& job) { return ConvertNPC(s, n, job); }},
};

const Kind* KindOf(Page page) {
  for (const Kind& kind : kKinds) {
    if (kind.page == page) return &kind;
  }
  return nullptr;
}

// The one place where a record that failed becomes a skipped record. The
// converters report through their Status; what the standard library throws
// (running out of memory) ends that record only, too.
void ConvertOne(const Kind& kind, ConverterState& state, int32_t n, RecordJob& job,
                std::vector<SkippedRecord>* skipped) {
  common::Status s;
  try {
    s = kind.convert(state, n, job);
  } catch (const std::exception& e) {
    s = common::Status::IOError(e.what());
  }
  if (!s.ok()) skipped->push_back({n, s.message()});
}

struct JobRun {
  std::vector<SkippedRecord> skipped;
  bool completed = false;  // every record tried and the files flushed
};

JobRun RunJob(const Kind& kind, ConverterState& state, JobUi& ui) {
  JobRun run;
  // A folder that holds no file is created. One that exists already makes
  // the creation fail, which is harmless: it is used as it is, and a folder
  // that truly cannot be made shows up as a skipped record for every file.
  const std::string folder = common::layout::ServerPath(kind.files->outputFolder);
  if (common::FindFirstFile(folder).empty()) common::CreateFolder(folder).IgnoreError();

  // The source is read, and the folder listed, once for the whole job.
  RecordJob job(*kind.files, RecordJob::Scope::kWholeJob);
  const int32_t bound = state.*kind.max;
  for (int32_t n = 1; n <= bound; ++n) {
    ui.PumpEventsOnce();
    ConvertOne(kind, state, n, job, &run.skipped);
    ReportProgress(state, ui, n, state.*kind.max);
    if (ui.StopRequested()) return run;
  }
  // Completed means on disk: a power cut after this loses nothing.
  if (!FlushJobOutput(folder, kind.page, ui)) return run;
  ui.SetStatus(kind.page, kStatusCompleted);
  run.completed = true;
  return run;
}

}  // namespace

std::vector<SkippedRecord> ConvertItems(ConverterState& state, JobUi& ui) {
  return RunJob(*KindOf(Page::Items), state, ui).skipped;
}
std::vector<SkippedRecord> ConvertSpells(ConverterState& state, JobUi& ui) {
  return RunJob(*KindOf(Page::Spells), state, ui).skipped;
}
std::vector<SkippedRecord> ConvertSigns(ConverterState& state, JobUi& ui) {
  return RunJob(*KindOf(Page::Signs), state, ui).skipped;
}
std::vector<SkippedRecord> ConvertShops(ConverterState& state, JobUi& ui) {
  return RunJob(*KindOf(Page::Shops), state, ui).skipped;
}
std::vector<SkippedRecord> ConvertNPCs(ConverterState& state, JobUi& ui) {
  return RunJob(*KindOf(Page::NPCs), state, ui).skipped;
}

JobOutcome ConvertClick(ConverterState& state, Page page, const std::string& maxText, JobUi& ui) {
  const Kind* kind = KindOf(page);
  if (!kind || maxText.empty()) return JobOutcome::kRefused;
  if (!common::FileIsPresent(kind->files->sourceTested, false)) {
    // A source that is there but refused (a link the operator did not make)
    // is named with the reason rather than called missing.
    if (const common::ProfileReader source(common::layout::ServerPath(kind->files->source));
        common::IsUntrustedLink(source.status())) {
      ui.Messages().Show(kPromptUnreadable + source.status().message(), kTitleUnreadable,
                         common::MsgButtons::Ok, common::MsgIcon::Stop);
      return JobOutcome::kFailed;
    }
    ui.Messages().Show(kind->missingPrompt, kTitleFileNotFound, common::MsgButtons::Ok,
                       common::MsgIcon::None);
    return JobOutcome::kFailed;
  }
  // A source that is there but cannot be read would make every record
  // blank; the job does not start, and the box says which file and why.
  if (const common::ProfileReader source(common::layout::ServerPath(kind->files->source));
      !source.status().ok() && !source.status().IsNotFound()) {
    ui.Messages().Show(kPromptUnreadable + source.status().message(), kTitleUnreadable,
                       common::MsgButtons::Ok, common::MsgIcon::Stop);
    return JobOutcome::kFailed;
  }
  const std::optional<int16_t> max = ReadMaximum(maxText, ui);
  if (!max) return JobOutcome::kRefused;
  // The last check before the job's first write (its output folder).
  if (!ClearToWrite(ui)) return JobOutcome::kServerRunning;
  state.*kind->max = *max;
  if (kind->makeTable) kind->makeTable(state, *max);
  ui.SetStatus(page, kStatusInitiated);

  const JobRun run = RunJob(*kind, state, ui);
  // A job cut short by closing the window reports nothing more.
  if (ui.StopRequested()) return JobOutcome::kFailed;
  if (!run.skipped.empty()) {
    ui.Messages().Show(SkipReport(run.skipped), kTitleSkipped, common::MsgButtons::Ok,
                       common::MsgIcon::Stop);
  }
  if (!run.completed) return JobOutcome::kFailed;
  return run.skipped.empty() ? JobOutcome::kCompleted : JobOutcome::kSkipped;
}

}  // namespace vostrel
