// Spell conversion: section SPELL<N> of Spells.ini to Spells\Spell<N>.dat.
#include <string>

#include "common/binary_record.h"
#include "converter/modConvert.h"
#include "common/numeric_text.h"
#include "converter/record_source.h"

namespace vostrel {

void ConvertSpell(int32_t n) {
  SpellRec& rec = TableElement(SpellTable, n, "spell");
  const std::string target = common::ProgramFolder() + "\\Spells\\Spell" + common::Dec(n) + ".dat";
  const RecordSource read("\\Spells.ini", "SPELL", n);

  // Keys are read in the legacy order; each lands in the field of its own
  // name. An overflow leaves the fields already stored with their new values
  // and writes nothing.
  rec.Name = Fixed(read("Name"), 20);
  rec.Type = common::ToByte(read("Type"), "Type");
  rec.Data1 = common::ToInteger(read("Data1"), "Data1");
  rec.Data2 = common::ToInteger(read("Data2"), "Data2");
  rec.Data3 = common::ToInteger(read("Data3"), "Data3");
  rec.Data4 = common::ToInteger(read("Data4"), "Data4");
  rec.Data5 = common::ToInteger(read("Data5"), "Data5");
  rec.ClassReq = common::ToByte(read("ClassReq"), "ClassReq");
  rec.GuildReq = Fixed(read("GuildReq"), 20);
  rec.LevelReq = common::ToByte(read("LevelReq"), "LevelReq");

  common::WriteRecordFile(target, SpellRecBytes(rec));
}

}  // namespace vostrel
