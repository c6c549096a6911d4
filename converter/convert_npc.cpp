// NPC conversion: section NPC<N> of npcs.ini to NPCs\NPC<N>.dat.
#include <stdexcept>
#include <string>

#include "binary_record.h"
#include "modConvert.h"
#include "numeric_text.h"
#include "profile.h"
#include "program_folder.h"
#include "text_util.h"

namespace vostrel {

namespace {

// A fixed-width text field, as the record holds it: cut to `width`
// characters, padded with spaces.
std::string Fixed(std::string text, size_t width) {
  text.resize(width, ' ');
  return text;
}

}  // namespace

void ConvertNPC(int32_t n) {
  // The table has no element 0; a negative N would wrap to a huge index.
  if (n < 1) throw std::out_of_range("NPC " + Dec(n) + " lies outside the NPC table");
  NPCRec& rec = NPCTable.at(static_cast<size_t>(n));

  const std::string source = ProgramFolder() + "\\npcs.ini";
  // Spelled as the server's tools always spelled it; the path resolves to
  // the NPCs folder the job made, whatever its case.
  const std::string target = ProgramFolder() + "\\NPCS\\NPC" + Dec(n) + ".dat";
  const std::string section = "NPC" + Dec(n);
  // The source is checked once per record, not once per key.
  const ProfileReader npcs(source);
  auto read = [&](const char* key) { return npcs.Get(section, key); };

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
