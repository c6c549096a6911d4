#include "common/status.h"

#include <cerrno>
#include <cstring>

namespace common {

Status Status::WithContext(const std::string& context) const {
  if (ok()) return *this;
  return Status(code_, context + ": " + message_, sysError_);
}

std::string ErrnoText(int err) { return std::strerror(err); }

Status PosixError(const std::string& context, int err) {
  std::string message = context + ": " + ErrnoText(err);
  if (err == ENOENT || err == ENOTDIR) return Status::NotFound(std::move(message), err);
  return Status::IOError(std::move(message), err);
}

}  // namespace common
