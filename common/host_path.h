// Host paths and the tools' "\"-separated paths on a case-sensitive file
// system. The tools build their paths the way the game server's own tools
// always did (program folder + "\Items\Item" + N + ".dat"); opening them is
// the trusted walk's job (common/trusted_folder.h), which resolves them
// without regard to case and refuses links the operator did not make.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

#include "common/status.h"

namespace common {

// "\" and "/" both separate the components of a tool path.
inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The folder of a host path ("." for a bare name, "/" for a name at the
// root) and its last component.
std::string HostFolderOf(const std::string& hostPath);
std::string HostNameOf(const std::string& hostPath);

// `folder` + "/" + `name`, with no doubled "/" at the root; just `name`
// for an empty folder.
std::string JoinHostPath(const std::string& folder, const std::string& name);

// The host path a tool path names: each component that exists is matched
// exactly first, otherwise by the first case-insensitive (ASCII) match in
// byte order of the names; components that do not exist keep the spelling
// given. Doubled separators count as one. For messages and for handing a
// path to another program: the tools open files through the trusted walk,
// never by this string.
std::string ResolvePath(std::string_view path);

// The host path exactly as spelled (separators turned, doubled ones dropped),
// with no look-up.
std::string SpelledPath(std::string_view path);

// Creates the folder named by `path` (a trailing separator is allowed),
// reaching its parent by the trusted walk. Fails, changing nothing, when it
// exists already in any case or its parent is missing, like the host's
// MkDir.
Status CreateFolder(std::string_view path);

class Folder;
// The same for the folder `name` of an open folder, made with `mode`; with
// `parentOwner`, it belongs to the parent's owner as AdoptFolderOwner tells
// (a folder of the server's data, not one private to the operator).
Status CreateFolderIn(const Folder& parent, std::string_view name, mode_t mode = 0777,
                      bool parentOwner = false);

}  // namespace common
