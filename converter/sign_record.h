// The converted sign record, Signs\Sign<N>.dat: four length-prefixed texts
// and a reserved byte, 9 bytes plus the texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vostrel {

struct SignRec {
  std::string Header;
  std::string Line1;
  std::string Line2;
  std::string Line3;
  uint8_t Reserved = 0;
};

std::vector<uint8_t> SignRecBytes(const SignRec& rec);

}  // namespace vostrel
