// The file-system calls of the tools' file layer, behind one small
// interface, so that a test can wrap it and make a chosen call fail (a full
// disk, a flush that fails, a rename refused) the way a database's
// fault-injection tests wrap its environment. Every folder the trusted walk
// opens (common/trusted_folder.h) carries the FileSystem it was opened
// through, and every file operation on it goes through that one.
//
// Each method is the system call of the same name on the descriptors given
// and returns what it returns, with errno set on failure (Fallocate returns
// the error number, as posix_fallocate does).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>

namespace common {

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The real one, which every folder uses unless given another.
  static FileSystem& Posix();

  virtual int OpenAt(int dirFd, const char* name, int flags, mode_t mode);
  virtual int Close(int fd);
  virtual ssize_t PRead(int fd, void* buf, size_t size, off_t at);
  virtual ssize_t Write(int fd, const void* buf, size_t size);
  virtual ssize_t PWrite(int fd, const void* buf, size_t size, off_t at);
  virtual int Fstat(int fd, struct stat* st);
  virtual int FstatAt(int dirFd, const char* name, struct stat* st, int flags);
  // `flags` 0 or RENAME_NOREPLACE.
  virtual int RenameAt(int fromDir, const char* from, int toDir, const char* to, unsigned flags);
  virtual int UnlinkAt(int dirFd, const char* name, int flags);
  virtual int MkdirAt(int dirFd, const char* name, mode_t mode);
  virtual int Fsync(int fd);
  virtual int SyncFs(int fd);
  virtual int Fallocate(int fd, off_t length);
  virtual int Ftruncate(int fd, off_t length);
  virtual int Fchown(int fd, uid_t uid, gid_t gid);
  virtual int Fchmod(int fd, mode_t mode);
  virtual ssize_t FListXattr(int fd, char* list, size_t size);
  virtual ssize_t FGetXattr(int fd, const char* name, void* value, size_t size);
  virtual int FSetXattr(int fd, const char* name, const void* value, size_t size, int flags);
  virtual int FRemoveXattr(int fd, const char* name);
};

}  // namespace common
