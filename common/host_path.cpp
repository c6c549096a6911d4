#include "common/host_path.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "common/file_stamp.h"
#include "common/program_folder.h"
#include "common/text_util.h"

namespace common {

namespace {

// A folder's names by their upper-cased form, kept while the folder is
// unchanged, so that resolving a name whose case differs (or that does not
// exist yet) in a folder of tens of thousands of files costs no listing.
// A folder's modification time moves in steps of a few milliseconds, so a
// listing taken within such a step of the folder's last change may miss a
// change made later in that same step, with no new time to show for it.
// Such a listing is "racy": it serves the look-up at hand and is read again
// at the next one, unless the tools' own creation of a file (NoteCreated)
// has accounted for the change since.
struct FolderIndex {
  FileStamp stamp;
  bool racy = false;
  std::unordered_map<std::string, std::string> byUpper;  // first name in byte order
};

void AddName(FolderIndex& ix, const std::string& name) {
  auto [it, inserted] = ix.byUpper.try_emplace(UpperAscii(name), name);
  if (!inserted && name < it->second) it->second = name;
}

std::unordered_map<std::string, FolderIndex>& Indexes() {
  static std::unordered_map<std::string, FolderIndex> indexes;
  return indexes;
}

// The index of `folder`, read again when the folder changed; null when the
// folder cannot be listed.
const FolderIndex* IndexOf(const std::string& folder) {
  struct stat st;
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
  auto& indexes = Indexes();
  auto it = indexes.find(folder);
  if (it != indexes.end() && it->second.stamp == FileStamp::Of(st) && !it->second.racy) {
    return &it->second;
  }
  DIR* dir = opendir(folder.c_str());
  if (!dir) return nullptr;
  if (indexes.size() > 64) indexes.clear();  // a handful of folders is all the tools use
  FolderIndex& ix = indexes[folder];
  ix.byUpper.clear();
  ix.stamp = FileStamp::Of(st);
  ix.racy = ix.stamp.ChangedJustNow();
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name != "." && name != "..") AddName(ix, name);
  }
  closedir(dir);
  return &ix;
}

// The entry of `folder` that matches `name` without regard to case, or null.
// `name` is known not to exist as spelled. `listed` (when given) tells
// whether the folder could be listed at all. A match the index remembers but
// that is gone (another program removed it within one timestamp step) makes
// the folder be listed again.
const std::string* FindInFolder(const std::string& folder, const std::string& name,
                                bool* listed = nullptr) {
  const std::string key = UpperAscii(name);
  if (listed) *listed = false;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const FolderIndex* ix = IndexOf(folder.empty() ? std::string(".") : folder);
    if (!ix) return nullptr;
    if (listed) *listed = true;
    auto hit = ix->byUpper.find(key);
    if (hit == ix->byUpper.end()) return nullptr;
    struct stat st;
    if (lstat(JoinHostPath(folder, hit->second).c_str(), &st) == 0) return &hit->second;
    Indexes().erase(folder.empty() ? std::string(".") : folder);
  }
  return nullptr;
}

// Splits at "\" and "/", dropping empty components.
std::vector<std::string> Components(std::string_view path) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && IsSeparator(path[i])) ++i;
    size_t start = i;
    while (i < path.size() && !IsSeparator(path[i])) ++i;
    if (i > start) parts.emplace_back(path.substr(start, i - start));
  }
  return parts;
}

}  // namespace

namespace {

// Where resolution of `path` starts (the program folder, "/" or "" for a
// relative path) and the rest of the path after it.
void SplitStart(std::string_view path, std::string& start, std::string_view& rest) {
  // The program folder is a host path already; start from it when the path
  // is built on it, which saves a lookup per component on every record.
  rest = path;
  start.clear();
  const std::string base = ProgramFolder();
  if (!base.empty() && path.substr(0, base.size()) == base &&
      (path.size() == base.size() || IsSeparator(path[base.size()]) || base == "/")) {
    start = base;
    rest = path.substr(base.size());
  } else if (!path.empty() && IsSeparator(path[0])) {
    start = "/";
  }
}

}  // namespace

std::string SpelledPath(std::string_view path) {
  std::string spelled;
  std::string_view rest;
  SplitStart(path, spelled, rest);
  for (const std::string& part : Components(rest)) spelled = JoinHostPath(spelled, part);
  if (spelled.empty()) spelled = ".";
  return spelled;
}

std::string ResolvePath(std::string_view path) {
  std::string resolved;
  std::string_view rest;
  SplitStart(path, resolved, rest);
  const std::vector<std::string> parts = Components(rest);

  // Most paths name something that exists with exactly the spelling given;
  // then every component would match exactly, and one look-up settles it.
  std::string spelled = resolved;
  for (const std::string& part : parts) spelled = JoinHostPath(spelled, part);
  struct stat st;
  if (!parts.empty() && lstat(spelled.c_str(), &st) == 0) return spelled;

  // A new file in a folder that is spelled exactly: only the last component
  // needs the folder's index, and it is known to be missing as spelled.
  if (!parts.empty() && parts.back() != "." && parts.back() != "..") {
    std::string parent = resolved;
    for (size_t i = 0; i + 1 < parts.size(); ++i) parent = JoinHostPath(parent, parts[i]);
    bool listed = false;
    const std::string* match = FindInFolder(parent, parts.back(), &listed);
    if (listed) return match ? JoinHostPath(parent, *match) : spelled;
  }

  bool parentExists = true;
  for (const std::string& part : parts) {
    std::string exact = JoinHostPath(resolved, part);
    if (!parentExists || part == "." || part == "..") {
      resolved = exact;
      continue;
    }
    if (lstat(exact.c_str(), &st) == 0) {
      resolved = exact;
      continue;
    }
    const std::string* match = FindInFolder(resolved, part);
    if (match) {
      resolved = JoinHostPath(resolved, *match);
    } else {
      resolved = exact;
      parentExists = false;  // nothing below a missing component exists either
    }
  }
  if (resolved.empty()) resolved = ".";
  return resolved;
}

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

void NoteCreated(const std::string& hostPath) {
  const std::string folder = HostFolderOf(hostPath);
  const std::string name = HostNameOf(hostPath);
  auto& indexes = Indexes();
  auto it = indexes.find(folder);
  if (it == indexes.end()) return;
  struct stat st;
  if (stat(folder.c_str(), &st) != 0) {
    indexes.erase(it);
    return;
  }
  AddName(it->second, name);
  it->second.stamp = FileStamp::Of(st);
  it->second.racy = false;  // the change just made is the one accounted for
}

Status CreateFolder(std::string_view path) {
  std::string host = ResolvePath(path);
  struct stat st;
  if (lstat(host.c_str(), &st) == 0) return PosixError("cannot create folder " + host, EEXIST);
  if (mkdir(host.c_str(), 0777) != 0) return PosixError("cannot create folder " + host, errno);
  NoteCreated(host);
  return Status::OK();
}

}  // namespace common
