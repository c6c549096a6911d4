// NPC conversion: section NPC<N> of npcs.ini to NPCs\NPC<N>.dat.
#include <string>

#include "binary_record.h"
#include "modConvert.h"
#include "numeric_text.h"
#include "record_source.h"

namespace vostrel {

void ConvertNPC(int32_t n) {
  NPCRec& rec = TableElement(NPCTable, n, "NPC");
  // Spelled as the server's tools always spelled it; the path resolves to
  // the NPCs folder the job made, whatever its case.
  const std::string target = ProgramFolder() + "\\NPCS\\NPC" + Dec(n) + ".dat";
  const RecordSource read("\\npcs.ini", "NPC", n);

  // Legacy read order (SpawnTime before Behavior); each value lands in the
  // field of its own name. An overflow writes nothing.
  rec.Name = Fixed(read("Name"), 20);
  rec.AttackSay = Fixed(read("AttackSay"), 255);
  rec.Sprite = ToLong(read("Sprite"), "Sprite");
  rec.SpawnSecs = ToLong(read("SpawnSecs"), "SpawnSecs");
  rec.SpawnTime = ToByte(read("SpawnTime"), "SpawnTime");
  rec.Behavior = ToByte(read("Behavior"), "Behavior");
  rec.Range = ToLong(read("Range"), "Range");
  rec.DropChance = ToInteger(read("DropChance"), "DropChance");
  rec.DropItem = ToInteger(read("DropItem"), "DropItem");
  rec.DropItemValue = ToInteger(read("DropItemValue"), "DropItemValue");
  rec.STR = ToLong(read("STR"), "STR");
  rec.DEF = ToLong(read("DEF"), "DEF");
  rec.SPEED = ToLong(read("SPEED"), "SPEED");
  rec.MAGI = ToLong(read("MAGI"), "MAGI");
  rec.HP = ToLong(read("HP"), "HP");
  rec.EXP = ToLong(read("EXP"), "EXP");

  WriteRecordFile(target, NPCRecBytes(rec));
}

}  // namespace vostrel
