#include "restarter/restart_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace ruvane {

common::Status FolderLock::Take(const std::string& folder) {
  Release();
  // A descriptor that only reads the folder is enough for flock; it closes
  // at exec, so the server never inherits the lock. The server folder itself
  // is the operator's to name (a link included), as everywhere; O_DIRECTORY
  // takes nothing but a folder, and no file in it is opened.
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return common::PosixError("cannot open the server folder " + folder, errno);
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    const int error = errno;
    close(fd);
    return common::PosixError("cannot lock the server folder " + folder, error);
  }
  fd_ = fd;
  return common::Status::OK();
}

void FolderLock::Release() {
  if (fd_ < 0) return;
  close(fd_);  // closing the only descriptor drops the lock
  fd_ = -1;
}

}  // namespace ruvane
