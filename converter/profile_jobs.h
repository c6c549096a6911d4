// The five profile-file conversion jobs, the Convert click of their pages,
// and the report of the records a job skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "converter/converter_state.h"
#include "converter/item_record.h"
#include "converter/job_ui.h"
#include "converter/npc_record.h"
#include "converter/shop_record.h"
#include "converter/sign_record.h"
#include "converter/spell_record.h"

namespace vostrel {

// Jobs: create the output folder where needed, convert records 1 to the
// kind's maximum in `state` (letting the event loop run once before each
// record, and reporting progress after it), then set the status to
// "Conversion completed.". A record that fails is skipped, its old file left
// as it was, and the job goes on; the skipped records are returned. A job
// stops early, after the record at hand, when the UI asks it to. The files
// written are flushed to the disk before the status says the job completed;
// when they cannot be, a box says why and the status says so. The record
// tables must have been made for the maximum (ConvertClick does that).
std::vector<SkippedRecord> ConvertItems(ConverterState& state, JobUi& ui);
std::vector<SkippedRecord> ConvertSpells(ConverterState& state, JobUi& ui);
std::vector<SkippedRecord> ConvertSigns(ConverterState& state, JobUi& ui);
std::vector<SkippedRecord> ConvertShops(ConverterState& state, JobUi& ui);
std::vector<SkippedRecord> ConvertNPCs(ConverterState& state, JobUi& ui);

// The Convert click of a profile-file page, minus the widgets: `maxText` is
// the Max box's text. Checks the source file, reads the maximum, makes the
// record table, sets the status and runs the job, then reports skipped
// records in a message box. A source that exists but cannot be read is
// reported in a box naming it and why, and nothing is converted. The job's
// files are flushed to the disk before it reports completion.
JobOutcome ConvertClick(ConverterState& state, Page page, const std::string& maxText, JobUi& ui);

}  // namespace vostrel
