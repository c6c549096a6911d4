// Map conversion: maps\map<N>.dat (legacy) to newmaps\map<N>.dat.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "converter/job_ui.h"

namespace vostrel {

extern int16_t MaxMaps;

// 14 * (n \ 7) + (n mod 7), computed without 16-bit overflow in between;
// empty when the result does not fit a signed 16-bit value (|n| > 16386).
std::optional<int16_t> RemapLayer(int16_t n);

// Where a map job stopped, when it did.
struct MapJobStop {
  int32_t map;         // the map that was not written
  std::string reason;  // why, for the operator
};

// The two jobs; each converts maps 1 to MaxMaps and returns where it stopped
// (empty when every map was written, or when the UI asked it to stop, which
// leaves the status as it was).
std::optional<MapJobStop> ConvertMaps(JobUi& ui);
std::optional<MapJobStop> ConvertMapsWin98(JobUi& ui);

// The Maps page's Convert click, minus the widgets: `maxText` is the text of
// txtMaxMaps, `chk98State` the check box's value (0 unchecked, 1 checked,
// 2 grayed). Checks the folders, reads the maximum and runs the chosen job;
// reports a stop in the status label and a message box.
void MapConvertClick(const std::string& maxText, int chk98State, JobUi& ui);

}  // namespace vostrel
