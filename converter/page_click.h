// The Convert click of each page of the converter window, minus the widgets:
// the checks before the job, then the job, with its events and its result
// turned into what the window shows (the page's captions, the progress bar
// after each record, the event loop let run once before each, the boxes).
// The window implements PageView with its controls; tests implement it
// with plain values. The jobs themselves know nothing of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/job.h"
#include "common/message_port.h"
#include "common/server_folder.h"
#include "converter/conversion.h"
#include "converter/converter_state.h"

namespace vostrel {

// What a click shows its result on.
class PageView {
 public:
  virtual ~PageView() = default;
  // Lets the window's event loop process pending events once.
  virtual void PumpEventsOnce() = 0;
  // Sets the value of the shared progress bar (0 to 100).
  virtual void SetProgress(uint8_t percent) = 0;
  // Sets the caption of a page's status label.
  virtual void SetStatus(Page page, const std::string& caption) = 0;
  // True once the user asked to close the window: a job then stops after
  // the record at hand, and the click shows nothing more.
  virtual bool StopRequested() = 0;
  // Modal message boxes.
  virtual common::MessagePort& Messages() = 0;
};

// The texts the pages show.
inline constexpr const char* kStatusInitiated = "Conversion initiated...";
inline constexpr const char* kStatusCompleted = "Conversion completed.";
// The box of ReadMaximum for a maximum beyond the signed 16-bit range.
inline constexpr const char* kPromptBadMaximum =
    "The maximum must be a whole number from 1 to 32767.";
inline constexpr const char* kTitleBadMaximum = "Invalid maximum";
// When the written files could not be flushed to the disk: a power cut
// could still lose them, so the job is not reported as completed.
inline constexpr const char* kStatusNotFlushed = "Conversion not flushed to disk.";
inline constexpr const char* kPromptNotFlushed =
    "The converted files could not be flushed to the disk, so a power cut could still lose "
    "them: ";
inline constexpr const char* kTitleNotFlushed = "Conversion not on disk";
// The box that lists the records a job left out.
inline constexpr const char* kTitleSkipped = "Records not converted";
inline constexpr const char* kTitleMapStopped = "Map conversion stopped";

// The text of that box: how many were left out (their old files left as
// they were) and the first few with their reasons, each shortened to fit a
// box. `noun` names one record ("record", "map").
std::string SkipReport(const std::vector<common::ItemProblem>& problems,
                       const std::string& noun = "record");

// Reads a Max box's text with the numeric text rule. A value outside the
// signed 16-bit range is refused: a message box says the maximum must be a
// whole number from 1 to 32767, and the result is empty. A value below 1
// (blanks, letters, 0, negative) is returned as it is and runs no record.
std::optional<int16_t> ReadMaximum(const std::string& text, common::MessagePort& messages);

// N out of `max` in percent, divided in double precision and rounded half
// to even (3 of 8 gives 38).
uint8_t PercentOf(int32_t n, int32_t max);

// The Convert click of a profile-file page: `maxText` is the Max box's
// text. An empty text does nothing. Checks the source (a box when it is
// missing or cannot be read), reads the maximum, asks when this folder's
// server is running, then runs the job: "Conversion initiated...", the bar
// after each record, "Conversion completed." once the files are on disk (a
// box and another caption when they could not be flushed), and a box
// listing the records left out. A job cut short by closing the window shows
// nothing more. A job that started is entered in the server folder's
// journal (a journal that cannot be written is a warning on standard error,
// never on the page). Returns the job's result; one that did not start says
// why in its status.
common::JobResult ConvertClick(const common::ServerFolder& server, ConverterState& state, Page page,
                               const std::string& maxText, PageView& view);

// The Maps page's Convert click: `chk98State` is the check box's value (0
// unchecked, 1 checked, 2 grayed; only checked picks the Windows 98
// layout). The same steps, but the newmaps folder is made before the
// maximum is read, the bar moves before each map, and a map that stops the
// job is named in the caption ("Conversion stopped at map N.") and a box.
common::JobResult MapConvertClick(const common::ServerFolder& server, ConverterState& state,
                                  const std::string& maxText, int chk98State, PageView& view);

}  // namespace vostrel
