#include "converter/profile_jobs.h"

#include <exception>

#include "common/server_layout.h"
#include "common/trusted_folder.h"
#include "converter/output_folder.h"
#include "converter/record_table.h"
#include "converter/shop_record.h"

namespace vostrel {

namespace {

// Everything that differs between the five profile-file jobs.
struct Kind {
  Page page;  // its files are FilesOf(page)
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
    {Page::Items, &ConverterState::MaxItems,
     [](ConverterState& s, int16_t max) { MakeTable(s.ItemTable, max); },
     [](ConverterState& s, int32_t n, RecordJob& job) { return ConvertItem(s, n, job); }},
    {Page::Spells, &ConverterState::MaxSpells,
     [](ConverterState& s, int16_t max) { MakeTable(s.SpellTable, max); },
     [](ConverterState& s, int32_t n, RecordJob& job) { return ConvertSpell(s, n, job); }},
    // The sign converter takes a 16-bit number; the bound is a 16-bit
    // maximum, so the counter always fits.
    {Page::Signs, &ConverterState::MaxSigns,
     [](ConverterState& s, int16_t max) { MakeTable(s.SignTable, max); },
     [](ConverterState& s, int32_t n, RecordJob& job) {
       return ConvertSign(s, static_cast<int16_t>(n), job);
     }},
    {Page::Shops, &ConverterState::MaxShops, nullptr,
     [](ConverterState&, int32_t n, RecordJob& job) { return ConvertShop(n, job); }},
    {Page::NPCs, &ConverterState::MaxNPCs,
     [](ConverterState& s, int16_t max) { MakeTable(s.NPCTable, max); },
     [](ConverterState& s, int32_t n, RecordJob& job) { return ConvertNPC(s, n, job); }},
};

const Kind& KindOf(Page page) {
  for (const Kind& kind : kKinds) {
    if (kind.page == page) return kind;
  }
  return kKinds[0];  // never: Maps has a job of its own
}

// The one place where a record that failed becomes a problem of the job.
// The converters report through their Status; what the standard library
// throws (running out of memory) ends that record only, too.
common::Status ConvertOne(const Kind& kind, ConverterState& state, int32_t n, RecordJob& job) {
  try {
    return kind.convert(state, n, job);
  } catch (const std::exception& e) {
    return common::Status::IOError(e.what());
  }
}

// A value that does not fit, or a file the tools refuse to touch, is left
// out on purpose; anything else is the system failing the write.
common::ItemProblem::Kind ProblemKind(const common::Status& s) {
  if (s.code() == common::Status::Code::kOutOfRange || common::IsRefusal(s)) {
    return common::ItemProblem::Kind::kSkipped;
  }
  return common::ItemProblem::Kind::kFailed;
}

}  // namespace

void PrepareKind(ConverterState& state, Page page, int16_t max) {
  const Kind& kind = KindOf(page);
  state.*kind.max = max;
  if (kind.makeTable) kind.makeTable(state, max);
}

common::JobResult ConvertKind(const common::ServerFolder& server, Page page, ConverterState& state,
                              common::JobEvents& events, bool dryRun) {
  const Kind& kind = KindOf(page);
  const common::layout::ProfileKindFiles& files = FilesOf(kind.page);
  const int32_t bound = state.*kind.max;
  common::JobRun run(events, JobName(page), 1, bound);
  run.Start();
  // A folder that truly cannot be made shows up as a problem for every
  // record, which names it and why.
  if (!dryRun) MakeOutputFolder(server, files.outputFolder, files.outputFolder);

  // The source is read, and the folder listed, once for the whole job.
  RecordJob job(server, files);
  if (dryRun) job.SetDryRun();
  // A source that cannot be read fails every record; none of them is blank.
  const bool sourceReads = job.SourceStatus().ok();
  for (int32_t n = 1; n <= bound; ++n) {
    run.Before(n);
    if (common::Status s = ConvertOne(kind, state, n, job); s.ok()) {
      if (sourceReads && !job.HasSection(n)) ++run.result().blank;
      run.Done(n);
    } else {
      run.Problem({n, job.SourceName(n), s, ProblemKind(s)});
    }
    if (n < bound && run.StopNow()) return run.Finish();
  }
  // Completed means on disk: a power cut after this loses nothing. A dry
  // run wrote nothing to flush.
  if (!dryRun) run.result().flushed = job.Flush();
  return run.Finish();
}

common::JobResult ConvertItems(const common::ServerFolder& server, ConverterState& state,
                               common::JobEvents& events) {
  return ConvertKind(server, Page::Items, state, events);
}
common::JobResult ConvertSpells(const common::ServerFolder& server, ConverterState& state,
                                common::JobEvents& events) {
  return ConvertKind(server, Page::Spells, state, events);
}
common::JobResult ConvertSigns(const common::ServerFolder& server, ConverterState& state,
                               common::JobEvents& events) {
  return ConvertKind(server, Page::Signs, state, events);
}
common::JobResult ConvertShops(const common::ServerFolder& server, ConverterState& state,
                               common::JobEvents& events) {
  return ConvertKind(server, Page::Shops, state, events);
}
common::JobResult ConvertNPCs(const common::ServerFolder& server, ConverterState& state,
                              common::JobEvents& events) {
  return ConvertKind(server, Page::NPCs, state, events);
}

}  // namespace vostrel
