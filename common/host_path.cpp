#include "common/host_path.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "common/program_folder.h"
#include "common/trusted_folder.h"
#include "common/unique_fd.h"

namespace common {

std::string SpelledPath(std::string_view path) {
  // The program folder is a host path already.
  std::string spelled;
  std::string_view rest = path;
  const std::string base = ProgramFolder();
  if (!base.empty() && path.substr(0, base.size()) == base &&
      (path.size() == base.size() || IsSeparator(path[base.size()]) || base == "/")) {
    spelled = base;
    rest = path.substr(base.size());
  } else if (!path.empty() && IsSeparator(path[0])) {
    spelled = "/";
  }
  size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && IsSeparator(rest[i])) ++i;
    const size_t start = i;
    while (i < rest.size() && !IsSeparator(rest[i])) ++i;
    if (i > start) spelled = JoinHostPath(spelled, std::string(rest.substr(start, i - start)));
  }
  if (spelled.empty()) spelled = ".";
  return spelled;
}

std::string ResolvePath(std::string_view path) { return ResolveHostPath(path); }

std::string HostFolderOf(const std::string& hostPath) {
  size_t slash = hostPath.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : hostPath.substr(0, slash);
}

std::string HostNameOf(const std::string& hostPath) {
  size_t slash = hostPath.rfind('/');
  return slash == std::string::npos ? hostPath : hostPath.substr(slash + 1);
}

std::string JoinHostPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder == "/") return "/" + name;
  return folder + "/" + name;
}

Status CreateFolder(std::string_view path) {
  std::string_view trimmed = path;
  while (!trimmed.empty() && IsSeparator(trimmed.back())) trimmed.remove_suffix(1);
  Folder parent;
  std::string name;
  if (Status s = LocateEntry(trimmed, &parent, &name); !s.ok()) {
    return s.WithContext("cannot create folder " + SpelledPath(path));
  }
  return CreateFolderIn(parent, name);
}

Status CreateFolderIn(const Folder& parent, std::string_view wanted, mode_t mode,
                      bool parentOwner) {
  bool exists = false;
  const std::string name = ResolveName(parent, wanted, &exists);
  const std::string host = parent.HostOf(name);
  if (exists) return PosixError("cannot create folder " + host, EEXIST);
  if (parent.fs().MkdirAt(parent.fd(), name.c_str(), mode) != 0) {
    return PosixError("cannot create folder " + host, errno);
  }
  NoteCreated(parent, name);
  if (parentOwner && geteuid() == 0) {
    const UniqueFd made(parent.fs().OpenAt(parent.fd(), name.c_str(),
                                           O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
    if (made.valid()) AdoptFolderOwner(parent, made.get());
  }
  return Status::OK();
}

}  // namespace common
