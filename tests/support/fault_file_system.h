// A file system that fails chosen calls the way a full disk or a failing
// device would, for the tests of what the tools do then. It wraps the real
// one and is handed to a job through its ServerFolder; nothing else in the
// process notices it.
#pragma once

#include <fcntl.h>

#include <cerrno>
#include <functional>
#include <set>
#include <string>
#include <string_view>

#include "common/file_system.h"

namespace tests {

class FaultFileSystem : public common::FileSystem {
 public:
  // Writes to a file whose name as opened (a temporary file's name holds
  // the name of the file it is for) this answers true for fail with ENOSPC,
  // as on a full disk: the write itself, the claim of room, a truncation.
  std::function<bool(std::string_view name)> writesFail;
  // Every name `writesFail` was asked about, to show where the writes went.
  std::set<std::string> asked;
  // The flush of a whole file system fails with EIO.
  bool syncFsFails = false;

  int OpenAt(int dirFd, const char* name, int flags, mode_t mode) override {
    const int fd = FileSystem::OpenAt(dirFd, name, flags, mode);
    if (fd >= 0) {
      failing_.erase(fd);
      if ((flags & (O_WRONLY | O_RDWR)) != 0 && writesFail) {
        asked.insert(name);
        if (writesFail(name)) failing_.insert(fd);
      }
    }
    return fd;
  }
  ssize_t Write(int fd, const void* buf, size_t size) override {
    if (failing_.count(fd)) return Fail();
    return FileSystem::Write(fd, buf, size);
  }
  ssize_t PWrite(int fd, const void* buf, size_t size, off_t at) override {
    if (failing_.count(fd)) return Fail();
    return FileSystem::PWrite(fd, buf, size, at);
  }
  int Fallocate(int fd, off_t length) override {
    if (failing_.count(fd)) return ENOSPC;
    return FileSystem::Fallocate(fd, length);
  }
  int SyncFs(int fd) override {
    if (syncFsFails) {
      errno = EIO;
      return -1;
    }
    return FileSystem::SyncFs(fd);
  }

 private:
  static int Fail() {
    errno = ENOSPC;
    return -1;
  }
  std::set<int> failing_;
};

}  // namespace tests
