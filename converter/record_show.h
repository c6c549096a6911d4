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
  std::vector<FieldValue> fields;
};

// Reads converted file N of `page`'s kind through the trusted walk and
// decodes it with the kind's one layout. Fails, naming the file, when it is
// missing, refused (a link the tools do not follow, not an ordinary file) or
// unreadable, or when it is not what the conversion writes: "Items/Item5.dat
// is 40 bytes; an item record is 92 bytes".
common::Status ReadConvertedRecord(const common::ServerFolder& server, Page page, int32_t n,
                                   ShownRecord* out);

}  // namespace vostrel
