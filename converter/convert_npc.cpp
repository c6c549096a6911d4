// NPC conversion: section NPC<N> of npcs.ini to NPCs\NPC<N>.dat.
#include <string>

#include "common/binary_record.h"
#include "converter/modConvert.h"
#include "common/numeric_text.h"
#include "converter/record_source.h"

namespace vostrel {

void ConvertNPC(int32_t n) {
  NPCRec& rec = TableElement(NPCTable, n, "NPC");
  // Spelled as the server's tools always spelled it; the path resolves to
  // the NPCs folder the job made, whatever its case.
  const std::string target = common::ProgramFolder() + "\\NPCS\\NPC" + common::Dec(n) + ".dat";
  const RecordSource read("\\npcs.ini", "NPC", n);

  // Legacy read order (SpawnTime before Behavior); each value lands in the
  // field of its own name. An overflow writes nothing.
  rec.Name = Fixed(read("Name"), 20);
  rec.AttackSay = Fixed(read("AttackSay"), 255);
  rec.Sprite = common::ToLong(read("Sprite"), "Sprite");
  rec.SpawnSecs = common::ToLong(read("SpawnSecs"), "SpawnSecs");
  rec.SpawnTime = common::ToByte(read("SpawnTime"), "SpawnTime");
  rec.Behavior = common::ToByte(read("Behavior"), "Behavior");
  rec.Range = common::ToLong(read("Range"), "Range");
  rec.DropChance = common::ToInteger(read("DropChance"), "DropChance");
  rec.DropItem = common::ToInteger(read("DropItem"), "DropItem");
  rec.DropItemValue = common::ToInteger(read("DropItemValue"), "DropItemValue");
  rec.STR = common::ToLong(read("STR"), "STR");
  rec.DEF = common::ToLong(read("DEF"), "DEF");
  rec.SPEED = common::ToLong(read("SPEED"), "SPEED");
  rec.MAGI = common::ToLong(read("MAGI"), "MAGI");
  rec.HP = common::ToLong(read("HP"), "HP");
  rec.EXP = common::ToLong(read("EXP"), "EXP");

  common::WriteRecordFile(target, NPCRecBytes(rec));
}

}  // namespace vostrel
