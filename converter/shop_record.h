// Shops: section SHOP<N> of shops.ini is copied into the profile file
// Shops\Shop<N>.dat, under the same section, as 52 keys.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/status.h"
#include "converter/field_value.h"

namespace common {
class ProfileReader;
}

namespace vostrel {

class RecordJob;

// Converts shop `n`. All 52 keys reach the disk in one crash-safe write;
// other keys and sections of an existing shop file are kept. Values are
// copied as bytes, never parsed. Fails, leaving the file as it was, when the
// shop file cannot be written; the failure names the file.
common::Status ConvertShop(int32_t n);
// The same as one record of a job: read from the job's source, and a shop
// file the job's folder did not hold written whole, with no editing.
common::Status ConvertShop(int32_t n, RecordJob& job);

// The 52 keys of shop `n` in `file` (a shop file), in the order the
// conversion writes them, as texts. Fails when the file has no section
// SHOP<N> (the message follows the file's name).
common::Status ReadShopFields(const common::ProfileReader& file, int32_t n,
                              std::vector<FieldValue>* out);

// The text of a new shop file holding `keys` (name, value) in `section`:
// byte for byte what setting them one by one in a missing profile file
// makes of it.
std::string NewShopFileText(std::string_view section,
                            const std::vector<std::pair<std::string, std::string>>& keys);

}  // namespace vostrel
