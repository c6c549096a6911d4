// Runs one of the programs as a real process, the way a script on a server
// with no screen would: DISPLAY unset, no platform chosen, standard input
// from a pipe (or a pseudo-terminal). Returns what it printed and its exit
// status.
#pragma once

#include <string>
#include <vector>

namespace tests {

struct CommandResult {
  int exitStatus = -1;  // -1: did not exit normally (killed, timed out)
  std::string out, err;
};

struct CommandInput {
  std::string stdinText;     // fed to the program, then closed
  bool terminal = false;     // stdin (only) is a pseudo-terminal fed stdinText
  int timeoutSeconds = 120;  // the process is killed after this
};

// `program` is "Vostrel", "Calmet" or "Ruvane" from the build's bin folder.
CommandResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const CommandInput& input = {});

}  // namespace tests
