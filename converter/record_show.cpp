#include "converter/record_show.h"

#include "common/host_path.h"
#include "common/profile.h"
#include "common/server_layout.h"
#include "common/steady_read.h"
#include "common/text_util.h"
#include "common/trusted_folder.h"
#include "converter/conversion.h"
#include "converter/item_record.h"
#include "converter/map_records.h"
#include "converter/npc_record.h"
#include "converter/shop_record.h"
#include "converter/sign_record.h"
#include "converter/spell_record.h"

namespace vostrel {

namespace {

// Larger than any file the conversion writes (a sign of four texts of
// 65535 bytes each is about 256 KiB): anything bigger is not read at all.
constexpr uint64_t kLargestRecord = 1 << 20;

// The tool path of file N ("\Items\Item5.dat").
std::string ToolPathOf(Page page, int32_t n) {
  const std::string prefix =
      page == Page::Maps ? common::layout::kConvertedMapPrefix : FilesOf(page).recordPrefix;
  return prefix + common::Dec(n) + ".dat";
}

// The same as the operator reads it: relative, "/"-separated.
std::string ShownName(std::string_view toolPath) {
  std::string name;
  for (char c : toolPath) name += common::IsSeparator(c) ? '/' : c;
  while (!name.empty() && name.front() == '/') name.erase(0, 1);
  return name;
}

// The record at the start of `bytes`, as the server reads it; *used is
// its size, less than the file's when an older, longer file left its tail.
common::Status DecodeFields(Page page, const std::vector<uint8_t>& bytes,
                            std::vector<FieldValue>* out, size_t* used) {
  switch (page) {
    case Page::Items:
      return ReadItemFields(bytes, out, used);
    case Page::Spells:
      return ReadSpellFields(bytes, out, used);
    case Page::Signs:
      return ReadSignFields(bytes, out, used);
    case Page::NPCs:
      return ReadNPCFields(bytes, out, used);
    case Page::Maps: {
      if (bytes.size() < kMapSize) {
        return common::Status::InvalidArgument("is " + common::Dec(bytes.size()) +
                                               " bytes; a converted map is " +
                                               common::Dec(kMapSize) + " bytes");
      }
      std::vector<MapRec> rec(1);  // large: kept off the stack
      DecodeMap(bytes.data(), kMapSize, rec.front());
      *out = MapFieldValues(rec.front());
      *used = kMapSize;
      return common::Status::OK();
    }
    case Page::Shops:
      break;
  }
  return common::Status::InvalidArgument("is a shop file, not a binary record");
}

}  // namespace

common::Status ReadConvertedRecord(const common::ServerFolder& server, Page page, int32_t n,
                                   ShownRecord* out) {
  const std::string toolPath = ToolPathOf(page, n);
  out->file = ShownName(toolPath);
  common::Folder folder;
  std::string entry;
  if (common::Status s = server.Locate(toolPath, &folder, &entry); !s.ok()) {
    return s.WithContext("cannot read " + out->file);
  }
  out->host = folder.HostOf(entry);

  if (page == Page::Shops) {
    const common::ProfileReader file(folder, entry);
    if (file.status().IsNotFound()) {
      return common::Status::NotFound(out->file + ": no such file (" + out->host + ")");
    }
    if (common::Status s = ReadShopFields(file, n, &out->fields); !s.ok()) {
      return file.status().ok() ? common::Status::InvalidArgument(out->file + " " + s.message())
                                : s;
    }
    return common::Status::OK();
  }

  // Read once it has been still for a moment, and again when it changed
  // during the read, as every rewrite of the tools reads.
  common::SteadyFile file;
  if (common::Status s = common::ReadSteady(folder, entry, kLargestRecord, &file); !s.ok()) {
    if (s.IsNotFound()) {
      return common::Status::NotFound(out->file + ": no such file (" + out->host + ")");
    }
    return s;
  }
  out->size = file.bytes.size();
  const std::vector<uint8_t> bytes(file.bytes.begin(), file.bytes.end());
  size_t used = 0;
  if (common::Status s = DecodeFields(page, bytes, &out->fields, &used); !s.ok()) {
    return common::Status::InvalidArgument(out->file + " " + s.message());
  }
  out->tail = out->size - used;
  return common::Status::OK();
}

}  // namespace vostrel
