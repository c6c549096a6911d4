// Builders for account and item files in the profile layout, as the game
// server writes them (CR LF line ends).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace calmet_test {

using Keys = std::vector<std::pair<std::string, std::string>>;

// "[section]\r\nkey=value\r\n..." for one section.
inline std::string Section(const std::string& name, const Keys& keys) {
  std::string s = "[" + name + "]\r\n";
  for (const auto& [k, v] : keys) s += k + "=" + v + "\r\n";
  return s;
}

// An item file in the profile layout for item `n`.
inline std::string ItemFile(const std::string& n, const std::string& name,
                            const std::string& type) {
  return Section("ITEM" + n, {{"Name", name}, {"Type", type}});
}

}  // namespace calmet_test
