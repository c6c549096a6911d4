#include "common/server_layout.h"

#include "common/program_folder.h"
#include "common/text_util.h"

namespace common::layout {

std::string ServerPath(std::string_view name) { return ProgramFolder() + std::string(name); }

std::string RecordFile(std::string_view prefix, int32_t n) {
  return ServerPath(prefix) + Dec(n) + ".dat";
}

std::string AccountFile(std::string_view fileName) {
  return ServerPath(kAccountsFolder) + std::string(fileName);
}

}  // namespace common::layout
