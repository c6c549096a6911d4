// Map conversion: maps\map<N>.dat (legacy) to newmaps\map<N>.dat.
#pragma once

#include <cstdint>
#include <optional>

#include "common/job.h"
#include "common/server_folder.h"
#include "converter/conversion.h"
#include "converter/converter_state.h"

namespace vostrel {

// 14 * (n \ 7) + (n mod 7), computed without 16-bit overflow in between;
// empty when the result does not fit a signed 16-bit value (|n| > 16386).
std::optional<int16_t> RemapLayer(int16_t n);

// Makes the newmaps folder of `server` when no search finds a file in it.
void MakeConvertedMapsFolder(const common::ServerFolder& server);

// The two jobs; each converts maps 1 to state.MaxMaps of `server`, telling
// `events` before each map and after it. A map whose legacy or converted
// file the tools refuse to touch (a link the operator did not make,
// something that is not an ordinary file) is left as it is, a skipped
// problem of the result, and the job goes on with the next. Any other
// failure stops the job at that map, which was not written: it is a failed
// problem, the result's status says why, and the maps after it are not
// tried. The job stops after the map at hand when the events ask it to. A
// job that converted every map flushes the disk once (result.flushed).
// A map with no legacy file is converted blank and counted (result.blank);
// one whose legacy file is shorter than its layout is converted with the
// missing bytes read as zeros, and noted (result.notes). A dry run
// (`dryRun`) reads and converts every map the same way but makes no file
// or folder, writes and flushes nothing: a map counts as done unless its
// write would fail before its first byte (RecordFolder::CheckWrite).
common::JobResult ConvertMaps(const common::ServerFolder& server, ConverterState& state,
                              common::JobEvents& events, bool dryRun = false);
common::JobResult ConvertMapsWin98(const common::ServerFolder& server, ConverterState& state,
                                   common::JobEvents& events, bool dryRun = false);

}  // namespace vostrel
