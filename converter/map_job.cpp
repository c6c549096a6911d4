#include "converter/map_job.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <string_view>
#include <vector>

#include "common/host_path.h"
#include "common/record_folder.h"
#include "common/server_layout.h"
#include "common/text_util.h"
#include "common/trusted_folder.h"
#include "converter/map_records.h"
#include "converter/output_folder.h"

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

// A refusal leaves the map out; anything else stops the job there.
common::ItemProblem Refused(int32_t n, const std::string& name, common::Status why) {
  return {n, name, std::move(why), common::ItemProblem::Kind::kSkipped};
}

// The one job behind ConvertMaps and ConvertMapsWin98; they differ only in
// whether layer values are renumbered or copied.
common::JobResult RunMapJob(const common::ServerFolder& server, ConverterState& state,
                            common::JobEvents& events, bool copyLayers, bool dryRun) {
  const int32_t bound = state.MaxMaps;
  common::JobRun run(events, JobName(Page::Maps), 1, bound);
  run.Start();
  if (!dryRun) MakeConvertedMapsFolder(server);
  // A dry run counts a newmaps folder the real job would make as made.
  const bool newFolderToBeMade =
      dryRun && OutputFolderToBeMade(server, common::layout::kNewMapsFolder);

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
  common::RecordFolder legacyFolder(server, kLegacyFolder);
  common::RecordFolder newFolder(server, kConvertedFolder);
  // Maps are named by their legacy file, where the operator looks first.
  auto sourceOf = [&](const std::string& name) {
    return legacyFolder.folder().valid() ? legacyFolder.folder().HostOf(name)
                                         : common::SpelledPath(server.Path(kLegacyFolder) + name);
  };

  // The map at which the job stops, and why: it was not written, and the
  // maps after it are not tried.
  auto stopAt = [&](int32_t n, const std::string& name, common::Status why) {
    run.result().status = why.WithContext("the conversion stopped at map " + common::Dec(n));
    run.Problem({n, sourceOf(name), std::move(why), common::ItemProblem::Kind::kFailed});
    return run.Finish();
  };

  for (int32_t n = 1; n <= bound; ++n) {
    run.Before(n);

    // A missing legacy file is created empty, as the server's own tools do.
    // The read fills the whole buffer (zeros where the file has no bytes) and
    // every field is decoded from it, so nothing of the previous map remains.
    const std::string name = "map" + common::Dec(n) + ".dat";
    // A map with no legacy file becomes a blank map; a dry run makes no
    // legacy file either.
    const bool missing = legacyFolder.IsMissing(name);
    size_t delivered = 0;
    common::Status read;
    if (dryRun && missing) {
      legacyBytes.assign(kLegacyMapSize, 0);
    } else {
      read = legacyFolder.Read(name, kLegacyMapSize, &legacyBytes, &delivered);
    }
    if (common::Status s = read; !s.ok()) {
      // A file the tools refuse to touch is left out; the job goes on.
      if (!common::IsRefusal(s)) {
        return stopAt(
            n, name,
            common::Status::IOError("its legacy map file could not be read (" + s.message() + ")"));
      }
      run.Problem(Refused(n, sourceOf(name), s));
    } else {
      DecodeLegacyMap(legacyBytes.data(), legacyBytes.size(), legacy);
      if (common::Status s = FillMapRec(legacy, copyLayers, converted); !s.ok()) {
        return stopAt(n, name, s);
      }
      EncodeMap(converted, convertedBytes);
      common::Status written;
      if (!dryRun) {
        written = newFolder.Write(name, convertedBytes);
      } else if (!newFolderToBeMade) {
        written = newFolder.CheckWrite(name);
      }
      if (common::Status s = written; !s.ok()) {
        if (!common::IsRefusal(s)) {
          return stopAt(n, name,
                        common::Status::IOError("its converted map file could not be written (" +
                                                s.message() + ")"));
        }
        run.Problem(Refused(n, sourceOf(name), s));
      } else {
        if (missing) {
          ++run.result().blank;
        } else if (delivered < kLegacyMapSize) {
          // The bytes the file lacks were read as zeros, and the map was
          // converted to its full size all the same.
          run.Note({n, sourceOf(name),
                    "is " + common::Dec(static_cast<long long>(delivered)) +
                        " bytes, shorter "
                        "than the legacy map layout (" +
                        common::Dec(static_cast<long long>(kLegacyMapSize)) +
                        " bytes): " + (dryRun ? "would be converted" : "converted") +
                        " as a full map, the missing fields as zeros"});
        }
        run.Done(n);
      }
    }
    if (n < bound && run.StopNow()) return run.Finish();
  }
  // Completed means on disk: a power cut after this loses nothing. A dry
  // run wrote nothing to flush.
  if (dryRun) return run.Finish();
  run.result().flushed = FlushOutput(server, newFolder);
  return run.Finish();
}

}  // namespace

void MakeConvertedMapsFolder(const common::ServerFolder& server) {
  // A folder that truly cannot be made stops the job at its first map,
  // which says why.
  MakeOutputFolder(server, common::layout::kNewMapsTested, common::layout::kNewMapsFolder);
}

common::JobResult ConvertMaps(const common::ServerFolder& server, ConverterState& state,
                              common::JobEvents& events, bool dryRun) {
  return RunMapJob(server, state, events, false, dryRun);
}

common::JobResult ConvertMapsWin98(const common::ServerFolder& server, ConverterState& state,
                                   common::JobEvents& events, bool dryRun) {
  return RunMapJob(server, state, events, true, dryRun);
}

}  // namespace vostrel
