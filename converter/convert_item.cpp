#include <string>

#include "common/binary_record.h"
#include "converter/modConvert.h"
#include "common/numeric_text.h"
#include "converter/record_source.h"

namespace vostrel {

void ConvertItem(int32_t n) {
  ItemRec& rec = TableElement(ItemTable, n, "item");
  const std::string target = common::ProgramFolder() + "\\Items\\Item" + common::Dec(n) + ".dat";
  const RecordSource read("\\items.ini", "ITEM", n);

  // Each value lands in the field of its own key; a value that does not fit
  // ends the record here, with the fields before it already stored.
  rec.Name = Fixed(read("Name"), 20);
  rec.Pic = common::ToInteger(read("Pic"), "Pic");
  rec.Type = common::ToByte(read("Type"), "Type");
  rec.Data1 = common::ToLong(read("Data1"), "Data1");
  rec.Data2 = common::ToLong(read("Data2"), "Data2");
  rec.Data3 = common::ToLong(read("Data3"), "Data3");
  rec.ClassReq = common::ToByte(read("ClassReq"), "ClassReq");
  rec.GuildReq = Fixed(read("GuildReq"), 20);
  rec.LevelReq = common::ToLong(read("LevelReq"), "LevelReq");

  common::WriteRecordFile(target, ItemRecBytes(rec));
}

}  // namespace vostrel
