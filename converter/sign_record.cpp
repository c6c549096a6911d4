#include "converter/sign_record.h"

#include "converter/converter_state.h"
#include "converter/record_table.h"

namespace vostrel {

namespace {

using F = Field<SignRec>;

constexpr F kSignFields[] = {
    F::VarText("Header", &SignRec::Header, 0),
    F::VarText("Line1", &SignRec::Line1, 1),
    F::VarText("Line2", &SignRec::Line2, 2),
    F::VarText("Line3", &SignRec::Line3, 3),
    F::Reserved(1, 4),
};

}  // namespace

constexpr RecordLayout kSignLayout("sign", common::layout::kSigns, kVariableSize, kSignFields);

common::Status ConvertSign(ConverterState& state, int16_t n) {
  return ConvertRecord(kSignLayout, state.SignTable, n);
}

common::Status ConvertSign(ConverterState& state, int16_t n, RecordJob& job) {
  return ConvertRecord(kSignLayout, state.SignTable, n, job);
}

common::Status ReadSignFields(const std::vector<uint8_t>& bytes, std::vector<FieldValue>* out,
                              size_t* used) {
  return kSignLayout.ReadFields(bytes, out, used);
}

}  // namespace vostrel
