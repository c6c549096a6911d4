#include "common/binary_record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/atomic_file.h"
#include "common/host_path.h"

namespace common {

void RecordWriter::Byte(uint8_t v) { bytes_.push_back(v); }

void RecordWriter::Integer(int16_t v) {
  uint16_t u = static_cast<uint16_t>(v);
  bytes_.push_back(static_cast<uint8_t>(u & 0xFF));
  bytes_.push_back(static_cast<uint8_t>(u >> 8));
}

void RecordWriter::Long(int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>((u >> (8 * i)) & 0xFF));
}

void RecordWriter::FixedText(std::string_view text, size_t width) {
  const size_t copied = std::min(width, text.size());
  bytes_.insert(bytes_.end(), text.begin(), text.begin() + copied);
  bytes_.insert(bytes_.end(), width - copied, uint8_t{' '});
}

Status RecordWriter::VarText(std::string_view text) {
  if (text.size() > 0xFFFF) {
    return Status::OutOfRange("a text of " + std::to_string(text.size()) +
                              " bytes is too long for its 16-bit length field");
  }
  uint16_t n = static_cast<uint16_t>(text.size());
  bytes_.push_back(static_cast<uint8_t>(n & 0xFF));
  bytes_.push_back(static_cast<uint8_t>(n >> 8));
  Raw(text);
  return Status::OK();
}

void RecordWriter::Raw(std::string_view bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

uint8_t RecordReader::Byte() {
  uint8_t v = pos_ < size_ ? data_[pos_] : 0;
  ++pos_;
  return v;
}

int16_t RecordReader::Integer() {
  uint16_t lo = Byte(), hi = Byte();
  return static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8)));
}

int32_t RecordReader::Long() {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(Byte()) << (8 * i);
  return static_cast<int32_t>(v);
}

std::string RecordReader::FixedText(size_t width) {
  std::string s;
  s.reserve(width);
  for (size_t i = 0; i < width; ++i) s.push_back(static_cast<char>(Byte()));
  return s;
}

namespace {

// Opens an existing ordinary file, or creates it when `host` does not exist.
// Sets `created` when this call made the file.
Status OpenOrdinary(const std::string& host, int flags, bool needWrite, int* fd, bool* created) {
  struct stat st;
  *created = false;
  if (stat(host.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) {
      return Status::IOError("cannot open what is not an ordinary file: " + host);
    }
    if (needWrite) {
      if (Status s = CheckMayWrite(host, st); !s.ok()) return s;
    }
    *fd = open(host.c_str(), flags | O_NONBLOCK | O_CLOEXEC);
    if (*fd < 0) return PosixError("cannot open " + host, errno);
    return Status::OK();
  }
  *fd = open(host.c_str(), flags | O_CREAT | O_EXCL | O_NONBLOCK | O_CLOEXEC, 0666);
  if (*fd < 0) return PosixError("cannot create " + host, errno);
  *created = true;
  NoteCreated(host);
  return Status::OK();
}

}  // namespace

Status WriteRecordToOpenFile(int fd, const std::string& host, bool created,
                             const struct stat* opened, const std::vector<uint8_t>& bytes) {
  int err = 0;
  // The record is written in place, so a write that ran out of space half
  // way would leave a record that is part new, part old. The room a longer
  // record needs is claimed first: a full disk then fails the call before a
  // byte of the old record has changed.
  struct stat st;
  if (created) {
    // A file this call made holds no old record to keep whole, and a failed
    // write removes it again: nothing to claim first.
    if (WriteFaultInjected(host)) err = ENOSPC;
  } else if (!opened && fstat(fd, &st) != 0) {
    err = errno;
  } else if (WriteFaultInjected(host)) {
    err = ENOSPC;
  } else {
    if (opened) st = *opened;
    if (static_cast<off_t>(bytes.size()) > st.st_size) {
      err = posix_fallocate(fd, 0, static_cast<off_t>(bytes.size()));
      // A claim that failed may have lengthened the file; the old bytes all
      // lie below the old size.
      if (err != 0 && err != EINVAL && err != EOPNOTSUPP) {
        [[maybe_unused]] int ignored = ftruncate(fd, st.st_size);
      } else {
        err = 0;  // nothing to claim on this file system; write as it comes
      }
    }
  }
  size_t done = 0;
  while (err == 0 && done < bytes.size()) {
    ssize_t n = pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      err = n < 0 ? errno : EIO;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (close(fd) != 0 && err == 0) err = errno;
  if (err != 0) {
    if (created) unlink(host.c_str());
    return PosixError("cannot write " + host, err);
  }
  return Status::OK();
}

Status ReadRecordFromOpenFile(int fd, const std::string& host, size_t size,
                              std::vector<uint8_t>* out, size_t* delivered) {
  out->assign(size, 0);
  if (delivered) *delivered = 0;
  size_t done = 0;
  int err = 0;
  while (done < size) {
    ssize_t n = pread(fd, out->data() + done, size - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) err = errno;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  close(fd);
  if (err != 0) return PosixError("cannot read " + host, err);
  if (delivered) *delivered = done;
  return Status::OK();
}

Status WriteRecordFile(std::string_view path, const std::vector<uint8_t>& bytes) {
  const std::string host = ResolvePath(path);
  bool created = false;
  int fd = -1;
  if (Status s = OpenOrdinary(host, O_RDWR, true, &fd, &created); !s.ok()) return s;
  return WriteRecordToOpenFile(fd, host, created, nullptr, bytes);
}

Status ReadRecordFile(std::string_view path, size_t size, std::vector<uint8_t>* out,
                      size_t* delivered) {
  const std::string host = ResolvePath(path);
  out->assign(size, 0);
  if (delivered) *delivered = 0;
  bool created = false;
  int fd = -1;
  if (Status s = OpenOrdinary(host, O_RDONLY, false, &fd, &created); !s.ok()) return s;
  return ReadRecordFromOpenFile(fd, host, size, out, delivered);
}

Status FlushFileSystem(std::string_view path) {
  const std::string host = ResolvePath(path);
  int fd = open(host.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return PosixError("cannot open " + host, errno);
  const int rc = syncfs(fd);
  const int err = errno;
  close(fd);
  if (rc != 0) return PosixError("cannot flush the files written under " + host, err);
  return Status::OK();
}

}  // namespace common
