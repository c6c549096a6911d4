// The five profile-file conversion jobs and their record converters.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "converter/item_record.h"
#include "converter/job_ui.h"
#include "converter/npc_record.h"
#include "converter/sign_record.h"
#include "converter/spell_record.h"

namespace vostrel {

// The maximum of each kind, set by its Convert handler and read by its job.
extern int16_t MaxItems, MaxSpells, MaxSigns, MaxShops, MaxNPCs;

// Record tables, indexed 1 to the kind's maximum (element 0 unused), made
// anew by each Convert click.
extern std::vector<ItemRec> ItemTable;
extern std::vector<SpellRec> SpellTable;
extern std::vector<SignRec> SignTable;
extern std::vector<NPCRec> NPCTable;

// Record converters: read section <KIND>N of the kind's source file, fill
// element N of the table and write the record's file. An error ends the call
// and leaves the record's file as it was: FieldOverflow (a value that does
// not fit its field), RecordFileError (a file that cannot be opened or
// written) or std::out_of_range (N outside the table).
void ConvertItem(int32_t n);
void ConvertSpell(int32_t n);
void ConvertShop(int32_t n);
void ConvertNPC(int32_t n);
void ConvertSign(int16_t n);

// A record that a job could not convert, and why.
struct SkippedRecord {
  int32_t number;
  std::string reason;
};

// The title of the box that lists the records a job skipped.
inline constexpr const char* kTitleSkipped = "Records not converted";

// Jobs: create the output folder where needed, convert records 1 to the
// kind's maximum (letting the event loop run once before each record, and
// reporting progress after it), then set the status to "Conversion
// completed.". They return the records they skipped. A job stops early,
// after the record at hand, when the UI asks it to.
std::vector<SkippedRecord> ConvertItems(JobUi& ui);
std::vector<SkippedRecord> ConvertSpells(JobUi& ui);
std::vector<SkippedRecord> ConvertSigns(JobUi& ui);
std::vector<SkippedRecord> ConvertShops(JobUi& ui);
std::vector<SkippedRecord> ConvertNPCs(JobUi& ui);

// The Convert click of a profile-file page, minus the widgets: `maxText` is
// the Max box's text. Checks the source file, reads the maximum, makes the
// record table, sets the status and runs the job, then reports skipped
// records in a message box.
void ConvertClick(Page page, const std::string& maxText, JobUi& ui);

}  // namespace vostrel
