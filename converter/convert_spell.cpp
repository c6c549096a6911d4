// Spell conversion: section SPELL<N> of Spells.ini to Spells\Spell<N>.dat.
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

void ConvertSpell(int32_t n) {
  // The table has no element 0; a negative N would wrap to a huge index.
  if (n < 1) throw std::out_of_range("spell " + Dec(n) + " lies outside the spell table");
  SpellRec& rec = SpellTable.at(static_cast<size_t>(n));

  const std::string source = ProgramFolder() + "\\Spells.ini";
  const std::string target = ProgramFolder() + "\\Spells\\Spell" + Dec(n) + ".dat";
  const std::string section = "SPELL" + Dec(n);
  // The source is checked once per record, not once per key.
  const ProfileReader spells(source);
  auto read = [&](const char* key) { return spells.Get(section, key); };

  // Keys are read in the legacy order; each lands in the field of its own
  // name. An overflow leaves the fields already stored with their new values
  // and writes nothing.
  rec.Name = Fixed(read("Name"), 20);
  rec.Type = ToByte(read("Type"), "Type");
  rec.Data1 = ToInteger(read("Data1"), "Data1");
  rec.Data2 = ToInteger(read("Data2"), "Data2");
  rec.Data3 = ToInteger(read("Data3"), "Data3");
  rec.Data4 = ToInteger(read("Data4"), "Data4");
  rec.Data5 = ToInteger(read("Data5"), "Data5");
  rec.ClassReq = ToByte(read("ClassReq"), "ClassReq");
  rec.GuildReq = Fixed(read("GuildReq"), 20);
  rec.LevelReq = ToByte(read("LevelReq"), "LevelReq");

  WriteRecordFile(target, SpellRecBytes(rec));
}

}  // namespace vostrel
