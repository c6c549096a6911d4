// Binary record files: one record from the first byte, fields packed
// little-endian with no padding. Records are built field by field into a byte
// buffer, never by copying a C++ struct.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/status.h"
#include "common/trusted_folder.h"

struct stat;

namespace common {

// Appends fields to a record's bytes.
class RecordWriter {
 public:
  RecordWriter() = default;
  // Starts empty in `buffer`'s memory: a caller that encodes one record
  // after another hands back the bytes it took, and allocates once.
  explicit RecordWriter(std::vector<uint8_t> buffer) : bytes_(std::move(buffer)) { bytes_.clear(); }
  void Byte(uint8_t v);
  void Integer(int16_t v);
  void Long(int32_t v);
  // Fixed-width text: cut to `width` bytes, padded with spaces.
  void FixedText(std::string_view text, size_t width);
  // Variable-length text: 16-bit little-endian byte count, then the bytes.
  // A text longer than 65535 bytes cannot be counted: it is refused and
  // nothing is appended.
  Status VarText(std::string_view text);
  void Raw(std::string_view bytes);
  void Zeros(size_t count) { bytes_.insert(bytes_.end(), count, uint8_t{0}); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  void Reserve(size_t size) { bytes_.reserve(size); }
  // The bytes, leaving the writer empty.
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

// Reads fields from a record's bytes; reading past the end yields zeros.
class RecordReader {
 public:
  RecordReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte();
  int16_t Integer();
  int32_t Long();
  std::string FixedText(size_t width);
  size_t position() const { return pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// Writes `bytes` from the first byte of the file at `path` (a tool path,
// found by the trusted walk, without regard to case). The file is created
// when missing and never shortened, so a longer old file keeps its tail.
// Only ordinary files are opened, never through a link the operator did not
// make; nothing ever blocks on a FIFO. A file that this call created and
// could not fill is removed again. A failure names the file and why.
Status WriteRecordFile(std::string_view path, const std::vector<uint8_t>& bytes);

// Reads up to `size` bytes from the first byte of the file at `path` into
// `out` (resized to `size`; bytes the file lacks are zero) and sets
// `delivered` (when given) to how many bytes the file held. A missing file is
// created empty first, as the host's binary open does.
Status ReadRecordFile(std::string_view path, size_t size, std::vector<uint8_t>* out,
                      size_t* delivered = nullptr);

// The same two for entry `name` (taken as spelled) of an open folder.
Status WriteRecordAt(const Folder& folder, std::string_view name,
                     const std::vector<uint8_t>& bytes);
Status ReadRecordAt(const Folder& folder, std::string_view name, size_t size,
                    std::vector<uint8_t>* out, size_t* delivered = nullptr);

// The parts of the calls above after the file is open, for a caller that
// opened it itself (common/record_folder.h), through `fs`. Both close `fd`. `host` names
// the file in messages; `createdIn`, when not -1, is the folder descriptor
// in which the caller just made the file as `createdName` (a failed write
// removes it again); `opened` is the file's fstat when the caller took one,
// null to take it here.
Status WriteRecordToOpenFile(FileSystem& fs, int fd, const std::string& host, int createdIn,
                             const std::string& createdName, const struct stat* opened,
                             const std::vector<uint8_t>& bytes);
Status ReadRecordFromOpenFile(FileSystem& fs, int fd, const std::string& host, size_t size,
                              std::vector<uint8_t>* out, size_t* delivered);

// Flushes to disk everything written on the file system that holds `path`
// (a tool path; a folder or a file). A job calls it once, after its last
// record and before it reports completion, rather than flushing each record
// file: one flush for the whole job costs next to nothing more than the
// records themselves.
Status FlushFileSystem(std::string_view path);
Status FlushFileSystem(const Folder& folder);

}  // namespace common
