#include "common/program_folder.h"

#include <unistd.h>

#include <climits>
#include <string>

namespace common {

namespace {

std::string& Override() {
  static std::string folder;
  return folder;
}

std::string ExecutableFolder() {
  static const std::string folder = [] {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::string(".");
    std::string exe(buf, static_cast<size_t>(n));
    size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return std::string(".");
    return slash == 0 ? std::string("/") : exe.substr(0, slash);
  }();
  return folder;
}

}  // namespace

std::string ProgramFolder() {
  const std::string& o = Override();
  return o.empty() ? ExecutableFolder() : o;
}

void SetProgramFolder(const std::string& folder) {
  std::string f = folder;
  while (f.size() > 1 && f.back() == '/') f.pop_back();
  Override() = f;
}

}  // namespace common
