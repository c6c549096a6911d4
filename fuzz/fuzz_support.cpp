#include "fuzz/fuzz_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void RemoveTree(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    EmptyFolder(path);
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

void RemoveScratch() { RemoveTree(ScratchRoot()); }

}  // namespace

const std::string& ScratchRoot() {
  static const std::string root = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tools-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) {
      std::perror("mkdtemp");
      std::abort();
    }
    std::atexit(RemoveScratch);
    return pattern;
  }();
  return root;
}

void EmptyFolder(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> entries;
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name != "." && name != "..") entries.push_back(folder + "/" + name);
  }
  closedir(dir);
  for (const std::string& e : entries) {
    chmod(e.c_str(), 0700);  // a read-only file or folder must not survive
    RemoveTree(e);
  }
}

void WriteBytes(const std::string& path, std::string_view bytes) {
  unlink(path.c_str());
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::perror(path.c_str());
    std::abort();
  }
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) {
      std::perror(path.c_str());
      std::abort();
    }
    done += static_cast<size_t>(n);
  }
  // Dated a while back, as a file the server saved earlier: a rewrite waits
  // out a file changed within its quiet period (a save may be half done),
  // which would make every input cost that wait.
  timespec past[2];
  clock_gettime(CLOCK_REALTIME, &past[0]);
  past[0].tv_sec -= 10;
  past[1] = past[0];
  futimens(fd, past);
  close(fd);
}

bool ReadBytes(const std::string& path, std::string* bytes) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bytes->clear();
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0) {
      close(fd);
      return false;
    }
    if (n == 0) break;
    bytes->append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

std::string Escaped(std::string_view s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
    if (out.size() > 400) {
      out += "...";
      break;
    }
  }
  return out;
}

void FuzzFailure(const char* file, int line, const std::string& what) {
  std::fprintf(stderr, "\n*** invariant broken at %s:%d\n%s\n", file, line, what.c_str());
  std::fflush(stderr);
  std::abort();
}
