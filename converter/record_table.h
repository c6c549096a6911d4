// The one mechanism behind the binary record converters: what a kind's
// records are read from and written to (RecordJob), and the converter every
// kind shares, driven by the kind's layout (common/record_layout.h), which
// reads the keys, checks the numbers and lays out the record's bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/profile.h"
#include "common/profile_index.h"
#include "common/record_folder.h"
#include "common/record_layout.h"
#include "common/server_folder.h"
#include "common/server_layout.h"
#include "common/status.h"

namespace vostrel {

// The record layouts themselves (fields, disk order, encoding) are shared
// with the inspector, which reads converted records back.
using common::Field;
using common::FieldType;
using common::kVariableSize;
using common::RecordLayout;

// What a kind's records are read from and written to. Made for a whole job,
// it holds the source file as it stood when the job began, found, checked
// and parsed once, and the record folder, listed once, both reached from
// the job's server folder: every record then costs its own look-ups and its
// own file, nothing more; a change to the source during the job is seen by
// the next job. Made for one record, it reads the source and writes the
// file the general way, in the program folder.
class RecordJob {
 public:
  // One record, in the program folder.
  explicit RecordJob(const common::layout::ProfileKindFiles& files);
  // A whole job on `server`.
  RecordJob(const common::ServerFolder& server, const common::layout::ProfileKindFiles& files);

  const common::layout::ProfileKindFiles& files() const { return *files_; }
  const common::ProfileReader& source() const { return source_; }
  // OK when the keys can be read. A missing source reads as empty, as the
  // server's own tools read it; one that cannot be read at all fails, so no
  // record is written from values that were never there.
  common::Status SourceStatus() const;

  // Section <prefix>N of the source, and of a shop's own file.
  std::string SectionName(int32_t n) const;
  // That section of the source, `name` being SectionName(n). Whether it is
  // there is kept, so that HasSection(n) right after asks nothing again.
  common::ProfileReader::Section FindSection(int32_t n, std::string_view name);
  // Where record N comes from, for messages: "ITEM5 in /srv/game/items.ini".
  std::string SourceName(int32_t n) const;
  // Record N's file name in its folder, and its whole tool path.
  std::string RecordName(int32_t n) const;
  std::string RecordPath(int32_t n) const;

  // The keys every record of the job reads (ConvertRecord makes them on its
  // first record): hashed once for the whole job.
  const common::KeyList* keys() const { return keys_ ? &*keys_ : nullptr; }
  const common::KeyList& SetKeys(const std::vector<std::string_view>& names) {
    return keys_.emplace(names);
  }

  // The memory every record of the job is encoded in.
  std::vector<uint8_t>& buffer() { return buffer_; }

  // Writes record N's file as WriteRecordFile does; in a dry run writes
  // nothing and returns CheckWrite(n).
  common::Status WriteRecord(int32_t n, const std::vector<uint8_t>& bytes);

  // Makes this a dry run of a whole job: no record is written, and a record
  // folder that is not there yet counts as made (the real job makes it).
  void SetDryRun();
  bool dryRun() const { return dryRun_; }
  // What writing record N would fail at, found without writing
  // (common::RecordFolder::CheckWrite). OK for one record on its own.
  common::Status CheckWrite(int32_t n) const;
  // True when the record folder is not there, and the real job makes it.
  bool folderToBeMade() const { return folderToBeMade_; }
  // True when the source holds section <prefix>N: a record without one is
  // converted blank.
  bool HasSection(int32_t n) const;
  // The listed record folder; null for one record. Its status() says why it
  // could not be opened, and every record then fails with that.
  common::RecordFolder* folder() { return folder_ ? &*folder_ : nullptr; }

  // Flushes what a whole job wrote to the disk: the file system of the
  // record folder, or of the server folder when the record folder could not
  // be reached. A job made for one record has neither and must not call it.
  common::Status Flush() const;

 private:
  const common::ServerFolder* server_ = nullptr;  // null for one record
  const common::layout::ProfileKindFiles* files_;
  std::string sourceHost_;  // a whole job's source host path, for messages (set before source_)
  common::ProfileReader source_;
  std::string namePrefix_;  // the record prefix after its last separator
  std::optional<common::RecordFolder> folder_;
  std::optional<common::KeyList> keys_;
  std::vector<uint8_t> buffer_;
  bool dryRun_ = false;
  bool folderToBeMade_ = false;
  // The section FindSection looked up last, and whether it was there.
  bool sectionKnown_ = false;
  int32_t sectionNumber_ = 0;
  bool sectionFound_ = false;
};

// OutOfRange unless 1 <= n < table size: the table has no element 0, and a
// negative number would wrap to a huge index.
common::Status CheckTableNumber(size_t tableSize, int32_t n, const char* kind);

// The converter every binary record kind shares: reads section <KIND>N into
// element N of `table`, field by field in key-read order, and writes the
// record's file. A number outside the table ends the call first; a value
// that does not fit its field ends it there, with the fields read before it
// stored and nothing written; the file's own failure is returned as it is.
template <typename Rec, size_t N>
common::Status ConvertRecord(const RecordLayout<Rec, N>& layout, std::vector<Rec>& table, int32_t n,
                             RecordJob& job) {
  if (common::Status s = CheckTableNumber(table.size(), n, layout.kind()); !s.ok()) return s;
  Rec& rec = table[static_cast<size_t>(n)];
  if (common::Status s = job.SourceStatus(); !s.ok()) return s;
  // The record's keys are read in one pass over its section.
  const common::KeyList* keys = job.keys();
  if (!keys) keys = &job.SetKeys(layout.KeyNames());
  std::array<std::string_view, N> values;
  job.FindSection(n, job.SectionName(n)).GetAll(*keys, values.data());
  size_t read = 0;
  for (const Field<Rec>& f : layout.fields()) {
    if (f.type == FieldType::kReserved) continue;
    if (common::Status s = f.Store(values[read++], &rec); !s.ok()) return s;
  }
  std::vector<uint8_t>& bytes = job.buffer();
  if (common::Status s = layout.Encode(rec, &bytes); !s.ok()) return s;
  return job.WriteRecord(n, bytes);
}

// The same for one record on its own.
template <typename Rec, size_t N>
common::Status ConvertRecord(const RecordLayout<Rec, N>& layout, std::vector<Rec>& table,
                             int32_t n) {
  if (common::Status s = CheckTableNumber(table.size(), n, layout.kind()); !s.ok()) return s;
  RecordJob job(layout.files());
  return ConvertRecord(layout, table, n, job);
}

}  // namespace vostrel
