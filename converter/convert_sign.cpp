// Sign conversion: section SIGN<N> of signs.ini to Signs\Sign<N>.dat.
#include <string>

#include "common/binary_record.h"
#include "converter/modConvert.h"
#include "converter/record_source.h"

namespace vostrel {

void ConvertSign(int16_t n) {
  SignRec& rec = TableElement(SignTable, n, "sign");
  const std::string target = common::ProgramFolder() + "\\Signs\\Sign" + common::Dec(n) + ".dat";

  // Texts are kept whole: a read never returns more than 4999 bytes, which
  // always fits the 16-bit length of the file. Reserved is left alone.
  const RecordSource read("\\signs.ini", "SIGN", n);
  rec.Header = read("Header");
  rec.Line1 = read("Line1");
  rec.Line2 = read("Line2");
  rec.Line3 = read("Line3");

  common::WriteRecordFile(target, SignRecBytes(rec));
}

}  // namespace vostrel
