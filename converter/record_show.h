// Reading one converted file back: the record, shop file or map the
// conversion wrote for number N, its fields named as the record tables name
// them. For `Vostrel show`; the window has no such page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/server_folder.h"
#include "common/status.h"
#include "converter/conversion.h"
#include "converter/field_value.h"

namespace vostrel {

struct ShownRecord {
  std::string file;  // relative to the server folder, "/"-separated: "Items/Item5.dat"
  std::string host;  // where it was read
  uint64_t size = 0;
  // Bytes after the record: the tail of an older, longer file the record
  // was written over, which the server does not read.
  uint64_t tail = 0;
  std::vector<FieldValue> fields;
};

// Reads converted file N of `page`'s kind through the trusted walk and
// decodes it with the kind's one layout. Fails, naming the file, when it is
// missing, refused (a link the tools do not follow, not an ordinary file) or
// unreadable, or when it is not what the conversion writes: "Items/Item5.dat
// is 40 bytes; an item record is 92 bytes". A longer file is read as the
// server reads it, the record at its start.
common::Status ReadConvertedRecord(const common::ServerFolder& server, Page page, int32_t n,
                                   ShownRecord* out);

}  // namespace vostrel
