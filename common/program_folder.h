// The folder every path of the tools is built on.
#pragma once

#include <string>

namespace common {

// The folder that holds the running executable, with no trailing separator
// (except "/" itself). Tests point it at a scratch server folder with
// SetProgramFolder; an empty argument restores the executable's folder.
// Set once at start (or by a test) before any other thread could read it.
std::string ProgramFolder();
void SetProgramFolder(const std::string& folder);

}  // namespace common
