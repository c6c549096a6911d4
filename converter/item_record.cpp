#include "converter/item_record.h"

#include "common/binary_record.h"

namespace vostrel {

std::vector<uint8_t> ItemRecBytes(const ItemRec& rec) {
  common::RecordWriter w;
  w.FixedText(rec.Name, 20);
  w.Integer(rec.Pic);
  w.Byte(rec.Type);
  w.Long(rec.Data1);
  w.Long(rec.Data2);
  w.Long(rec.Data3);
  w.FixedText(rec.GuildReq, 20);
  w.Long(rec.LevelReq);
  w.Byte(rec.ClassReq);
  for (int16_t reserved : rec.Reserved) w.Integer(reserved);
  return w.bytes();
}

}  // namespace vostrel
