// Case-insensitive resolution of the tools' "\"-separated paths on a
// case-sensitive file system. Every file and folder access of the tools goes
// through ResolvePath, so callers may keep building paths the way the game
// server's own tools always did: program folder + "\Items\Item" + N + ".dat".
//
// Threads: the folder indexes behind ResolvePath are process-wide and
// unguarded; the tools resolve paths from their one thread only.
#pragma once

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

// Turns a path built with "\" (or "/") separators into the host path to open.
// Doubled separators count as one. Each component that exists is matched
// exactly first, otherwise by the first case-insensitive (ASCII) match in
// byte order of the names; components that do not exist keep the spelling
// given, so a file or folder is created with the caller's spelling.
std::string ResolvePath(std::string_view path);

// The host path exactly as spelled (separators turned, doubled ones dropped),
// with no look-up. Whenever something exists at this path, ResolvePath gives
// this same path, so a caller that finds the file here may skip resolving.
std::string SpelledPath(std::string_view path);

// Creates the folder named by `path` (a trailing separator is allowed).
// Fails, changing nothing, when it exists already in any case or its parent
// is missing, like the host's MkDir.
Status CreateFolder(std::string_view path);

// Tells the resolver that the caller created `hostPath` itself, so cached
// listings of its folder stay valid without being read again.
void NoteCreated(const std::string& hostPath);

}  // namespace common
