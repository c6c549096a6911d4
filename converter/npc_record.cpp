#include "converter/npc_record.h"

#include "converter/converter_state.h"
#include "converter/record_table.h"

namespace vostrel {

namespace {

using F = Field<NPCRec>;

// SpawnTime is read before Behavior but stored after it.
constexpr F kNPCFields[] = {
    F::FixedText("Name", &NPCRec::Name, 20, 0),
    F::FixedText("AttackSay", &NPCRec::AttackSay, 255, 1),
    F::Long("Sprite", &NPCRec::Sprite, 2),
    F::Long("SpawnSecs", &NPCRec::SpawnSecs, 3),
    F::Byte("SpawnTime", &NPCRec::SpawnTime, 5),
    F::Byte("Behavior", &NPCRec::Behavior, 4),
    F::Long("Range", &NPCRec::Range, 6),
    F::Integer("DropChance", &NPCRec::DropChance, 7),
    F::Integer("DropItem", &NPCRec::DropItem, 8),
    F::Integer("DropItemValue", &NPCRec::DropItemValue, 9),
    F::Long("STR", &NPCRec::STR, 10),
    F::Long("DEF", &NPCRec::DEF, 11),
    F::Long("SPEED", &NPCRec::SPEED, 12),
    F::Long("MAGI", &NPCRec::MAGI, 13),
    F::Long("HP", &NPCRec::HP, 14),
    F::Long("EXP", &NPCRec::EXP, 15),
};

}  // namespace

constexpr RecordLayout kNPCLayout("NPC", common::layout::kNPCs, kNPCRecSize, kNPCFields);

common::Status ConvertNPC(ConverterState& state, int32_t n) {
  return ConvertRecord(kNPCLayout, state.NPCTable, n);
}

common::Status ConvertNPC(ConverterState& state, int32_t n, RecordJob& job) {
  return ConvertRecord(kNPCLayout, state.NPCTable, n, job);
}

common::Status ReadNPCFields(const std::vector<uint8_t>& bytes, std::vector<FieldValue>* out,
                             size_t* used) {
  return kNPCLayout.ReadFields(bytes, out, used);
}

}  // namespace vostrel
