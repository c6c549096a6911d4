#include "common/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/host_path.h"

namespace common {

namespace {

std::function<bool(const std::string&)>& WriteFault() {
  static std::function<bool(const std::string&)> fault;
  return fault;
}

// Follows symbolic links (a dangling one too) to the path whose file is to
// be replaced. Gives up after a sane number of hops, as the system does.
// `found` is set when the target exists, `st` then being its stat.
Status FollowLinks(std::string path, std::string* target, struct stat* st, bool* found) {
  for (int hop = 0; hop < 40; ++hop) {
    *found = lstat(path.c_str(), st) == 0;
    if (!*found || !S_ISLNK(st->st_mode)) {
      *target = std::move(path);
      return Status::OK();
    }
    std::string link(4096, '\0');
    ssize_t n = readlink(path.c_str(), link.data(), link.size());
    if (n < 0) return PosixError("cannot read link " + path, errno);
    link.resize(static_cast<size_t>(n));
    path = (!link.empty() && link[0] == '/') ? link : HostFolderOf(path) + "/" + link;
  }
  return PosixError("too many links at " + path, ELOOP);
}

}  // namespace

bool WriteAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

void SetWriteFaultForTesting(std::function<bool(const std::string& path)> fault) {
  WriteFault() = std::move(fault);
}

bool WriteFaultInjected(const std::string& path) {
  const auto& fault = WriteFault();
  return fault && fault(path);
}

Status CheckMayWrite(const std::string& hostPath, const struct stat& st) {
  if (geteuid() == 0) {
    // Root may write anything; the owner's write bit is what the operator
    // set to protect a file, so it decides.
    if ((st.st_mode & S_IWUSR) == 0) return Status::IOError(hostPath + " is read-only", EACCES);
    return Status::OK();
  }
  if (faccessat(AT_FDCWD, hostPath.c_str(), W_OK, AT_EACCESS) != 0) {
    return PosixError("cannot write " + hostPath, errno);
  }
  return Status::OK();
}

namespace {

// The extended attributes of the file at `path` (ACLs included): names and
// values. An empty list where the file system keeps none.
Status ReadXattrs(const std::string& path, std::vector<std::pair<std::string, std::string>>* out) {
  out->clear();
  ssize_t size = listxattr(path.c_str(), nullptr, 0);
  if (size < 0) {
    if (errno == ENOTSUP) return Status::OK();
    return PosixError("cannot list the extended attributes of " + path, errno);
  }
  if (size == 0) return Status::OK();
  std::string names(static_cast<size_t>(size), '\0');
  size = listxattr(path.c_str(), names.data(), names.size());
  if (size < 0) return PosixError("cannot list the extended attributes of " + path, errno);
  names.resize(static_cast<size_t>(size));
  for (size_t pos = 0; pos < names.size();) {
    std::string name = names.c_str() + pos;
    pos += name.size() + 1;
    ssize_t n = getxattr(path.c_str(), name.c_str(), nullptr, 0);
    if (n < 0) return PosixError("cannot read the attribute " + name + " of " + path, errno);
    std::string value(static_cast<size_t>(n), '\0');
    n = getxattr(path.c_str(), name.c_str(), value.data(), value.size());
    if (n < 0) return PosixError("cannot read the attribute " + name + " of " + path, errno);
    value.resize(static_cast<size_t>(n));
    out->emplace_back(std::move(name), std::move(value));
  }
  return Status::OK();
}

// Gives the temporary file `fd` the owner, group and extended attributes of
// the file it replaces. False when the system would not let them be kept.
bool TakeOverIdentity(int fd, const std::string& target, const struct stat& old) {
  struct stat now;
  if (fstat(fd, &now) != 0) return false;
  // The owner goes first: changing it may clear set-id bits, which the mode
  // below puts back. Compared with what the new file really got: a folder
  // with the set-group-id bit hands it the folder's group.
  if (now.st_uid != old.st_uid || now.st_gid != old.st_gid) {
    if (fchown(fd, old.st_uid, old.st_gid) != 0) return false;
  }
  std::vector<std::pair<std::string, std::string>> attrs;
  if (!ReadXattrs(target, &attrs).ok()) return false;
  // A folder's default ACL may have given the new file attributes the old
  // one did not have.
  ssize_t size = flistxattr(fd, nullptr, 0);
  if (size > 0) {
    std::string names(static_cast<size_t>(size), '\0');
    size = flistxattr(fd, names.data(), names.size());
    for (size_t pos = 0; size > 0 && pos < static_cast<size_t>(size);) {
      std::string name = names.c_str() + pos;
      pos += name.size() + 1;
      bool kept = false;
      for (const auto& a : attrs) kept = kept || a.first == name;
      if (!kept && fremovexattr(fd, name.c_str()) != 0) return false;
    }
  }
  for (const auto& [name, value] : attrs) {
    if (fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0) return false;
  }
  if (fchmod(fd, old.st_mode & 07777) != 0) return false;
  return fstat(fd, &now) == 0 && now.st_uid == old.st_uid && now.st_gid == old.st_gid &&
         (now.st_mode & 07777) == (old.st_mode & 07777);
}

// Rewrites the file at `target` in place: for a file whose owner, group or
// attributes a replacement could not keep, or that has other names (hard
// links) that must see the new content. The room the new content needs is
// claimed first, so a full disk fails before a byte has changed; a crash in
// the middle of the write can leave the file part new, part old.
Status WriteInPlace(const std::string& target, std::string_view bytes, const struct stat& old) {
  int fd = open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return PosixError("cannot open " + target, errno);
  auto fail = [&](const std::string& what, int err) {
    close(fd);
    return PosixError(what, err);
  };
  struct stat st;
  if (fstat(fd, &st) != 0) return fail("cannot examine " + target, errno);
  if (!S_ISREG(st.st_mode) || st.st_ino != old.st_ino || st.st_dev != old.st_dev) {
    close(fd);
    return Status::IOError(target + " was replaced while it was being written");
  }
  if (WriteFaultInjected(target)) return fail("cannot write " + target, ENOSPC);
  if (static_cast<off_t>(bytes.size()) > st.st_size) {
    int err = posix_fallocate(fd, 0, static_cast<off_t>(bytes.size()));
    if (err != 0 && err != EINVAL && err != EOPNOTSUPP) {
      [[maybe_unused]] int ignored = ftruncate(fd, st.st_size);
      return fail("cannot write " + target, err);
    }
  }
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail("cannot write " + target, n < 0 ? errno : EIO);
    done += static_cast<size_t>(n);
  }
  if (ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) {
    return fail("cannot write " + target, errno);
  }
  if (fsync(fd) != 0) return fail("cannot flush " + target, errno);
  if (close(fd) != 0) return PosixError("cannot close " + target, errno);
  return Status::OK();
}

// The folder's limit on the length of a name. It is the file system's, so
// it is asked once per file system (`device`) rather than once per file.
long NameLimit(const std::string& folder, dev_t device) {
  static dev_t knownDevice = 0;
  static long knownLimit = 0;
  if (knownDevice == device && knownLimit > 0) return knownLimit;
  const long limit = pathconf(folder.c_str(), _PC_NAME_MAX);
  if (limit > 0) {
    knownDevice = device;
    knownLimit = limit;
  }
  return limit;
}

}  // namespace

int CreateHiddenTemp(const std::string& folder, std::string_view name, long nameMax,
                     std::string_view tag, unsigned* counter, mode_t mode, std::string* temp) {
  const std::string stem = ".tmp-" + std::to_string(getpid()) + "-" + std::string(tag);
  const size_t limit = static_cast<size_t>(nameMax > 0 ? nameMax : 255);
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    const std::string suffix = stem + std::to_string(++*counter);
    std::string base(name);
    const size_t room = limit - 1 - suffix.size();
    if (base.size() > room) base.resize(room);
    *temp = folder + "/." + base + suffix;
    fd = open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) break;
  }
  return fd;
}

Status ReplaceFileAtomically(const std::string& hostPath, std::string_view bytes) {
  std::string target;
  struct stat old;
  bool exists = false;
  // The stat of the path the links lead to is the target's own.
  if (Status s = FollowLinks(hostPath, &target, &old, &exists); !s.ok()) return s;

  const std::string folder = HostFolderOf(target);
  struct stat folderSt;
  if (stat(folder.c_str(), &folderSt) != 0 || !S_ISDIR(folderSt.st_mode)) {
    return PosixError("missing folder " + folder, ENOENT);
  }
  if (exists && !S_ISREG(old.st_mode)) {
    return Status::IOError(target + " is not an ordinary file", EISDIR);
  }
  // Replacing needs only the folder's write permission; writing the file
  // must need the file's own, as it would for a write in place.
  if (exists) {
    if (Status s = CheckMayWrite(target, old); !s.ok()) return s;
  }
  // A renamed file is a new file: the other names of a hard-linked one would
  // keep the old content.
  if (exists && old.st_nlink > 1) return WriteInPlace(target, bytes, old);

  // A new file gets the mode the umask leaves of 0666, as open() would give
  // it; a replaced file gets its old bits back below.
  static unsigned counter = 0;
  std::string temp;
  const int fd = CreateHiddenTemp(folder, HostNameOf(target), NameLimit(folder, folderSt.st_dev),
                                  "", &counter, exists ? 0600 : 0666, &temp);
  if (fd < 0) return PosixError("cannot create " + temp, errno);
  auto fail = [&](const std::string& what, int err) {
    close(fd);
    unlink(temp.c_str());
    return PosixError(what, err);
  };

  if (WriteFaultInjected(target)) return fail("cannot write " + temp, ENOSPC);
  if (!WriteAll(fd, bytes)) return fail("cannot write " + temp, errno);
  if (exists && !TakeOverIdentity(fd, target, old)) {
    // The file would change hands (an operator cannot give a file to the
    // server's account) or lose attributes: write it in place instead.
    close(fd);
    unlink(temp.c_str());
    return WriteInPlace(target, bytes, old);
  }
  if (fsync(fd) != 0) return fail("cannot flush " + temp, errno);
  if (close(fd) != 0) {
    int err = errno;
    unlink(temp.c_str());
    return PosixError("cannot close " + temp, err);
  }
  if (rename(temp.c_str(), target.c_str()) != 0) {
    int err = errno;
    unlink(temp.c_str());
    return PosixError("cannot replace " + target, err);
  }
  // Make the rename itself durable; a failure here leaves a complete file.
  int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
  return Status::OK();
}

}  // namespace common
