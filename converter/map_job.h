// Map conversion: maps\map<N>.dat (legacy) to newmaps\map<N>.dat.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/status.h"
#include "converter/converter_state.h"
#include "converter/job_ui.h"

namespace vostrel {

// 14 * (n \ 7) + (n mod 7), computed without 16-bit overflow in between;
// empty when the result does not fit a signed 16-bit value (|n| > 16386).
std::optional<int16_t> RemapLayer(int16_t n);

// The two jobs; each converts maps 1 to state.MaxMaps. OK when every map was
// written, or when the UI asked the job to stop (which leaves the status as
// it was). Otherwise the job stopped at map *stoppedAt, which was not
// written, and the status says why, for the operator; *stoppedAt is 0 when
// every map was written but the flush to the disk that ends the job failed
// (the job has shown that box and status itself).
common::Status ConvertMaps(ConverterState& state, JobUi& ui, int32_t* stoppedAt);
common::Status ConvertMapsWin98(ConverterState& state, JobUi& ui, int32_t* stoppedAt);

// The Maps page's Convert click, minus the widgets: `maxText` is the text of
// txtMaxMaps, `chk98State` the check box's value (0 unchecked, 1 checked,
// 2 grayed). Checks the folders, reads the maximum and runs the chosen job;
// reports a stop in the status label and a message box.
JobOutcome MapConvertClick(ConverterState& state, const std::string& maxText, int chk98State,
                           JobUi& ui);

}  // namespace vostrel
