// One restart of a server folder at a time: each Ruvane holds a lock on the
// folder while it runs, so that two started together cannot both start the
// server.
#pragma once

#include <string>

#include "common/status.h"

namespace ruvane {

// An exclusive lock (flock) on the server folder itself, so no file needs
// to be made for it: any other Ruvane on the same folder, by whatever path,
// finds it taken. The system drops it when the holder ends, however it
// ends. Only Ruvane takes it; the server never sees the descriptor.
class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock() { Release(); }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Takes the lock of `folder` without waiting. OK when taken; a failure
  // with sysError() EWOULDBLOCK when another holder has it; otherwise a
  // failure naming the folder and why it could not be opened or locked.
  common::Status Take(const std::string& folder);
  void Release();
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace ruvane
