// Runs one of the programs as a real process, the way a script on a server
// with no screen would: DISPLAY unset, no platform chosen, standard input
// from a pipe (or a pseudo-terminal). Returns what it printed and its exit
// status.
#pragma once

#include <functional>
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
// `whileRunning`, when given, is called with the program's process id once
// it started, on a thread of its own while its output is read (to signal it
// in the middle of a job).
CommandResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const CommandInput& input = {},
                         const std::function<void(int pid)>& whileRunning = {});

}  // namespace tests
