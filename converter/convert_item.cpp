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

// A fixed-width text field: cut to `width` characters, padded with spaces.
std::string Fixed(std::string text, size_t width) {
  text.resize(width, ' ');
  return text;
}

}  // namespace

void ConvertItem(int32_t n) {
  const std::string source = ProgramFolder() + "\\items.ini";
  const std::string target = ProgramFolder() + "\\Items\\Item" + Dec(n) + ".dat";
  const std::string section = "ITEM" + Dec(n);
  // The table runs from 1; element 0 is no record.
  if (n < 1) throw std::out_of_range("item number " + Dec(n) + " is below 1");
  ItemRec& rec = ItemTable.at(n);
  // The source is checked once per record, not once per key.
  const ProfileReader items(source);
  auto read = [&](const char* key) { return items.Get(section, key); };

  // Each value lands in the field of its own key; a value that does not fit
  // ends the record here, with the fields before it already stored.
  rec.Name = Fixed(read("Name"), 20);
  rec.Pic = ToInteger(read("Pic"), "Pic");
  rec.Type = ToByte(read("Type"), "Type");
  rec.Data1 = ToLong(read("Data1"), "Data1");
  rec.Data2 = ToLong(read("Data2"), "Data2");
  rec.Data3 = ToLong(read("Data3"), "Data3");
  rec.ClassReq = ToByte(read("ClassReq"), "ClassReq");
  rec.GuildReq = Fixed(read("GuildReq"), 20);
  rec.LevelReq = ToLong(read("LevelReq"), "LevelReq");

  WriteRecordFile(target, ItemRecBytes(rec));
}

}  // namespace vostrel
