#include "common/server_folder.h"

#include <utility>

#include "common/host_path.h"
#include "common/program_folder.h"

namespace common {

ServerFolder::ServerFolder(std::string root, FileSystem& fs) : root_(std::move(root)), fs_(&fs) {}

ServerFolder ServerFolder::Program() { return ServerFolder(ProgramFolder()); }

std::string ServerFolder::Path(std::string_view name) const { return root_ + std::string(name); }

std::string ServerFolder::HostPath(std::string_view name) const {
  Folder root;
  if (!OpenRoot(&root).ok()) return SpelledPath(Path(name));
  Folder folder;
  std::string entry;
  if (!LocateBelow(root, name, &folder, &entry).ok()) return SpelledPath(Path(name));
  return folder.HostOf(entry);
}

Status ServerFolder::OpenRoot(Folder* out) const { return OpenServerRoot(root_, out, *fs_); }

Status ServerFolder::OpenFolder(std::string_view name, Folder* out) const {
  Folder root;
  if (Status s = OpenRoot(&root); !s.ok()) return s;
  return OpenFolderBelow(root, name, out);
}

Status ServerFolder::Locate(std::string_view name, Folder* folder, std::string* entry) const {
  Folder root;
  if (Status s = OpenRoot(&root); !s.ok()) return s;
  return LocateBelow(root, name, folder, entry);
}

}  // namespace common
