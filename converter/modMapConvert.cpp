#include "converter/modMapConvert.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <vector>

#include "common/binary_record.h"
#include "common/file_search.h"
#include "common/host_path.h"
#include "converter/map_records.h"
#include "common/program_folder.h"
#include "common/text_util.h"

namespace vostrel {

int16_t MaxMaps = 0;

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

const char kMapsMissing[] = "Please place this in the same folder as your maps folder";
const char kTitleStopped[] = "Map conversion stopped";

// One layer value of the converted tile: renumbered by the standard job,
// copied as it is by the Windows 98 job. Empty when it cannot be renumbered.
std::optional<int16_t> ConvertLayer(int16_t legacy, bool copyLayers) {
  if (copyLayers) return legacy;
  return RemapLayer(legacy);
}

// Fills `out` from `in`. Returns why the map cannot be converted, or an empty
// text when every field was filled.
std::string FillMapRec(const LegacyMapRec& in, bool copyLayers, MapRec& out) {
  std::copy(std::begin(in.Name), std::end(in.Name), std::begin(out.Name));
  if (in.UpdateCount == std::numeric_limits<int32_t>::max()) {
    return "its update count 2147483647 cannot be raised by one";
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
          return "the layer value " + common::Dec(*from[i]) + " of tile (" + common::Dec(a) + ", " + common::Dec(b) +
                 ") cannot be renumbered";
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
  return {};
}

// The one job behind ConvertMaps and ConvertMapsWin98; they differ only in
// whether layer values are renumbered or copied.
std::optional<MapJobStop> RunMapJob(JobUi& ui, bool copyLayers) {
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

  const std::string folder = common::ProgramFolder();
  std::string legacyPath;
  std::string convertedPath;

  const int32_t bound = MaxMaps;
  for (int32_t n = 1; n <= bound; ++n) {
    ui.PumpEventsOnce();
    ReportProgress(ui, n, MaxMaps);

    const std::string number = common::Dec(n);
    legacyPath.assign(folder).append("\\maps\\map").append(number).append(".dat");
    convertedPath.assign(folder).append("\\newmaps\\map").append(number).append(".dat");

    // A missing legacy file is created empty, as the server's own tools do.
    // The read fills the whole buffer (zeros where the file has no bytes) and
    // every field is decoded from it, so nothing of the previous map remains.
    try {
      common::ReadRecordFile(legacyPath, kLegacyMapSize, legacyBytes);
    } catch (const common::RecordFileError& e) {
      return MapJobStop{n, std::string("its legacy map file could not be read (") + e.what() + ")"};
    }
    DecodeLegacyMap(legacyBytes.data(), legacyBytes.size(), legacy);

    std::string why = FillMapRec(legacy, copyLayers, converted);
    if (!why.empty()) return MapJobStop{n, why};

    EncodeMap(converted, convertedBytes);
    try {
      common::WriteRecordFile(convertedPath, convertedBytes);
    } catch (const common::RecordFileError& e) {
      return MapJobStop{
          n, std::string("its converted map file could not be written (") + e.what() + ")"};
    }

    // Closing the window ends the job here; it did not complete, so the
    // status does not say so.
    if (ui.StopRequested()) return std::nullopt;
  }
  ui.SetStatus(Page::Maps, kStatusCompleted);
  return std::nullopt;
}

}  // namespace

std::optional<MapJobStop> ConvertMaps(JobUi& ui) { return RunMapJob(ui, false); }

std::optional<MapJobStop> ConvertMapsWin98(JobUi& ui) { return RunMapJob(ui, true); }

void MapConvertClick(const std::string& maxText, int chk98State, JobUi& ui) {
  if (maxText.empty()) return;
  if (!common::FileIsPresent("Maps\\", false)) {
    ui.Messages().Show(kMapsMissing, kTitleFileNotFound, common::MsgButtons::Ok, common::MsgIcon::None);
    return;
  }
  // An existing newmaps folder without files is found by no search; creating
  // it then fails harmlessly and the folder is used as it is.
  if (!common::FileIsPresent("\\NewMaps\\", false)) common::CreateFolder(common::ProgramFolder() + "\\Newmaps\\");

  std::optional<int16_t> max = ReadMaximum(maxText, ui);
  if (!max) return;
  MaxMaps = *max;
  ui.SetStatus(Page::Maps, kStatusInitiated);

  std::optional<MapJobStop> stop = chk98State == 1 ? ConvertMapsWin98(ui) : ConvertMaps(ui);
  if (!stop) return;

  const std::string map = common::Dec(stop->map);
  ui.SetStatus(Page::Maps, "Conversion stopped at map " + map + ".");
  std::string prompt = "The conversion stopped at map " + map + ": " + stop->reason + ".";
  prompt += stop->map > 1 ? "\nMaps 1 to " + common::Dec(stop->map - 1) + " were converted; map " + map +
                                " and the maps after it were not."
                          : "\nNo map was converted.";
  ui.Messages().Show(prompt, kTitleStopped, common::MsgButtons::Ok, common::MsgIcon::Stop);
}

}  // namespace vostrel
