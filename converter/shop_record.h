// Shops: section SHOP<N> of shops.ini is copied into the profile file
// Shops\Shop<N>.dat, under the same section, as 52 keys.
#pragma once

#include <cstdint>

#include "common/status.h"

namespace vostrel {

// Converts shop `n`. All 52 keys reach the disk in one crash-safe write;
// other keys and sections of an existing shop file are kept. Values are
// copied as bytes, never parsed. Fails, leaving the file as it was, when the
// shop file cannot be written; the failure names the file.
common::Status ConvertShop(int32_t n);

}  // namespace vostrel
