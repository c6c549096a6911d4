#include "converter/npc_record.h"

#include "common/binary_record.h"

namespace vostrel {

std::vector<uint8_t> NPCRecBytes(const NPCRec& rec) {
  common::RecordWriter w;
  w.FixedText(rec.Name, 20);
  w.FixedText(rec.AttackSay, 255);
  w.Long(rec.Sprite);
  w.Long(rec.SpawnSecs);
  w.Byte(rec.Behavior);
  w.Byte(rec.SpawnTime);
  w.Long(rec.Range);
  w.Integer(rec.DropChance);
  w.Integer(rec.DropItem);
  w.Integer(rec.DropItemValue);
  w.Long(rec.STR);
  w.Long(rec.DEF);
  w.Long(rec.SPEED);
  w.Long(rec.MAGI);
  w.Long(rec.HP);
  w.Long(rec.EXP);
  return w.bytes();
}

}  // namespace vostrel
