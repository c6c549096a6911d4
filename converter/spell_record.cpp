#include "converter/spell_record.h"

#include "converter/converter_state.h"
#include "converter/record_table.h"

namespace vostrel {

namespace {

using F = Field<SpellRec>;

// The keys keep the server's old read order; on disk the requirements come
// first, and two reserved bytes end the record.
constexpr F kSpellFields[] = {
    F::FixedText("Name", &SpellRec::Name, 20, 0),
    F::Byte("Type", &SpellRec::Type, 4),
    F::Integer("Data1", &SpellRec::Data1, 5),
    F::Integer("Data2", &SpellRec::Data2, 6),
    F::Integer("Data3", &SpellRec::Data3, 7),
    F::Integer("Data4", &SpellRec::Data4, 8),
    F::Integer("Data5", &SpellRec::Data5, 9),
    F::Byte("ClassReq", &SpellRec::ClassReq, 2),
    F::FixedText("GuildReq", &SpellRec::GuildReq, 20, 1),
    F::Byte("LevelReq", &SpellRec::LevelReq, 3),
    F::Reserved(2, 10),
};

}  // namespace

constexpr RecordLayout kSpellLayout("spell", common::layout::kSpells, kSpellRecSize, kSpellFields);

common::Status ConvertSpell(ConverterState& state, int32_t n) {
  return ConvertRecord(kSpellLayout, state.SpellTable, n);
}

common::Status ConvertSpell(ConverterState& state, int32_t n, RecordJob& job) {
  return ConvertRecord(kSpellLayout, state.SpellTable, n, job);
}

common::Status ReadSpellFields(const std::vector<uint8_t>& bytes, std::vector<FieldValue>* out,
                               size_t* used) {
  return kSpellLayout.ReadFields(bytes, out, used);
}

}  // namespace vostrel
