#include "bench/fs_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace bench {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

}  // namespace

void WriteWholeFile(const std::string& path, std::string_view bytes) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) Fail("cannot create", path);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      close(fd);
      Fail("cannot write", path);
    }
    done += static_cast<size_t>(n);
  }
  if (close(fd) != 0) Fail("cannot close", path);
}

std::string ReadWholeFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("cannot open", path);
  std::string out;
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      Fail("cannot read", path);
    }
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return out;
}

void MakeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    std::string part = path.substr(0, i);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) Fail("cannot create folder", part);
  }
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) Fail("cannot list", folder);
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

void ClearFolder(const std::string& folder) {
  for (const std::string& name : FolderNames(folder)) {
    std::string path = folder + "/" + name;
    if (unlink(path.c_str()) != 0) Fail("cannot remove", path);
  }
}

void RemoveTree(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    for (const std::string& name : FolderNames(path)) RemoveTree(path + "/" + name);
    if (rmdir(path.c_str()) != 0) Fail("cannot remove", path);
  } else if (unlink(path.c_str()) != 0) {
    Fail("cannot remove", path);
  }
}

std::string CompareFolders(const std::string& expected, const std::string& actual) {
  const std::vector<std::string> want = FolderNames(expected);
  const std::vector<std::string> got = FolderNames(actual);
  if (want != got) {
    return actual + " holds " + std::to_string(got.size()) + " entries, expected " +
           std::to_string(want.size());
  }
  for (const std::string& name : want) {
    if (ReadWholeFile(expected + "/" + name) != ReadWholeFile(actual + "/" + name)) {
      return actual + "/" + name + " differs from the reference";
    }
  }
  return "";
}

}  // namespace bench
