#include "common/file_system.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace common {

FileSystem& FileSystem::Posix() {
  static FileSystem posix;
  return posix;
}

int FileSystem::OpenAt(int dirFd, const char* name, int flags, mode_t mode) {
  return openat(dirFd, name, flags, mode);
}
int FileSystem::Close(int fd) { return close(fd); }
ssize_t FileSystem::PRead(int fd, void* buf, size_t size, off_t at) {
  return pread(fd, buf, size, at);
}
ssize_t FileSystem::Write(int fd, const void* buf, size_t size) { return write(fd, buf, size); }
ssize_t FileSystem::PWrite(int fd, const void* buf, size_t size, off_t at) {
  return pwrite(fd, buf, size, at);
}
int FileSystem::Fstat(int fd, struct stat* st) { return fstat(fd, st); }
int FileSystem::FstatAt(int dirFd, const char* name, struct stat* st, int flags) {
  return fstatat(dirFd, name, st, flags);
}
int FileSystem::RenameAt(int fromDir, const char* from, int toDir, const char* to,
                         unsigned flags) {
  return renameat2(fromDir, from, toDir, to, flags);
}
int FileSystem::UnlinkAt(int dirFd, const char* name, int flags) {
  return unlinkat(dirFd, name, flags);
}
int FileSystem::MkdirAt(int dirFd, const char* name, mode_t mode) {
  return mkdirat(dirFd, name, mode);
}
int FileSystem::Fsync(int fd) { return fsync(fd); }
int FileSystem::SyncFs(int fd) { return syncfs(fd); }
int FileSystem::Fallocate(int fd, off_t length) { return posix_fallocate(fd, 0, length); }
int FileSystem::Ftruncate(int fd, off_t length) { return ftruncate(fd, length); }
int FileSystem::Fchown(int fd, uid_t uid, gid_t gid) { return fchown(fd, uid, gid); }
int FileSystem::Fchmod(int fd, mode_t mode) { return fchmod(fd, mode); }
ssize_t FileSystem::FListXattr(int fd, char* list, size_t size) {
  return flistxattr(fd, list, size);
}
ssize_t FileSystem::FGetXattr(int fd, const char* name, void* value, size_t size) {
  return fgetxattr(fd, name, value, size);
}
int FileSystem::FSetXattr(int fd, const char* name, const void* value, size_t size, int flags) {
  return fsetxattr(fd, name, value, size, flags);
}
int FileSystem::FRemoveXattr(int fd, const char* name) { return fremovexattr(fd, name); }

}  // namespace common
