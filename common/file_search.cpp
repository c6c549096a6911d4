#include "common/file_search.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/host_path.h"
#include "common/program_folder.h"
#include "common/text_util.h"
#include "common/trusted_folder.h"
#include "common/unique_fd.h"

namespace common {

namespace {

// Splits a search path into its folder and its last component; a path that
// ends in a separator searches for "*" in that folder.
void SplitPattern(std::string_view pattern, std::string_view& folder, std::string_view& name) {
  size_t i = pattern.size();
  while (i > 0 && !IsSeparator(pattern[i - 1])) --i;
  folder = pattern.substr(0, i);
  name = pattern.substr(i);
  if (name.empty()) name = "*";
}

bool HasWildcards(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

// An ordinary file, following a trusted link to what it names; an untrusted
// link is no file of the server's.
bool IsOrdinaryEntry(const Folder& folder, const std::string& name) {
  Target target;
  struct stat st;
  bool exists = false;
  return FollowLinks(folder, name, &target, &st, &exists).ok() && exists && S_ISREG(st.st_mode);
}

// The folder part of a search, reached by the trusted walk ("" is the
// working folder).
Status SearchFolder(std::string_view folder, Folder* out) {
  return OpenFolder(folder.empty() ? std::string_view(".") : folder, out);
}

// Lists an open folder with readdir; calls `each` with every entry.
template <typename Each>
Status ForEachEntry(const Folder& folder, Each each) {
  UniqueFd fd;
  if (Status s = OpenFolderForReading(folder, &fd); !s.ok()) {
    return PosixError("cannot list " + folder.host(), s.sysError());
  }
  DIR* dir = fdopendir(fd.release());
  if (!dir) return PosixError("cannot list " + folder.host(), errno);
  while (dirent* e = readdir(dir)) {
    if (!each(*e)) break;
  }
  closedir(dir);
  return Status::OK();
}

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  // "*.*" means every name, with or without a dot, as on the host.
  if (pattern == "*.*") pattern = "*";
  size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    // A "*" is always a wildcard, even where the name holds a "*" itself.
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || UpperAsciiChar(pattern[p]) == UpperAsciiChar(name[n]))) {
      ++p, ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::string FindFirstFileIn(const Folder& folder, std::string_view name) {
  if (name.empty()) name = "*";
  if (!HasWildcards(name)) {
    // A plain name: resolve it directly instead of listing the folder.
    if (name.front() == '.') return "";
    bool exists = false;
    const std::string resolved = ResolveName(folder, name, &exists);
    if (!exists || !IsOrdinaryEntry(folder, resolved)) return "";
    return resolved;
  }
  std::string found;
  ForEachEntry(folder, [&](const dirent& e) {
    const std::string entry = e.d_name;
    if (entry.empty() || entry[0] == '.' || !WildcardMatch(name, entry)) return true;
    const bool regular = e.d_type == DT_REG ||
                         ((e.d_type == DT_UNKNOWN || e.d_type == DT_LNK) &&
                          IsOrdinaryEntry(folder, entry));
    if (!regular) return true;
    found = entry;
    return false;
  }).IgnoreError();  // a folder that cannot be read holds no file found
  return found;
}

std::string FindFirstFile(std::string_view pattern) {
  std::string_view folderPart, name;
  SplitPattern(pattern, folderPart, name);
  Folder folder;
  if (!SearchFolder(folderPart, &folder).ok()) return "";
  return FindFirstFileIn(folder, name);
}

bool FileIsPresent(std::string_view name, bool rawPath) {
  std::string path = rawPath ? std::string(name) : ProgramFolder() + "\\" + std::string(name);
  return !FindFirstFile(path).empty();
}

Status ListFolder(std::string_view pattern, std::vector<std::string>* listed) {
  listed->clear();
  std::string_view folderPart, name;
  SplitPattern(pattern, folderPart, name);
  Folder folder;
  if (Status s = SearchFolder(folderPart, &folder); !s.ok()) return s;
  return ListFolderIn(folder, name, listed);
}

Status ListFolderIn(const Folder& folder, std::string_view name, std::vector<std::string>* listed) {
  listed->clear();
  if (name.empty()) name = "*";
  // The names side by side in one buffer, their upper-cased forms in
  // another: a folder of ten thousand accounts costs two growing buffers
  // rather than ten thousand strings moved about while it is read and sorted.
  std::string pool, upper;
  std::vector<uint32_t> start;
  bool dot = false, dotdot = false;
  const bool everything = name == "*" || name == "*.*";
  if (Status s = ForEachEntry(folder,
                              [&](const dirent& e) {
                                const std::string_view entry = e.d_name;
                                if (entry == ".") {
                                  dot = true;
                                } else if (entry == "..") {
                                  dotdot = true;
                                } else if (everything || WildcardMatch(name, entry)) {
                                  start.push_back(static_cast<uint32_t>(pool.size()));
                                  pool.append(entry);
                                  for (char c : entry) upper += UpperAsciiChar(c);
                                }
                                return true;
                              });
      !s.ok()) {
    return s;
  }
  const uint32_t count = static_cast<uint32_t>(start.size());
  start.push_back(static_cast<uint32_t>(pool.size()));
  auto part = [&](const std::string& all, uint32_t i) {
    return std::string_view(all).substr(start[i], start[i + 1] - start[i]);
  };
  // The host lists by upper-cased name; equal forms keep a fixed order (by
  // their own bytes).
  std::vector<uint32_t> order(count);
  for (uint32_t i = 0; i < count; ++i) order[i] = i;
  auto before = [&](uint32_t a, uint32_t b) {
    const int c = part(upper, a).compare(part(upper, b));
    return c != 0 ? c < 0 : part(pool, a) < part(pool, b);
  };
  // Many file systems give a folder's names in (or against) the order they
  // were made, which for accounts made one after another is often the
  // order wanted: one pass tells, and saves the sort.
  if (!std::is_sorted(order.begin(), order.end(), before)) {
    std::reverse(order.begin(), order.end());
    if (!std::is_sorted(order.begin(), order.end(), before)) {
      std::sort(order.begin(), order.end(), before);
    }
  }
  listed->reserve(count + 2);
  if (dot && WildcardMatch(name, ".")) listed->push_back(".");
  if (dotdot && WildcardMatch(name, "..")) listed->push_back("..");
  for (uint32_t i : order) listed->emplace_back(part(pool, i));
  return Status::OK();
}

}  // namespace common
