// Tool paths inside the test's server folder, built the way the tools build
// theirs: the program folder, "\", then the name.
#pragma once

#include <string>

#include "common/program_folder.h"

inline std::string Tool(const std::string& name) { return common::ProgramFolder() + "\\" + name; }
