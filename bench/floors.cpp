#include "bench/floors.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace bench {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw std::runtime_error("floor: cannot " + what + " " + path + ": " + std::strerror(errno));
}

// One buffer for every read: big enough that a record, a map or an account
// file comes in with a single read call.
std::vector<char>& ReadBuffer() {
  static std::vector<char> buffer(size_t{1} << 20);
  return buffer;
}

size_t ReadFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("open", path);
  std::vector<char>& buf = ReadBuffer();
  size_t total = 0;
  for (;;) {
    ssize_t n = read(fd, buf.data(), buf.size());
    if (n < 0) Fail("read", path);
    total += static_cast<size_t>(n);
    // A short read of an ordinary file is its end; no second call needed.
    if (static_cast<size_t>(n) < buf.size()) break;
  }
  close(fd);
  return total;
}

void WriteAll(int fd, const std::string& bytes, const std::string& path) {
  if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    Fail("write", path);
  }
}

void WriteFile(const OutputFile& out) {
  int fd = open(out.path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) Fail("create", out.path);
  WriteAll(fd, out.bytes, out.path);
  if (close(fd) != 0) Fail("close", out.path);
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

// Keeps the folder open across records so that flushing it costs one call.
class Replacer {
 public:
  ~Replacer() {
    if (dirFd_ >= 0) close(dirFd_);
  }
  void Replace(const OutputFile& out) {
    const std::string folder = FolderOf(out.path);
    if (folder != folder_) {
      if (dirFd_ >= 0) close(dirFd_);
      dirFd_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (dirFd_ < 0) Fail("open folder", folder);
      folder_ = folder;
      temp_ = folder + "/.floor.tmp";
    }
    int fd = open(temp_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) Fail("create", temp_);
    WriteAll(fd, out.bytes, temp_);
    if (fsync(fd) != 0) Fail("flush", temp_);
    if (close(fd) != 0) Fail("close", temp_);
    if (rename(temp_.c_str(), out.path.c_str()) != 0) Fail("rename to", out.path);
    if (fsync(dirFd_) != 0) Fail("flush folder", folder_);
  }

 private:
  std::string folder_, temp_;
  int dirFd_ = -1;
};

// A conversion job ends with one flush of the file system it wrote to, so
// its floor does too.
void FlushFileSystemOf(const std::vector<OutputFile>& outputs) {
  if (outputs.empty()) return;
  const std::string folder = FolderOf(outputs.back().path);
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) Fail("open folder", folder);
  if (syncfs(fd) != 0) Fail("flush the file system of", folder);
  close(fd);
}

}  // namespace

void FloorWriteRecords(const std::string& source, const std::vector<OutputFile>& outputs) {
  ReadFile(source);
  for (const OutputFile& out : outputs) WriteFile(out);
  FlushFileSystemOf(outputs);
}

void FloorReplaceRecords(const std::string& source, const std::vector<OutputFile>& outputs) {
  ReadFile(source);
  Replacer replacer;
  for (const OutputFile& out : outputs) replacer.Replace(out);
  FlushFileSystemOf(outputs);
}

void FloorMaps(const std::vector<std::string>& legacy, const std::vector<OutputFile>& outputs) {
  for (size_t i = 0; i < outputs.size(); ++i) {
    ReadFile(legacy[i]);
    WriteFile(outputs[i]);
  }
  FlushFileSystemOf(outputs);
}

void FloorRewriteAccounts(const std::vector<OutputFile>& accounts) {
  Replacer replacer;
  for (const OutputFile& account : accounts) {
    ReadFile(account.path);
    replacer.Replace(account);
  }
}

size_t FloorListFolder(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) Fail("list", folder);
  size_t count = 0;
  while (readdir(dir)) ++count;
  closedir(dir);
  return count;
}

size_t FloorReadFiles(const std::vector<std::string>& paths) {
  size_t total = 0;
  for (const std::string& path : paths) total += ReadFile(path);
  return total;
}

}  // namespace bench
