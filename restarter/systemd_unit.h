// The server of this folder as a systemd service: `Ruvane --systemd-unit`
// prints a unit that runs server.exe the way Ruvane starts it, restarts it
// after a crash within a limit, logs to the journal and stops it gently.
#pragma once

#include <string>
#include <vector>

#include "common/status.h"
#include "restarter/server_launcher.h"

namespace ruvane {

struct UnitSettings {
  std::string serverDir;          // absolute host path: the working folder
  std::vector<std::string> exec;  // the command line the service runs
  std::string user;               // the account it runs as
};

// Seconds the unit gives: between a crash and the next start, how many
// starts within how long before it gives up, and how long a stop waits for
// the server to save and end before it is killed.
inline constexpr int kUnitRestartDelay = 10;
inline constexpr int kUnitStartLimit = 5;
inline constexpr int kUnitStartInterval = 600;
inline constexpr int kUnitStopTimeout = 120;

// The command line for the unit from the launcher's plan. The init system
// cannot retry a start, so where the launcher would fall back on wine the
// unit runs wine at once (the kernel hands a Windows program to wine
// anyway, when it runs one at all).
std::vector<std::string> UnitCommand(const LaunchPlan& plan);

// The unit's text. Fails, writing nothing, on a folder, program or user
// name the unit file cannot hold (control characters, a relative folder).
common::Status WriteUnit(const UnitSettings& settings, std::string* unit);

// Settings for the program folder's server.exe run as `user` (empty: the
// owner of the server folder, unless that is root). Fails when server.exe
// is missing, cannot be run (not executable, and no Windows program), is a
// Windows program with no wine on `searchPath`, or when the user is unknown
// (InvalidArgument) or must be named (InvalidArgument).
common::Status ServerUnitSettings(const std::string& user, const std::string& searchPath,
                                  UnitSettings* settings);

}  // namespace ruvane
