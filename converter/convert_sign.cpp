// Sign conversion: section SIGN<N> of signs.ini to Signs\Sign<N>.dat.
#include <stdexcept>
#include <string>

#include "binary_record.h"
#include "modConvert.h"
#include "profile.h"
#include "program_folder.h"
#include "text_util.h"

namespace vostrel {

void ConvertSign(int16_t n) {
  // The table has no element 0; a negative N would wrap to a huge index.
  if (n < 1) throw std::out_of_range("sign " + Dec(n) + " lies outside the sign table");
  SignRec& rec = SignTable.at(static_cast<size_t>(n));

  const std::string source = ProgramFolder() + "\\signs.ini";
  const std::string target = ProgramFolder() + "\\Signs\\Sign" + Dec(n) + ".dat";
  const std::string section = "SIGN" + Dec(n);

  // Texts are kept whole: a read never returns more than 4999 bytes, which
  // always fits the 16-bit length of the file. Reserved is left alone.
  const ProfileReader signs(source);  // checked once per record
  rec.Header = signs.Get(section, "Header");
  rec.Line1 = signs.Get(section, "Line1");
  rec.Line2 = signs.Get(section, "Line2");
  rec.Line3 = signs.Get(section, "Line3");

  WriteRecordFile(target, SignRecBytes(rec));
}

}  // namespace vostrel
