#include "converter/record_table.h"

#include "common/binary_record.h"
#include "common/host_path.h"
#include "common/text_util.h"
#include "common/trusted_folder.h"
#include "converter/output_folder.h"

namespace vostrel {

namespace {

// Splits a record prefix ("\Items\Item") into its folder and the start of
// each record's name.
void SplitPrefix(std::string_view prefix, std::string_view* folder, std::string* name) {
  size_t cut = prefix.size();
  while (cut > 0 && !common::IsSeparator(prefix[cut - 1])) --cut;
  *folder = prefix.substr(0, cut);
  *name = std::string(prefix.substr(cut));
}

// The source of a whole job, found from the server folder.
common::ProfileReader ReadSource(const common::ServerFolder& server, std::string_view source,
                                 std::string* host) {
  common::Folder folder;
  std::string entry;
  if (common::Status s = server.Locate(source, &folder, &entry); !s.ok()) {
    *host = common::SpelledPath(server.Path(source));
    return common::ProfileReader(s);
  }
  *host = folder.HostOf(common::ResolveName(folder, entry));
  return common::ProfileReader(folder, entry);
}

}  // namespace

RecordJob::RecordJob(const common::layout::ProfileKindFiles& files)
    : files_(&files), source_(common::layout::ServerPath(files.source)) {
  std::string_view folder;
  SplitPrefix(files.recordPrefix, &folder, &namePrefix_);
}

RecordJob::RecordJob(const common::ServerFolder& server,
                     const common::layout::ProfileKindFiles& files)
    : server_(&server), files_(&files), source_(ReadSource(server, files.source, &sourceHost_)) {
  std::string_view folder;
  SplitPrefix(files.recordPrefix, &folder, &namePrefix_);
  folder_.emplace(server, folder);
}

common::Status RecordJob::SourceStatus() const {
  // The reader's failure names the file and why.
  const common::Status& s = source_.status();
  return s.IsNotFound() ? common::Status::OK() : s;
}

std::string RecordJob::SectionName(int32_t n) const {
  return files_->sectionPrefix + common::Dec(n);
}

std::string RecordJob::SourceName(int32_t n) const {
  // Resolved here for one record, whose convert calls never name the
  // source: walking the folders on every such call would be wasted.
  if (!server_) {
    return SectionName(n) + " in " +
           common::ResolveHostPath(common::layout::ServerPath(files_->source));
  }
  return SectionName(n) + " in " + sourceHost_;
}

std::string RecordJob::RecordName(int32_t n) const { return namePrefix_ + common::Dec(n) + ".dat"; }

std::string RecordJob::RecordPath(int32_t n) const {
  if (server_) return server_->Path(files_->recordPrefix) + common::Dec(n) + ".dat";
  return common::layout::RecordFile(files_->recordPrefix, n);
}

common::Status RecordJob::WriteRecord(int32_t n, const std::vector<uint8_t>& bytes) {
  if (dryRun_) return CheckWrite(n);
  if (!folder_) return common::WriteRecordFile(RecordPath(n), bytes);
  return folder_->Write(RecordName(n), bytes);
}

void RecordJob::SetDryRun() {
  dryRun_ = true;
  if (!server_ || !folder_ || folder_->folder().valid()) return;
  std::string_view folder;
  std::string name;
  SplitPrefix(files_->recordPrefix, &folder, &name);
  folderToBeMade_ = OutputFolderToBeMade(*server_, folder);
}

common::Status RecordJob::CheckWrite(int32_t n) const {
  if (!folder_ || folderToBeMade_) return common::Status::OK();
  return folder_->CheckWrite(RecordName(n));
}

common::ProfileReader::Section RecordJob::FindSection(int32_t n, std::string_view name) {
  common::ProfileReader::Section section = source_.InSection(name);
  sectionKnown_ = true;
  sectionNumber_ = n;
  sectionFound_ = section.exists();
  return section;
}

bool RecordJob::HasSection(int32_t n) const {
  // The source does not change during the job: the converter's own look-up
  // of the record's section answers.
  if (sectionKnown_ && sectionNumber_ == n) return sectionFound_;
  return source_.InSection(SectionName(n)).exists();
}

common::Status RecordJob::Flush() const { return FlushOutput(*server_, *folder_); }

common::Status CheckTableNumber(size_t tableSize, int32_t n, const char* kind) {
  if (n < 1 || static_cast<size_t>(n) >= tableSize) {
    return common::Status::OutOfRange(std::string(kind) + " " + common::Dec(n) +
                                      " lies outside the " + kind + " table");
  }
  return common::Status::OK();
}

}  // namespace vostrel
