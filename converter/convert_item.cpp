#include <string>

#include "binary_record.h"
#include "modConvert.h"
#include "numeric_text.h"
#include "record_source.h"

namespace vostrel {

void ConvertItem(int32_t n) {
  ItemRec& rec = TableElement(ItemTable, n, "item");
  const std::string target = ProgramFolder() + "\\Items\\Item" + Dec(n) + ".dat";
  const RecordSource read("\\items.ini", "ITEM", n);

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
