#include "converter/item_record.h"

#include "converter/converter_state.h"
#include "converter/record_table.h"

namespace vostrel {

using common::kItemLayout;

common::Status ConvertItem(ConverterState& state, int32_t n) {
  return ConvertRecord(kItemLayout, state.ItemTable, n);
}

common::Status ConvertItem(ConverterState& state, int32_t n, RecordJob& job) {
  return ConvertRecord(kItemLayout, state.ItemTable, n, job);
}

common::Status ReadItemFields(const std::vector<uint8_t>& bytes, std::vector<FieldValue>* out,
                              size_t* used) {
  return kItemLayout.ReadFields(bytes, out, used);
}

}  // namespace vostrel
