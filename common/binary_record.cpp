#include "common/binary_record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/atomic_file.h"
#include "common/host_path.h"
#include "common/unique_fd.h"

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

// Opens an existing ordinary file of `folder`, or creates it when missing.
// Sets `created` when this call made the file.
Status OpenOrdinary(const Folder& folder, std::string_view name, int flags, bool needWrite,
                    UniqueFd* fd, struct stat* st, bool* created, Target* where) {
  if (Status s = OpenFile(folder, name, flags | O_CREAT, 0666, fd, st, created, where); !s.ok()) {
    return s;
  }
  if (*created) AdoptFolderOwner(where->folder(), fd->get());
  // The system let the file be opened for writing; root, whom it lets write
  // anything, honours the owner write bit.
  if (needWrite && !*created && geteuid() == 0 && (st->st_mode & S_IWUSR) == 0) {
    fd->reset();
    return Status::IOError(where->host() + " is read-only", EACCES);
  }
  return Status::OK();
}

}  // namespace

Status WriteRecordToOpenFile(FileSystem& fs, int fd, const std::string& host, int createdIn,
                             const std::string& createdName, const struct stat* opened,
                             const std::vector<uint8_t>& bytes) {
  UniqueFd owned(fd);
  const bool created = createdIn >= 0;
  const std::string_view content(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  // The record is written in place, so a write that ran out of space half
  // way would leave a record that is part new, part old: WriteFromStart
  // claims the room first. A file this call made holds no old record, and a
  // failed write removes it again.
  struct stat st;
  Status s;
  if (created) {
    s = WriteFromStart(fs, fd, host, content, static_cast<off_t>(bytes.size()), false);
  } else if (!opened && fs.Fstat(fd, &st) != 0) {
    s = PosixError("cannot write " + host, errno);
  } else {
    s = WriteFromStart(fs, fd, host, content, opened ? opened->st_size : st.st_size, false);
  }
  struct stat mine;
  const bool known = created && !s.ok() && fs.Fstat(fd, &mine) == 0;
  if (owned.Close() != 0 && s.ok()) s = PosixError("cannot write " + host, errno);
  if (!s.ok() && known) {
    // Removed only while the name is still the file this call made.
    struct stat there;
    if (fs.FstatAt(createdIn, createdName.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
        there.st_ino == mine.st_ino && there.st_dev == mine.st_dev) {
      fs.UnlinkAt(createdIn, createdName.c_str(), 0);
    }
  }
  return s;
}

Status ReadRecordFromOpenFile(FileSystem& fs, int fd, const std::string& host, size_t size,
                              std::vector<uint8_t>* out, size_t* delivered) {
  UniqueFd owned(fd);
  out->assign(size, 0);
  if (delivered) *delivered = 0;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = fs.PRead(fd, out->data() + done, size - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return PosixError("cannot read " + host, errno);
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  if (delivered) *delivered = done;
  return Status::OK();
}

Status WriteRecordAt(const Folder& folder, std::string_view name,
                     const std::vector<uint8_t>& bytes) {
  UniqueFd fd;
  struct stat st;
  bool created = false;
  Target where;
  if (Status s = OpenOrdinary(folder, name, O_RDWR, true, &fd, &st, &created, &where); !s.ok()) {
    return s;
  }
  return WriteRecordToOpenFile(folder.fs(), fd.release(), where.host(),
                               created ? where.folder().fd() : -1, where.name(),
                               created ? nullptr : &st, bytes);
}

Status ReadRecordAt(const Folder& folder, std::string_view name, size_t size,
                    std::vector<uint8_t>* out, size_t* delivered) {
  out->assign(size, 0);
  if (delivered) *delivered = 0;
  UniqueFd fd;
  struct stat st;
  bool created = false;
  Target where;
  if (Status s = OpenOrdinary(folder, name, O_RDONLY, false, &fd, &st, &created, &where); !s.ok()) {
    return s;
  }
  return ReadRecordFromOpenFile(folder.fs(), fd.release(), where.host(), size, out, delivered);
}

Status WriteRecordFile(std::string_view path, const std::vector<uint8_t>& bytes) {
  Folder folder;
  std::string name;
  if (Status s = LocateEntry(path, &folder, &name); !s.ok()) {
    return s.WithContext("cannot write " + SpelledPath(path));
  }
  return WriteRecordAt(folder, name, bytes);
}

Status ReadRecordFile(std::string_view path, size_t size, std::vector<uint8_t>* out,
                      size_t* delivered) {
  out->assign(size, 0);
  if (delivered) *delivered = 0;
  Folder folder;
  std::string name;
  if (Status s = LocateEntry(path, &folder, &name); !s.ok()) {
    return s.WithContext("cannot read " + SpelledPath(path));
  }
  return ReadRecordAt(folder, name, size, out, delivered);
}

Status FlushFileSystem(const Folder& folder) {
  UniqueFd fd;
  if (Status s = OpenFolderForReading(folder, &fd); !s.ok()) return s;
  if (folder.fs().SyncFs(fd.get()) != 0) {
    return PosixError("cannot flush the files written under " + folder.host(), errno);
  }
  return Status::OK();
}

Status FlushFileSystem(std::string_view path) {
  Folder folder;
  Status s = OpenFolder(path, &folder);
  UniqueFd fd;
  if (s.ok()) {
    s = OpenFolderForReading(folder, &fd);
  } else {
    // A file: flushed through its own descriptor.
    std::string name;
    if (LocateEntry(path, &folder, &name).ok()) {
      struct stat st;
      if (OpenFile(folder, name, O_RDONLY, 0, &fd, &st).ok()) s = Status::OK();
    }
  }
  if (!s.ok()) return s;
  if (syncfs(fd.get()) != 0) {
    return PosixError("cannot flush the files written under " + SpelledPath(path), errno);
  }
  return Status::OK();
}

}  // namespace common
