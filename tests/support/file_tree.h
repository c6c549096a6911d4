// A whole folder as data, to compare what two runs wrote byte for byte.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace tests {

// Every ordinary file under `root`, by its path relative to `root`, with
// its bytes.
inline std::map<std::string, std::string> FileTree(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    files[fs::relative(e.path(), root).string()] = bytes.str();
  }
  return files;
}

}  // namespace tests
