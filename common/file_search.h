// First-match file search and folder listing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "common/trusted_folder.h"

namespace common {

// The name of the first ordinary file that matches `pattern`, or "" when none
// does. The last component may hold "*" and "?" (matched without regard to
// case); a pattern ending in a separator matches any file in that folder.
// Ordinary files only: folders, hidden entries (names starting with "."),
// FIFOs, sockets and devices never match. A missing folder gives "".
std::string FindFirstFile(std::string_view pattern);

// True when at least one ordinary file matches. With rawPath false, `name` is
// appended to the program folder and "\" as they stand.
bool FileIsPresent(std::string_view name, bool rawPath);

// Every entry of a folder whose name matches `pattern` (last component, "*"
// and "?" wildcards), in the order the host's directory listing gives them:
// "." and ".." first, then the names sorted by their upper-cased bytes.
// Folders and files alike. NotFound for a missing folder, and why for one
// that cannot be read; `names` is then empty.
Status ListFolder(std::string_view pattern, std::vector<std::string>* names);

// The same three for a folder already open (common/trusted_folder.h):
// `pattern` is a last component only ("*.ini", "server.exe", "*" for any).
std::string FindFirstFileIn(const Folder& folder, std::string_view pattern);
Status ListFolderIn(const Folder& folder, std::string_view pattern,
                    std::vector<std::string>* names);

// Wildcard match of one name against one pattern component, ignoring ASCII case.
bool WildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace common
