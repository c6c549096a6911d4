// A converted record's field as read back lives in the platform layer, beside
// the record layouts that read it.
#pragma once

#include "common/field_value.h"

namespace vostrel {
using common::FieldValue;
}  // namespace vostrel
