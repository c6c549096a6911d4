#include "converter/map_job.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <string_view>
#include <vector>

#include "common/binary_record.h"
#include "common/file_search.h"
#include "common/host_path.h"
#include "common/record_folder.h"
#include "common/server_layout.h"
#include "common/text_util.h"
#include "common/trusted_folder.h"
#include "converter/map_records.h"

namespace vostrel {

std::optional<int16_t> RemapLayer(int16_t n) {
  // Formed in 32 bits so that only the final result has to fit 16 bits.
  // C++ division truncates toward zero and % takes the sign of n, as the
  // renumbering requires.
  const int32_t v = n;
  const int32_t r = 14 * (v / 7) + v % 7;
  if (r < std::numeric_limits<int16_t>::min() || r > std::numeric_limits<int16_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int16_t>(r);
}

namespace {

// The folders of common::layout::kLegacyMapPrefix and kConvertedMapPrefix,
// whose files are named map<N>.dat.
const char kLegacyFolder[] = "\\maps\\";
const char kConvertedFolder[] = "\\newmaps\\";
static_assert(std::string_view(common::layout::kLegacyMapPrefix) == "\\maps\\map");
static_assert(std::string_view(common::layout::kConvertedMapPrefix) == "\\newmaps\\map");

const char kMapsMissing[] = "Please place this in the same folder as your maps folder";
const char kTitleStopped[] = "Map conversion stopped";

// One layer value of the converted tile: renumbered by the standard job,
// copied as it is by the Windows 98 job. Empty when it cannot be renumbered.
std::optional<int16_t> ConvertLayer(int16_t legacy, bool copyLayers) {
  if (copyLayers) return legacy;
  return RemapLayer(legacy);
}

// Fills `out` from `in`; fails, saying why, when the map cannot be converted.
common::Status FillMapRec(const LegacyMapRec& in, bool copyLayers, MapRec& out) {
  std::copy(std::begin(in.Name), std::end(in.Name), std::begin(out.Name));
  if (in.UpdateCount == std::numeric_limits<int32_t>::max()) {
    return common::Status::OutOfRange("its update count 2147483647 cannot be raised by one");
  }
  out.UpdateCount = in.UpdateCount + 1;
  out.Mode = in.Mode == 3 ? 1 : in.Mode;
  out.Int1 = in.Int1;
  out.Int2 = in.Int2;
  out.Int3 = in.Int3;
  out.Int4 = in.Int4;
  out.Byte1 = in.Byte1;
  out.Int5 = in.Int5;
  out.Byte2 = in.Byte2;
  out.Byte3 = in.Byte3;
  out.Byte4 = in.Byte4;
  out.Byte5 = in.Byte5;  // shared by both layouts, so it is carried over
  out.Byte6 = 0;

  for (int b = 0; b < kMapHeight; ++b) {
    for (int a = 0; a < kMapWidth; ++a) {
      const LegacyTileRec& lt = in.Tile[a][b];
      TileRec& t = out.Tile[a][b];
      // The legacy fourth layer becomes the fifth; layers 4, 6 and 7 start
      // empty.
      const int16_t* from[] = {&lt.Layer1, &lt.Layer2, &lt.Layer3, &lt.Layer4};
      int16_t* to[] = {&t.Layer1, &t.Layer2, &t.Layer3, &t.Layer5};
      for (int i = 0; i < 4; ++i) {
        std::optional<int16_t> v = ConvertLayer(*from[i], copyLayers);
        if (!v) {
          return common::Status::OutOfRange("the layer value " + common::Dec(*from[i]) +
                                            " of tile (" + common::Dec(a) + ", " + common::Dec(b) +
                                            ") cannot be renumbered");
        }
        *to[i] = *v;
      }
      t.Layer4 = 0;
      t.Layer6 = 0;
      t.Layer7 = 0;
      t.Kind = lt.Kind;
      t.Data1 = lt.Data1;
      t.Data2 = lt.Data2;
      t.Data3 = lt.Data3;
    }
  }
  for (int k = 0; k < kMapSlots; ++k) out.Slot[k] = in.Slot[k];  // 0 to 255, never negative
  return common::Status::OK();
}

// The one job behind ConvertMaps and ConvertMapsWin98; they differ only in
// whether layer values are renumbered or copied.
common::Status RunMapJob(ConverterState& state, JobUi& ui, bool copyLayers, int32_t* stoppedAt,
                         std::vector<SkippedRecord>* refused) {
  // Work records and buffers live for the whole job and are reused from map
  // to map. The records are large, so they are kept off the stack.
  std::vector<LegacyMapRec> legacyHolder(1);
  std::vector<MapRec> convertedHolder(1);
  LegacyMapRec& legacy = legacyHolder.front();
  MapRec& converted = convertedHolder.front();
  std::vector<uint8_t> legacyBytes;
  std::vector<uint8_t> convertedBytes;
  legacyBytes.reserve(kLegacyMapSize);
  convertedBytes.reserve(kMapSize);

  // Both folders are found and listed once for the whole job.
  common::RecordFolder legacyFolder(common::layout::ServerPath(kLegacyFolder));
  common::RecordFolder newFolder(common::layout::ServerPath(kConvertedFolder));

  const int32_t bound = state.MaxMaps;
  for (int32_t n = 1; n <= bound; ++n) {
    ui.PumpEventsOnce();
    ReportProgress(state, ui, n, state.MaxMaps);
    *stoppedAt = n;

    // A missing legacy file is created empty, as the server's own tools do.
    // The read fills the whole buffer (zeros where the file has no bytes) and
    // every field is decoded from it, so nothing of the previous map remains.
    const std::string name = "map" + common::Dec(n) + ".dat";
    if (common::Status s = legacyFolder.Read(name, kLegacyMapSize, &legacyBytes); !s.ok()) {
      // A file the tools refuse to touch is left out; the job goes on.
      if (common::IsRefusal(s) && refused) {
        refused->push_back({n, s.message()});
        if (ui.StopRequested()) return common::Status::OK();
        continue;
      }
      return common::Status::IOError("its legacy map file could not be read (" + s.message() + ")");
    }
    DecodeLegacyMap(legacyBytes.data(), legacyBytes.size(), legacy);

    if (common::Status s = FillMapRec(legacy, copyLayers, converted); !s.ok()) return s;

    EncodeMap(converted, convertedBytes);
    if (common::Status s = newFolder.Write(name, convertedBytes); !s.ok()) {
      if (!common::IsRefusal(s) || !refused) {
        return common::Status::IOError("its converted map file could not be written (" +
                                       s.message() + ")");
      }
      refused->push_back({n, s.message()});
    }

    // Closing the window ends the job here; it did not complete, so the
    // status does not say so.
    if (ui.StopRequested()) return common::Status::OK();
  }
  // Completed means on disk: a power cut after this loses nothing.
  *stoppedAt = 0;
  if (!FlushJobOutput(common::layout::ServerPath(common::layout::kNewMapsFolder), Page::Maps, ui)) {
    return common::Status::IOError("the converted maps could not be flushed to the disk");
  }
  ui.SetStatus(Page::Maps, kStatusCompleted);
  return common::Status::OK();
}

}  // namespace

common::Status ConvertMaps(ConverterState& state, JobUi& ui, int32_t* stoppedAt,
                           std::vector<SkippedRecord>* refused) {
  return RunMapJob(state, ui, false, stoppedAt, refused);
}

common::Status ConvertMapsWin98(ConverterState& state, JobUi& ui, int32_t* stoppedAt,
                                std::vector<SkippedRecord>* refused) {
  return RunMapJob(state, ui, true, stoppedAt, refused);
}

JobOutcome MapConvertClick(ConverterState& state, const std::string& maxText, int chk98State,
                           JobUi& ui) {
  if (maxText.empty()) return JobOutcome::kRefused;
  if (!common::FileIsPresent(common::layout::kMapsTested, false)) {
    // A maps folder that is there but refused (a link the operator did not
    // make) is named with the reason rather than called missing.
    common::Folder maps;
    if (const common::Status s =
            common::OpenFolder(common::layout::ServerPath(kLegacyFolder), &maps);
        common::IsUntrustedLink(s)) {
      ui.Messages().Show(kPromptUnreadable + s.message(), kTitleUnreadable, common::MsgButtons::Ok,
                         common::MsgIcon::Stop);
      return JobOutcome::kFailed;
    }
    ui.Messages().Show(kMapsMissing, kTitleFileNotFound, common::MsgButtons::Ok,
                       common::MsgIcon::None);
    return JobOutcome::kFailed;
  }
  // Before the first write: the newmaps folder is made just below.
  if (!ClearToWrite(ui)) return JobOutcome::kServerRunning;
  // An existing newmaps folder without files is found by no search; creating
  // it then fails, harmlessly: the folder is used as it is. A folder that
  // truly cannot be made stops the job at its first map, which says why.
  if (!common::FileIsPresent(common::layout::kNewMapsTested, false)) {
    common::CreateFolder(common::layout::ServerPath(common::layout::kNewMapsFolder)).IgnoreError();
  }

  std::optional<int16_t> max = ReadMaximum(maxText, ui);
  if (!max) return JobOutcome::kRefused;
  state.MaxMaps = *max;
  ui.SetStatus(Page::Maps, kStatusInitiated);

  int32_t stoppedAt = 0;
  std::vector<SkippedRecord> refused;
  const common::Status s = chk98State == 1 ? ConvertMapsWin98(state, ui, &stoppedAt, &refused)
                                           : ConvertMaps(state, ui, &stoppedAt, &refused);
  if (s.ok() && ui.StopRequested()) return JobOutcome::kFailed;
  if (!refused.empty()) {
    ui.Messages().Show(SkipReport(refused, "map"), kTitleSkipped, common::MsgButtons::Ok,
                       common::MsgIcon::Stop);
  }
  if (s.ok()) return refused.empty() ? JobOutcome::kCompleted : JobOutcome::kSkipped;
  // Every map was written but not flushed; the job has said so.
  if (stoppedAt == 0) return JobOutcome::kFailed;

  const std::string map = common::Dec(stoppedAt);
  ui.SetStatus(Page::Maps, "Conversion stopped at map " + map + ".");
  std::string prompt = "The conversion stopped at map " + map + ": " + s.message() + ".";
  prompt += stoppedAt > 1 ? "\nMaps 1 to " + common::Dec(stoppedAt - 1) + " were converted; map " +
                                map + " and the maps after it were not."
                          : "\nNo map was converted.";
  ui.Messages().Show(prompt, kTitleStopped, common::MsgButtons::Ok, common::MsgIcon::Stop);
  return JobOutcome::kFailed;
}

}  // namespace vostrel
