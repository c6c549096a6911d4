// The game server's folder a job works on. Jobs take it as a parameter;
// only the programs' entry points (and the procedures the server's tools
// have always defined on their program folder) make it from the program
// folder.
#pragma once

#include <string>
#include <string_view>

#include "common/status.h"
#include "common/trusted_folder.h"

namespace common {

class ServerFolder {
 public:
  // `root` is a host path with no trailing separator (but "/" itself);
  // every file below it is reached through `fs` (tests pass one that fails
  // chosen calls).
  explicit ServerFolder(std::string root, FileSystem& fs = FileSystem::Posix());
  // The program folder (common/program_folder.h), as the windows and
  // commands start from it.
  static ServerFolder Program();

  const std::string& root() const { return root_; }
  FileSystem& fs() const { return *fs_; }
  // The tool path of `name` (which mostly begins with "\"): the root and
  // `name` joined by plain concatenation, as the server's tools build paths.
  std::string Path(std::string_view name) const;
  // Its host path for messages, as far as it resolves.
  std::string HostPath(std::string_view name) const;

  // The server folder itself, and the folder or entry `name` below it,
  // reached by the trusted walk (common/trusted_folder.h).
  Status OpenRoot(Folder* out) const;
  Status OpenFolder(std::string_view name, Folder* out) const;
  Status Locate(std::string_view name, Folder* folder, std::string* entry) const;

 private:
  std::string root_;
  FileSystem* fs_;
};

}  // namespace common
