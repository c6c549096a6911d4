// What a conversion job sees of the converter window. The window implements
// it with real widgets; tests implement it with plain values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/message_port.h"
#include "common/server_process.h"

namespace vostrel {

// The six pages of the converter, in tab order.
enum class Page { Items = 0, Spells = 1, Signs = 2, Shops = 3, NPCs = 4, Maps = 5 };

// What a page's Max box holds when the window opens; also the command
// line's maximum when none is given.
constexpr const char* DefaultMaximum(Page page) {
  return page == Page::Items || page == Page::Maps ? "1000" : "500";
}

class JobUi {
 public:
  virtual ~JobUi() = default;
  // Lets the window's event loop process pending events once.
  virtual void PumpEventsOnce() = 0;
  // Sets the value of the shared progress bar (0 to 100).
  virtual void SetProgress(uint8_t percent) = 0;
  // The count behind the bar: record `n` of `max` is done. Only the command
  // line shows it.
  virtual void SetCount(int32_t n, int32_t max) {
    static_cast<void>(n);
    static_cast<void>(max);
  }
  // Sets the caption of a page's status label.
  virtual void SetStatus(Page page, const std::string& caption) = 0;
  // True once the user asked to close the window: a job then stops after
  // the record at hand.
  virtual bool StopRequested() = 0;
  // Modal message boxes.
  virtual common::MessagePort& Messages() = 0;
  // What a job does when this folder's server is running: the window asks,
  // the command line refuses unless told to go on.
  virtual common::ServerCheck ServerCheckMode() { return common::ServerCheck::kAsk; }
};

struct ConverterState;

// A record that a job could not convert, and why (the failure's message).
struct SkippedRecord {
  int32_t number;
  std::string reason;
};

// The title of the box that lists the records a job skipped.
inline constexpr const char* kTitleSkipped = "Records not converted";

// The text of that box: how many were skipped (their old files left as they
// were) and the first few with their reasons, each shortened to fit a box.
// `noun` names one record ("record", "map").
std::string SkipReport(const std::vector<SkippedRecord>& skipped, const std::string& noun = "record");

// N out of `max` in percent, divided in double precision and rounded half to
// even (3 of 8 gives 38). Stores it in state.ProgressPercent and shows it.
void ReportProgress(ConverterState& state, JobUi& ui, int32_t n, int16_t max);

// Reads a typed maximum with the numeric text rule. A value outside the
// signed 16-bit range is refused: a message box says the maximum must be a
// whole number from 1 to 32767, and the result is empty. A value below 1
// (blanks, letters, 0, negative) is returned as it is and runs no record.
std::optional<int16_t> ReadMaximum(const std::string& text, JobUi& ui);

// How a Convert click ended, for a caller that reports it (the command line
// turns it into an exit status; the window has shown it already).
enum class JobOutcome {
  kCompleted,      // every record converted, and on disk
  kSkipped,        // completed, but some records were skipped (and listed)
  kFailed,         // not started (source missing or unreadable) or stopped
  kRefused,        // the maximum was refused; nothing ran
  kServerRunning,  // the folder's server is running and no one said to write anyway; nothing ran
};

// The texts every page shows.
inline constexpr const char* kStatusInitiated = "Conversion initiated...";
inline constexpr const char* kStatusCompleted = "Conversion completed.";
inline constexpr const char* kTitleFileNotFound = "File not found";
// The box of ReadMaximum for a maximum beyond the signed 16-bit range.
inline constexpr const char* kPromptBadMaximum =
    "The maximum must be a whole number from 1 to 32767.";
inline constexpr const char* kTitleBadMaximum = "Invalid maximum";
// The box when a source that exists cannot be read: nothing is converted.
inline constexpr const char* kPromptUnreadable = "Nothing was converted: ";
inline constexpr const char* kTitleUnreadable = "Source file unreadable";
// When the written files could not be flushed to the disk: a power cut
// could still lose them, so the job is not reported as completed.
inline constexpr const char* kStatusNotFlushed = "Conversion not flushed to disk.";
inline constexpr const char* kPromptNotFlushed =
    "The converted files could not be flushed to the disk, so a power cut could still lose "
    "them: ";
inline constexpr const char* kTitleNotFlushed = "Conversion not on disk";

// The box of a job refused because this folder's server is running.
inline constexpr const char* kPromptServerRunning = "Nothing was converted: ";

// Before a job's first write: true when this folder's server is not
// running, or the UI's mode lets the job write anyway (asked and answered
// Yes, or forced). False when the job must not start: a refusal has been
// shown in a stop box titled common::kServerRunningTitle, a No needs no
// further word.
bool ClearToWrite(JobUi& ui);

// Flushes what a job wrote under `folder` (one call for the whole file
// system, not one per record). On failure sets `page`'s status to
// kStatusNotFlushed, shows a stop box with the reason and returns false.
bool FlushJobOutput(const std::string& folder, Page page, JobUi& ui);

}  // namespace vostrel
