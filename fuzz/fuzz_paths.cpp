// Fuzzes path resolution, first-match search, folder listing and wildcard
// matching on arbitrary path texts inside a fixed scratch tree. Every path
// is built on the scratch folder and ".." components are defused, so nothing
// outside it is ever looked at. Results are compared with simple reference
// versions that list folders afresh on every call.
#include <dirent.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_search.h"
#include "common/host_path.h"
#include "common/program_folder.h"
#include "fuzz/fuzz_support.h"

namespace {

char Up(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
bool IsSep(char c) { return c == '\\' || c == '/'; }

// "*" any run, "?" any one character, ASCII case ignored; "*.*" is "*".
// Recursive with a memo of (pattern position, name position).
bool RefMatch(std::string_view p, std::string_view n) {
  if (p == "*.*") p = "*";
  std::vector<int8_t> memo((p.size() + 1) * (n.size() + 1), -1);
  auto go = [&](auto& self, size_t i, size_t j) -> bool {
    int8_t& m = memo[i * (n.size() + 1) + j];
    if (m >= 0) return m;
    bool r;
    if (i == p.size())
      r = j == n.size();
    else if (p[i] == '*')
      r = self(self, i + 1, j) || (j < n.size() && self(self, i, j + 1));
    else
      r = j < n.size() && (p[i] == '?' || Up(p[i]) == Up(n[j])) && self(self, i + 1, j + 1);
    m = r;
    return r;
  };
  return go(go, 0, 0);
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return names;
  while (dirent* e = readdir(dir)) names.emplace_back(e->d_name);
  closedir(dir);
  return names;
}

bool EqualIc(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Up(a[i]) != Up(b[i])) return false;
  return true;
}

// Resolves `rest` (components below the scratch root) with fresh listings.
std::string RefResolve(const std::string& root, std::string_view rest) {
  std::string resolved = root;
  bool exists = true;
  size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && IsSep(rest[i])) ++i;
    size_t start = i;
    while (i < rest.size() && !IsSep(rest[i])) ++i;
    if (i == start) break;
    std::string part(rest.substr(start, i - start));
    std::string exact = resolved + "/" + part;
    struct stat st;
    if (!exists || part == "." || lstat(exact.c_str(), &st) == 0) {
      resolved = exact;
      continue;
    }
    std::string best;
    for (const std::string& e : Entries(resolved))
      if (e != "." && e != ".." && EqualIc(e, part) && (best.empty() || e < best)) best = e;
    if (best.empty()) {
      resolved = exact;
      exists = false;
    } else {
      resolved += "/" + best;
    }
  }
  return resolved;
}

bool Ordinary(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void Touch(const std::string& path) { WriteBytes(path, "x"); }

// The scratch tree: mixed case, a case clash, hidden files, a FIFO, links,
// an empty folder and a folder that holds only a folder.
void BuildTree(const std::string& root) {
  for (const char* d :
       {"Items", "Maps", "maps2", "Sub", "Sub/Deep", "OnlyDirs", "OnlyDirs/inner", "Accounts"})
    mkdir((root + "/" + d).c_str(), 0755);
  for (const char* f :
       {"items.ini", "Items/Item1.dat", "Items/item2.DAT", "maps2/map1.dat", "Sub/Deep/File.txt",
        "MiXeD.TxT", "mixed.txt", ".hidden", "Items/.tmp", "Accounts/Bob.ini", "Accounts/alice.INI",
        "Accounts/[x", "Accounts/_y", "a*b", "q?.txt", "server.exe"})
    Touch(root + "/" + f);
  mkfifo((root + "/pipe").c_str(), 0644);
  mkfifo((root + "/Items/fifo.dat").c_str(), 0644);
  [[maybe_unused]] int r1 = symlink("items.ini", (root + "/link.ini").c_str());
  [[maybe_unused]] int r2 = symlink("nowhere", (root + "/dangling.ini").c_str());
  [[maybe_unused]] int r3 = symlink("loop", (root + "/loop").c_str());
}

// Defuses ".." components (also when a NUL hides what follows them, since
// the system sees the path only up to a NUL).
std::string Defused(std::string text) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSep(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !IsSep(text[i])) ++i;
    std::string_view part = std::string_view(text).substr(start, i - start);
    part = part.substr(0, part.find('\0'));
    if (part == "..") text[start] = '_';
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string root = [] {
    const std::string r = ScratchRoot() + "/Server";
    mkdir(r.c_str(), 0755);
    BuildTree(r);
    return r;
  }();
  common::SetProgramFolder(root);
  FuzzedDataProvider in(data, size);

  const std::string pattern = in.ConsumeRandomLengthString(64);
  const std::string name = in.ConsumeRandomLengthString(64);
  FUZZ_CHECK(common::WildcardMatch(pattern, name) == RefMatch(pattern, name),
             "WildcardMatch(\"" + Escaped(pattern) + "\", \"" + Escaped(name) + "\") gave " +
                 (RefMatch(pattern, name) ? "false" : "true"));

  const std::string rest = Defused(in.ConsumeRemainingBytesAsString());
  const std::string path = root + "\\" + rest;
  const bool plain = rest.find('\0') == std::string::npos;

  std::string host = common::ResolvePath(path);
  FUZZ_CHECK(host.compare(0, root.size(), root) == 0,
             "resolved outside the tree: " + Escaped(host));
  if (plain) {
    std::string expected = RefResolve(root, rest);
    FUZZ_CHECK(host == expected, "ResolvePath(\"" + Escaped(rest) + "\") gave \"" + Escaped(host) +
                                     "\", expected \"" + Escaped(expected) + "\"");
  }

  std::string found = common::FindFirstFile(path);
  bool present = common::FileIsPresent(rest, false);
  std::vector<std::string> listed;
  const common::Status listing = common::ListFolder(path, &listed);
  FUZZ_CHECK(listing.ok() || listed.empty(),
             "ListFolder(\"" + Escaped(rest) + "\") failed but gave names");
  if (!plain) return 0;

  // The folder part and the last component, as a search splits them.
  size_t cut = rest.size();
  while (cut > 0 && !IsSep(rest[cut - 1])) --cut;
  std::string folderPart = rest.substr(0, cut);
  std::string last = rest.substr(cut);
  if (last.empty()) last = "*";
  std::string folder = RefResolve(root, folderPart);
  std::vector<std::string> entries = Entries(folder);
  const bool wild = last.find_first_of("*?") != std::string::npos;

  bool anyMatch = false;
  if (wild) {
    for (const std::string& e : entries)
      anyMatch = anyMatch || (e[0] != '.' && RefMatch(last, e) && Ordinary(folder + "/" + e));
  } else {
    anyMatch = last[0] != '.' && Ordinary(RefResolve(root, rest));
  }
  FUZZ_CHECK(found.empty() != anyMatch,
             "FindFirstFile(\"" + Escaped(rest) + "\") gave \"" + Escaped(found) + "\"");
  FUZZ_CHECK(present == anyMatch, "FileIsPresent(\"" + Escaped(rest) + "\") disagrees");
  if (!found.empty()) {
    FUZZ_CHECK(found[0] != '.' && Ordinary(folder + "/" + found) &&
                   (wild ? RefMatch(last, found) : EqualIc(last, found)),
               "FindFirstFile(\"" + Escaped(rest) + "\") found \"" + Escaped(found) + "\"");
  }

  // The listing: "." and ".." first, then by upper-cased name.
  std::vector<std::pair<std::string, std::string>> keyed;
  std::vector<std::string> expected;
  for (const std::string& e : entries) {
    if (!RefMatch(last, e)) continue;
    if (e == "." || e == "..") continue;
    std::string upper = e;
    for (char& c : upper) c = Up(c);
    keyed.emplace_back(upper, e);
  }
  std::sort(keyed.begin(), keyed.end());
  if (!entries.empty() && RefMatch(last, ".")) expected.push_back(".");
  if (!entries.empty() && RefMatch(last, "..")) expected.push_back("..");
  for (auto& k : keyed) expected.push_back(k.second);
  // Only a folder that cannot be opened has no entries at all ("." and "..").
  FUZZ_CHECK(listing.ok() == !entries.empty(),
             "ListFolder(\"" + Escaped(rest) + "\") said \"" + Escaped(listing.ToString()) + "\"");
  FUZZ_CHECK(listed == expected, "ListFolder(\"" + Escaped(rest) + "\") gave " +
                                     std::to_string(listed.size()) + " names, expected " +
                                     std::to_string(expected.size()));
  return 0;
}
