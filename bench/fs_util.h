// Plain POSIX file helpers for setting up and checking benchmark folders.
// None of them is timed; they go around the tools' platform layer on purpose.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace bench {

// Writes `bytes` to `path`, replacing what was there. Throws on failure.
void WriteWholeFile(const std::string& path, std::string_view bytes);
// The bytes of `path`; throws when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// Creates `path` and its missing parents.
void MakeFolders(const std::string& path);
// Removes every entry directly inside `folder` (files only; the folder stays).
void ClearFolder(const std::string& folder);
// Removes `path` and everything below it; missing is fine.
void RemoveTree(const std::string& path);
// Names of the entries of `folder`, sorted, without "." and "..".
std::vector<std::string> FolderNames(const std::string& folder);
// "" when both folders hold the same names with the same bytes; otherwise
// what differs first.
std::string CompareFolders(const std::string& expected, const std::string& actual);

}  // namespace bench
