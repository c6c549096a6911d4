#include "common/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "common/host_path.h"

namespace common {

namespace {

std::function<bool(const std::string&)>& WriteFault() {
  static std::function<bool(const std::string&)> fault;
  return fault;
}

// Follows symbolic links (a dangling one too) to the path whose file is to
// be replaced. Gives up after a sane number of hops, as the system does.
Status FollowLinks(std::string path, std::string* target) {
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
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

}  // namespace

void SetWriteFaultForTesting(std::function<bool(const std::string& path)> fault) {
  WriteFault() = std::move(fault);
}

bool WriteFaultInjected(const std::string& path) {
  const auto& fault = WriteFault();
  return fault && fault(path);
}

Status ReplaceFileAtomically(const std::string& hostPath, std::string_view bytes) {
  std::string target;
  if (Status s = FollowLinks(hostPath, &target); !s.ok()) return s;

  const std::string folder = HostFolderOf(target);
  struct stat folderSt;
  if (stat(folder.c_str(), &folderSt) != 0 || !S_ISDIR(folderSt.st_mode)) {
    return PosixError("missing folder " + folder, ENOENT);
  }
  struct stat old;
  const bool exists = stat(target.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) {
    return Status::IOError(target + " is not an ordinary file", EISDIR);
  }

  // A process killed mid-write leaves its temporary file behind, and a later
  // process may get the same id: a name that is taken is passed over rather
  // than failing the write or deleting what may be another writer's file.
  static unsigned counter = 0;
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = folder + "/." + HostNameOf(target) + ".tmp-" + std::to_string(getpid()) + "-" +
           std::to_string(++counter);
    // A new file gets the mode the umask leaves of 0666, as open() would give
    // it; a replaced file gets its old bits back below.
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return PosixError("cannot create " + temp, errno);
  auto fail = [&](const std::string& what, int err) {
    close(fd);
    unlink(temp.c_str());
    return PosixError(what, err);
  };

  if (WriteFaultInjected(target)) return fail("cannot write " + temp, ENOSPC);
  if (!WriteAll(fd, bytes)) return fail("cannot write " + temp, errno);
  if (exists) {
    // Keeping the owner needs privileges; without them the file is ours.
    // The owner goes first: changing it may clear set-id bits.
    if (old.st_uid != geteuid() || old.st_gid != getegid()) {
      [[maybe_unused]] int ignored = fchown(fd, old.st_uid, old.st_gid);
    }
    if (fchmod(fd, old.st_mode & 07777) != 0) return fail("cannot set mode of " + temp, errno);
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
