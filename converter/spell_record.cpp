#include "converter/spell_record.h"

#include "common/binary_record.h"

namespace vostrel {

std::vector<uint8_t> SpellRecBytes(const SpellRec& rec) {
  common::RecordWriter w;
  w.FixedText(rec.Name, 20);
  w.FixedText(rec.GuildReq, 20);
  w.Byte(rec.ClassReq);
  w.Byte(rec.LevelReq);
  w.Byte(rec.Type);
  w.Integer(rec.Data1);
  w.Integer(rec.Data2);
  w.Integer(rec.Data3);
  w.Integer(rec.Data4);
  w.Integer(rec.Data5);
  w.Integer(rec.Reserved);
  return w.bytes();
}

}  // namespace vostrel
