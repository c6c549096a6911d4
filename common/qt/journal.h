// The server folder's journal: one line of JSON for every change the tools
// make (a conversion, a wipe, a restore, a server start), so that an
// operator can tell later when what was changed, by whom, and where its
// backup is.
#pragma once

#include <QJsonObject>
#include <cstdint>
#include <string>
#include <vector>

#include "common/job.h"
#include "common/server_folder.h"
#include "common/server_layout.h"
#include "common/status.h"

namespace common {

using layout::kJournalFile;

// One change, as a tool tells it. Empty texts and zero numbers are left out
// of the line (the range, the counts), but for the counts of a job.
struct JournalEntry {
  std::string action;  // "convert", "wipe", "restore", "start"
  std::string what;    // what it acted on: the kind converted, ...
  int32_t first = 0, last = 0;
  bool counted = false;  // the counts below are a job's
  int32_t done = 0, skipped = 0, failed = 0, blank = 0;
  std::string backup;   // the backup folder that holds what it changed
  std::string outcome;  // "completed", "skipped", "failed", "stopped"
  int64_t pid = 0;      // the process a start started
  // What the job said of items it did all the same ("map7.dat is 100
  // bytes, ..."), one text each.
  std::vector<std::string> notes;
};

// An entry for a job's result: its range, counts, notes and outcome.
JournalEntry JournalEntryOf(const std::string& action, const JobResult& result);

// The line of `entry` as it is written: the time (UTC, ISO 8601), the user
// (name and id), the program and its version (the application's), then the
// entry; ends with a line feed. Names from the server's files (single-byte
// text) are written as the tools show them.
std::string JournalLine(const JournalEntry& entry);

// Appends `entry` to the server folder's journal in one write of the whole
// line with O_APPEND, so that the lines of tools writing at once never mix;
// the file is made (0640) when missing and reached through the trusted walk
// (never through a link the operator did not make, never a FIFO). Fails with
// why; a caller warns and goes on, since a journal that cannot be written is
// no reason to lose the change.
Status AppendJournal(const ServerFolder& server, const JournalEntry& entry);

// The journal's entries in order; a line that is not JSON is passed over
// and counted in `unreadable`. A missing journal has none.
Status ReadJournal(const ServerFolder& server, std::vector<QJsonObject>* entries,
                   int* unreadable = nullptr);

}  // namespace common
