// One field of a converted record as read back, named as its layout names
// it, for showing it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace common {

struct FieldValue {
  std::string name;
  bool isText = false;
  std::string text;    // a text's bytes (a fixed text without its padding)
  int64_t number = 0;  // a number's value
  bool isList = false;
  std::vector<int64_t> list;  // a list of numbers (a map's slots)
};

}  // namespace common
