#include "converter/item_record.h"

#include "converter/converter_state.h"
#include "converter/record_table.h"

namespace vostrel {

namespace {

using F = Field<ItemRec>;

// LevelReq is read after ClassReq but stored before it; the record ends in
// 32 reserved bytes, always zero.
constexpr F kItemFields[] = {
    F::FixedText("Name", &ItemRec::Name, 20, 0),
    F::Integer("Pic", &ItemRec::Pic, 1),
    F::Byte("Type", &ItemRec::Type, 2),
    F::Long("Data1", &ItemRec::Data1, 3),
    F::Long("Data2", &ItemRec::Data2, 4),
    F::Long("Data3", &ItemRec::Data3, 5),
    F::Byte("ClassReq", &ItemRec::ClassReq, 8),
    F::FixedText("GuildReq", &ItemRec::GuildReq, 20, 6),
    F::Long("LevelReq", &ItemRec::LevelReq, 7),
    F::Reserved(32, 9),
};

}  // namespace

constexpr RecordLayout kItemLayout("item", common::layout::kItems, kItemRecSize, kItemFields);

common::Status ConvertItem(ConverterState& state, int32_t n) {
  return ConvertRecord(kItemLayout, state.ItemTable, n);
}

common::Status ConvertItem(ConverterState& state, int32_t n, RecordJob& job) {
  return ConvertRecord(kItemLayout, state.ItemTable, n, job);
}

common::Status ReadItemFields(const std::vector<uint8_t>& bytes, std::vector<FieldValue>* out) {
  return kItemLayout.ReadFields(bytes, out);
}

}  // namespace vostrel
