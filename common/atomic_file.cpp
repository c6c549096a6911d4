#include "common/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/host_path.h"

namespace common {

namespace {

using Attributes = std::vector<std::pair<std::string, std::string>>;

// The extended attributes (ACLs included) of the open file `fd`: names and
// values. Empty where the file system keeps none.
Status ReadXattrs(FileSystem& fs, int fd, const std::string& host, Attributes* out) {
  out->clear();
  ssize_t size = fs.FListXattr(fd, nullptr, 0);
  if (size < 0) {
    if (errno == ENOTSUP) return Status::OK();
    return PosixError("cannot list the extended attributes of " + host, errno);
  }
  if (size == 0) return Status::OK();
  std::string names(static_cast<size_t>(size), '\0');
  size = fs.FListXattr(fd, names.data(), names.size());
  if (size < 0) return PosixError("cannot list the extended attributes of " + host, errno);
  names.resize(static_cast<size_t>(size));
  for (size_t pos = 0; pos < names.size();) {
    std::string name = names.c_str() + pos;
    pos += name.size() + 1;
    ssize_t n = fs.FGetXattr(fd, name.c_str(), nullptr, 0);
    if (n < 0) return PosixError("cannot read the attribute " + name + " of " + host, errno);
    std::string value(static_cast<size_t>(n), '\0');
    n = fs.FGetXattr(fd, name.c_str(), value.data(), value.size());
    if (n < 0) return PosixError("cannot read the attribute " + name + " of " + host, errno);
    value.resize(static_cast<size_t>(n));
    out->emplace_back(std::move(name), std::move(value));
  }
  return Status::OK();
}

// Gives the temporary file `fd` the owner, group, mode and extended
// attributes of the file it replaces (`old`, whose attributes are read
// through `oldFd`). Only what differs is changed. `written` receives the
// file's fstat as written. False when the system would not let them be kept.
bool TakeOverIdentity(FileSystem& fs, int fd, int oldFd, const std::string& host,
                      const struct stat& old, struct stat* written) {
  struct stat& now = *written;
  if (fs.Fstat(fd, &now) != 0) return false;
  // The owner goes first: changing it may clear set-id bits, which the mode
  // below puts back. Compared with what the new file really got: a folder
  // with the set-group-id bit hands it the folder's group.
  bool chowned = false;
  if (now.st_uid != old.st_uid || now.st_gid != old.st_gid) {
    if (fs.Fchown(fd, old.st_uid, old.st_gid) != 0) return false;
    chowned = true;
  }
  Attributes attrs;
  if (!ReadXattrs(fs, oldFd, host, &attrs).ok()) return false;
  // A folder's default ACL may have given the new file attributes the old
  // one did not have.
  Attributes got;
  if (!ReadXattrs(fs, fd, host, &got).ok()) return false;
  bool attributesChanged = false;
  for (const auto& [name, value] : got) {
    bool kept = false;
    for (const auto& a : attrs) kept = kept || a.first == name;
    if (kept) continue;
    if (fs.FRemoveXattr(fd, name.c_str()) != 0) return false;
    attributesChanged = true;
  }
  for (const auto& attr : attrs) {
    bool same = false;
    for (const auto& g : got) same = same || g == attr;
    if (same) continue;
    if (fs.FSetXattr(fd, attr.first.c_str(), attr.second.data(), attr.second.size(), 0) != 0) {
      return false;
    }
    attributesChanged = true;
  }
  // An ACL set above moves the group bits with its mask; the mode goes last.
  if (chowned || attributesChanged || (now.st_mode & 07777) != (old.st_mode & 07777)) {
    if (fs.Fchmod(fd, old.st_mode & 07777) != 0) return false;
  }
  return true;
}

Status ChangedSinceRead(const std::string& host) {
  return Status::Changed(host + " was changed by another program after it was read");
}

// Whether the entry `name` of `dir` is still what the caller read.
Status CheckUnchanged(const Folder& dir, const std::string& name, const std::string& host,
                      const ReplaceOptions& options) {
  if (!options.expected && !options.expectMissing) return Status::OK();
  struct stat st;
  const bool present = dir.fs().FstatAt(dir.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (!present && errno != ENOENT) return PosixError("cannot examine " + host, errno);
  if (options.expectMissing && present) return ChangedSinceRead(host);
  if (options.expected && (!present || FileStamp::Of(st) != *options.expected)) {
    return ChangedSinceRead(host);
  }
  return Status::OK();
}

void FlushFolder(const Folder& folder) {
  UniqueFd fd;
  // A failure here leaves a complete file, only not yet durable.
  if (OpenFolderForReading(folder, &fd).ok()) folder.fs().Fsync(fd.get());
}

// Rewrites the file in place: for a file whose owner, group or attributes a
// replacement could not keep, or that has other names (hard links) that
// must see the new content. A crash in the middle of the write can leave
// the file part new, part old.
Status WriteInPlace(const Target& target, std::string_view bytes, const struct stat& old,
                    const ReplaceOptions& options) {
  const std::string host = target.host();
  FileSystem& fs = target.folder().fs();
  UniqueFd fd(fs.OpenAt(target.folder().fd(), target.name().c_str(),
                        O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0));
  if (!fd.valid()) return PosixError("cannot open " + host, errno);
  struct stat st;
  if (fs.Fstat(fd.get(), &st) != 0) return PosixError("cannot examine " + host, errno);
  if (!S_ISREG(st.st_mode) || st.st_ino != old.st_ino || st.st_dev != old.st_dev) {
    return ChangedSinceRead(host);
  }
  if (options.expected && FileStamp::Of(st) != *options.expected) return ChangedSinceRead(host);
  if (Status s = WriteFromStart(fs, fd.get(), host, bytes, st.st_size, true); !s.ok()) return s;
  if (fs.Fsync(fd.get()) != 0) return PosixError("cannot flush " + host, errno);
  if (fs.Fstat(fd.get(), &st) == 0) NoteOwnWrite(FileStamp::Of(st));
  if (fd.Close() != 0) return PosixError("cannot close " + host, errno);
  return Status::OK();
}

// The process id in a temporary name of the tools, 0 when it is none:
// ".<name>.tmp-<pid>-<tag><n>", or ".<name>.backup-<pid>" of earlier backups.
pid_t TempOwner(std::string_view name) {
  if (name.size() < 2 || name[0] != '.') return 0;
  auto digits = [](std::string_view s) {
    if (s.empty() || s.size() > 9) return false;
    for (char c : s) {
      if (c < '0' || c > '9') return false;
    }
    return true;
  };
  if (size_t at = name.rfind(".backup-"); at != std::string_view::npos && at > 0) {
    const std::string_view pid = name.substr(at + 8);
    return digits(pid) ? static_cast<pid_t>(std::stol(std::string(pid))) : 0;
  }
  const size_t at = name.rfind(".tmp-");
  if (at == std::string_view::npos || at == 0) return 0;
  const std::string_view rest = name.substr(at + 5);
  const size_t dash = rest.find('-');
  if (dash == std::string_view::npos || !digits(rest.substr(0, dash))) return 0;
  std::string_view counter = rest.substr(dash + 1);
  while (!counter.empty() && counter.front() >= 'a' && counter.front() <= 'z') {
    counter.remove_prefix(1);
  }
  if (!digits(counter)) return 0;
  return static_cast<pid_t>(std::stol(std::string(rest.substr(0, dash))));
}

}  // namespace

TempFile::~TempFile() { Drop(); }

TempFile::TempFile(TempFile&& other) noexcept
    : folder_(other.folder_),
      fd_(std::move(other.fd_)),
      name_(std::move(other.name_)),
      published_(other.published_) {
  other.published_ = true;  // nothing left for it to remove
}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    Drop();
    folder_ = other.folder_;
    fd_ = std::move(other.fd_);
    name_ = std::move(other.name_);
    published_ = other.published_;
    other.published_ = true;
  }
  return *this;
}

void TempFile::Drop() {
  fd_.reset();
  if (!published_ && folder_ && !name_.empty()) {
    folder_->fs().UnlinkAt(folder_->fd(), name_.c_str(), 0);
  }
  published_ = true;
}

std::string TempFile::host() const { return folder_ ? folder_->HostOf(name_) : name_; }

Status TempFile::Write(const Folder& folder, std::string_view name, std::string_view bytes,
                       mode_t mode, std::string_view tag, TempFile* out) {
  *out = TempFile();
  // A process killed mid-write leaves its temporary file behind, and a later
  // process may get the same id: a name that is taken is passed over.
  static unsigned counter = 0;
  const std::string stem = ".tmp-" + std::to_string(getpid()) + "-" + std::string(tag);
  const size_t limit = static_cast<size_t>(folder.NameLimit());
  FileSystem& fs = folder.fs();
  int fd = -1;
  std::string temp;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    const std::string suffix = stem + std::to_string(++counter);
    std::string base(name);
    const size_t room = limit - 1 - suffix.size();
    if (base.size() > room) base.resize(room);
    temp = "." + base + suffix;
    fd = fs.OpenAt(folder.fd(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                   mode);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return PosixError("cannot create " + folder.HostOf(temp), errno);
  out->folder_ = &folder;
  out->fd_.reset(fd);
  out->name_ = std::move(temp);
  out->published_ = false;
  if (!WriteAll(fs, fd, bytes)) {
    const int err = errno;
    const std::string host = out->host();
    out->Drop();
    return PosixError("cannot write " + host, err);
  }
  return Status::OK();
}

Status TempFile::Flush() {
  if (folder_->fs().Fsync(fd_.get()) != 0) return PosixError("cannot flush " + host(), errno);
  return Status::OK();
}

Status TempFile::Close() {
  if (!fd_.valid()) return Status::OK();
  if (fd_.Close() != 0) return PosixError("cannot close " + host(), errno);
  return Status::OK();
}

Status TempFile::Publish(const std::string& target, Over over) {
  if (Status s = Close(); !s.ok()) return s;
  FileSystem& fs = folder_->fs();
  const int dir = folder_->fd();
  int rc = fs.RenameAt(dir, name_.c_str(), dir, target.c_str(),
                       over == Over::kNothing ? RENAME_NOREPLACE : 0);
  if (rc != 0 && over == Over::kNothing && (errno == EINVAL || errno == ENOSYS)) {
    // A file system without the flag is a local one in practice, where
    // checking first leaves no room that matters.
    struct stat st;
    if (fs.FstatAt(dir, target.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      errno = EEXIST;
    } else {
      rc = fs.RenameAt(dir, name_.c_str(), dir, target.c_str(), 0);
    }
  }
  if (rc != 0) {
    const int err = errno;
    if (err == EEXIST) return ChangedSinceRead(folder_->HostOf(target));
    return PosixError("cannot replace " + folder_->HostOf(target), err);
  }
  published_ = true;
  if (over == Over::kNothing) NoteCreated(*folder_, target);
  return Status::OK();
}

Status WriteFromStart(FileSystem& fs, int fd, const std::string& host, std::string_view bytes,
                      off_t size, bool truncate) {
  if (static_cast<off_t>(bytes.size()) > size) {
    const int err = fs.Fallocate(fd, static_cast<off_t>(bytes.size()));
    // A claim that failed may have lengthened the file; the old bytes all
    // lie below the old size. A file system without claims is written as
    // it comes.
    if (err != 0 && err != EINVAL && err != EOPNOTSUPP) {
      [[maybe_unused]] int ignored = fs.Ftruncate(fd, size);
      return PosixError("cannot write " + host, err);
    }
  }
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        fs.PWrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return PosixError("cannot write " + host, n < 0 ? errno : EIO);
    done += static_cast<size_t>(n);
  }
  if (truncate && fs.Ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) {
    return PosixError("cannot write " + host, errno);
  }
  return Status::OK();
}

bool WriteAll(FileSystem& fs, int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = fs.Write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

Status CheckMayWrite(const Folder& folder, std::string_view name, const struct stat& st) {
  const std::string host = folder.HostOf(name);
  if (geteuid() == 0) {
    // Root may write anything; the owner's write bit is what the operator
    // set to protect a file, so it decides.
    if ((st.st_mode & S_IWUSR) == 0) return Status::IOError(host + " is read-only", EACCES);
    return Status::OK();
  }
  if (faccessat(folder.fd(), std::string(name).c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) !=
      0) {
    return PosixError("cannot write " + host, errno);
  }
  return Status::OK();
}

bool LooksLikeTemp(std::string_view name) {
  return !name.empty() && name[0] == '.' &&
         (name.find(".tmp-") != std::string_view::npos ||
          name.find(".backup-") != std::string_view::npos);
}

bool IsStaleTemp(std::string_view name, const struct stat& st) {
  const pid_t pid = TempOwner(name);
  if (pid <= 0 || !S_ISREG(st.st_mode)) return false;
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  constexpr time_t kDay = 24 * 60 * 60;
  // A process id is used again after a while: a day-old temporary file is a
  // leftover whoever has its number now.
  if (st.st_mtim.tv_sec + kDay < now.tv_sec) return true;
  if (pid == getpid()) return false;
  return kill(pid, 0) != 0 && errno == ESRCH;
}

void RemoveStaleTemps(const Folder& folder, const std::vector<std::string>& names) {
  FileSystem& fs = folder.fs();
  for (const std::string& name : names) {
    struct stat st;
    if (!LooksLikeTemp(name) ||
        fs.FstatAt(folder.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      continue;
    }
    // unlinkat removes the name only, never what a link points to.
    if (IsStaleTemp(name, st)) fs.UnlinkAt(folder.fd(), name.c_str(), 0);
  }
}

void RemoveStaleTempsIn(const Folder& folder) {
  UniqueFd fd;
  if (!OpenFolderForReading(folder, &fd).ok()) return;
  DIR* dir = fdopendir(fd.release());
  if (!dir) return;
  std::vector<std::string> names;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.' && LooksLikeTemp(e->d_name)) names.emplace_back(e->d_name);
  }
  closedir(dir);
  RemoveStaleTemps(folder, names);
}

Status ReplaceFile(const Folder& folder, std::string_view name, std::string_view bytes,
                   const ReplaceOptions& options) {
  Target target;
  struct stat old;
  bool exists = false;
  if (options.readStat) {
    // Where the caller read it: checked once more right before the rename.
    target = Target::At(folder, name);
    old = *options.readStat;
    exists = true;
  } else if (Status s = FollowLinks(folder, name, &target, &old, &exists); !s.ok()) {
    return s;
  }
  const Folder& dir = target.folder();
  FileSystem& fs = dir.fs();
  const std::string& entry = target.name();
  const std::string host = target.host();
  if (exists && !S_ISREG(old.st_mode)) return NotOrdinaryFile(host);
  if (!options.readStat) {
    if (Status s = CheckUnchanged(dir, entry, host, options); !s.ok()) return s;
  }
  // Replacing needs only the folder's write permission; writing the file
  // must need the file's own, as it would for a write in place.
  if (exists) {
    if (Status s = CheckMayWrite(dir, entry, old); !s.ok()) return s;
  }
  // A renamed file is a new file: the other names of a hard-linked one would
  // keep the old content.
  if (exists && old.st_nlink > 1) return WriteInPlace(target, bytes, old, options);

  // A new file gets the mode the umask leaves of 0666, as open() would give
  // it; a replaced file starts with its old bits, which the umask may cut.
  TempFile temp;
  if (Status s =
          TempFile::Write(dir, entry, bytes, exists ? (old.st_mode & 0777) : 0666, "", &temp);
      !s.ok()) {
    return s;
  }
  struct stat written;
  if (!exists) AdoptFolderOwner(dir, temp.fd());
  if (exists) {
    UniqueFd ownRead;
    int readFd = options.readFd;
    if (readFd < 0) {
      ownRead.reset(
          fs.OpenAt(dir.fd(), entry.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0));
      readFd = ownRead.get();
    }
    if (readFd < 0 || !TakeOverIdentity(fs, temp.fd(), readFd, host, old, &written)) {
      // The file would change hands (an operator cannot give a file to the
      // server's account) or lose attributes: write it in place instead.
      temp = TempFile();
      return WriteInPlace(target, bytes, old, options);
    }
  } else if (fs.Fstat(temp.fd(), &written) != 0) {
    return PosixError("cannot examine " + temp.host(), errno);
  }
  if (Status s = temp.Flush(); !s.ok()) return s;
  // Right before the rename: still the file that was read?
  if (Status s = CheckUnchanged(dir, entry, host, options); !s.ok()) return s;
  if (Status s = temp.Publish(entry, exists ? TempFile::Over::kOldFile : TempFile::Over::kNothing);
      !s.ok()) {
    return s;
  }
  NoteOwnWrite(FileStamp::Of(written));
  // Make the rename itself durable; a failure here leaves a complete file.
  if (options.flushFolder || target.elsewhere()) FlushFolder(dir);
  return Status::OK();
}

Status ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
  Folder folder;
  std::string name;
  if (Status s = LocateEntry(path, &folder, &name); !s.ok()) return s;
  return ReplaceFile(folder, name, bytes);
}

Status CreateFile(const Folder& folder, std::string_view name, std::string_view bytes, mode_t mode,
                  bool folderOwner) {
  TempFile temp;
  if (Status s = TempFile::Write(folder, name, bytes, mode, "r", &temp); !s.ok()) return s;
  if (folderOwner) AdoptFolderOwner(folder, temp.fd());
  if (Status s = temp.Flush(); !s.ok()) return s;
  return temp.Publish(std::string(name), TempFile::Over::kNothing);
}

}  // namespace common
