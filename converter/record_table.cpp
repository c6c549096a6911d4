#include "converter/record_table.h"

#include "common/host_path.h"
#include "common/text_util.h"

namespace vostrel {

RecordJob::RecordJob(const common::layout::ProfileKindFiles& files, Scope scope)
    : files_(&files), source_(common::layout::ServerPath(files.source)) {
  const std::string_view prefix = files.recordPrefix;
  size_t cut = prefix.size();
  while (cut > 0 && !common::IsSeparator(prefix[cut - 1])) --cut;
  folderPath_ = common::layout::ServerPath(prefix.substr(0, cut));
  namePrefix_ = prefix.substr(cut);
  if (scope == Scope::kWholeJob) folder_.emplace(folderPath_);
}

common::Status RecordJob::SourceStatus() const {
  // The reader's failure names the file and why.
  const common::Status& s = source_.status();
  return s.IsNotFound() ? common::Status::OK() : s;
}

std::string RecordJob::SectionName(int32_t n) const {
  return files_->sectionPrefix + common::Dec(n);
}

std::string RecordJob::RecordName(int32_t n) const { return namePrefix_ + common::Dec(n) + ".dat"; }

std::string RecordJob::RecordPath(int32_t n) const {
  return common::layout::RecordFile(files_->recordPrefix, n);
}

common::Status RecordJob::WriteRecord(int32_t n, const std::vector<uint8_t>& bytes) {
  if (!folder_) return common::WriteRecordFile(RecordPath(n), bytes);
  return folder_->Write(RecordName(n), bytes);
}

common::Status CheckTableNumber(size_t tableSize, int32_t n, const char* kind) {
  if (n < 1 || static_cast<size_t>(n) >= tableSize) {
    return common::Status::OutOfRange(std::string(kind) + " " + common::Dec(n) +
                                      " lies outside the " + kind + " table");
  }
  return common::Status::OK();
}

}  // namespace vostrel
