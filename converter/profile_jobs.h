// The five profile-file conversion jobs.
#pragma once

#include <cstdint>

#include "common/job.h"
#include "common/server_folder.h"
#include "converter/conversion.h"
#include "converter/converter_state.h"
#include "converter/shop_record.h"

namespace vostrel {

// Sets the maximum of `page`'s kind in `state` and makes its record table
// anew (elements 1 to max, all cleared), as each Convert click does.
void PrepareKind(ConverterState& state, Page page, int16_t max);

// The job of `page` (not Maps) on `server`: creates the output folder where
// needed, then converts records 1 to the kind's maximum in `state`, telling
// `events` before each record and after it. A record that fails is left
// out, its old file left as it was, and the job goes on; each such record is
// a problem of the result (skipped: a value that does not fit, a file the
// tools refuse to touch; failed: the system failed the write), named by its
// section and source file. The job stops after the record at hand when the
// events ask it to. The files written are flushed to the disk once, at the
// end of a job that was not stopped (result.flushed). The record table must
// have been made for the maximum (PrepareKind does that). A record whose
// section the source lacks is written blank and counted (result.blank).
// A dry run (`dryRun`) reads and converts every record the same way but
// makes no folder and writes and flushes nothing: a record counts as done
// unless its write would fail before its first byte (RecordJob::CheckWrite).
common::JobResult ConvertKind(const common::ServerFolder& server, Page page, ConverterState& state,
                              common::JobEvents& events, bool dryRun = false);

common::JobResult ConvertItems(const common::ServerFolder& server, ConverterState& state,
                               common::JobEvents& events);
common::JobResult ConvertSpells(const common::ServerFolder& server, ConverterState& state,
                                common::JobEvents& events);
common::JobResult ConvertSigns(const common::ServerFolder& server, ConverterState& state,
                               common::JobEvents& events);
common::JobResult ConvertShops(const common::ServerFolder& server, ConverterState& state,
                               common::JobEvents& events);
common::JobResult ConvertNPCs(const common::ServerFolder& server, ConverterState& state,
                              common::JobEvents& events);

}  // namespace vostrel
