#include "converter/record_table.h"

#include "common/text_util.h"

namespace vostrel {

RecordSource::RecordSource(const common::layout::ProfileKindFiles& files, int32_t n)
    : reader_(common::layout::ServerPath(files.source)),
      section_(files.sectionPrefix + common::Dec(n)) {}

common::Status RecordSource::status() const {
  // The reader's failure names the file and why.
  const common::Status& s = reader_.status();
  return s.IsNotFound() ? common::Status::OK() : s;
}

common::Status CheckTableNumber(size_t tableSize, int32_t n, const char* kind) {
  if (n < 1 || static_cast<size_t>(n) >= tableSize) {
    return common::Status::OutOfRange(std::string(kind) + " " + common::Dec(n) +
                                      " lies outside the " + kind + " table");
  }
  return common::Status::OK();
}

}  // namespace vostrel
