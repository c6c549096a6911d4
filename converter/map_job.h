// Map conversion: maps\map<N>.dat (legacy) to newmaps\map<N>.dat.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"
#include "converter/converter_state.h"
#include "converter/job_ui.h"

namespace vostrel {

// 14 * (n \ 7) + (n mod 7), computed without 16-bit overflow in between;
// empty when the result does not fit a signed 16-bit value (|n| > 16386).
std::optional<int16_t> RemapLayer(int16_t n);

// The two jobs; each converts maps 1 to state.MaxMaps. OK when every map was
// written or refused, or when the UI asked the job to stop (which leaves the
// status as it was). A map whose legacy or converted file the tools refuse
// to touch (a link the operator did not make, something that is not an
// ordinary file) is left as it is and added to `refused` (when given), and
// the job goes on with the next. Any other failure stops the job at map
// *stoppedAt, which was not written, and the status says why, for the
// operator; *stoppedAt is 0 when every map was written but the flush to the
// disk that ends the job failed (the job has shown that box and status
// itself).
common::Status ConvertMaps(ConverterState& state, JobUi& ui, int32_t* stoppedAt,
                           std::vector<SkippedRecord>* refused = nullptr);
common::Status ConvertMapsWin98(ConverterState& state, JobUi& ui, int32_t* stoppedAt,
                                std::vector<SkippedRecord>* refused = nullptr);

// The Maps page's Convert click, minus the widgets: `maxText` is the text of
// txtMaxMaps, `chk98State` the check box's value (0 unchecked, 1 checked,
// 2 grayed). Checks the folders, reads the maximum and runs the chosen job;
// reports a stop in the status label and a message box, and the refused
// maps in the box of skipped records.
JobOutcome MapConvertClick(ConverterState& state, const std::string& maxText, int chk98State,
                           JobUi& ui);

}  // namespace vostrel
