// The checks and reports around the restart that show message boxes.
#pragma once

#include <string>

#include "common/message_port.h"
#include "common/status.h"

namespace ruvane {

inline constexpr const char* kServerMissingPrompt =
    "Please put this in the same folder as server.exe";
inline constexpr const char* kServerMissingTitle = "Server not found!";
inline constexpr const char* kProgramTitle = "Ruvane";
// When another Ruvane is restarting the same server folder.
inline constexpr const char* kRestartUnderWay =
    "Another restart of this server is already under way.";
// When this folder's server.exe still runs at the moment of the start.
inline constexpr const char* kServerStillRunning = "The server is still running; not started.";

// True when server.exe lies in the program folder as an ordinary file.
// Otherwise shows the stop box that asks for it and returns false once the
// user has closed it.
bool CheckServerPresent(common::MessagePort& messages);

// The text that reports a failed start (a Status from StartServer):
// "Run-time error '<errno>':\n\n<the host's text for it>"; the status's
// message stands in for that text when it has no error number.
std::string StartErrorText(const common::Status& result);

// Shows StartErrorText in a stop box titled with the program's name.
void ReportStartError(common::MessagePort& messages, const common::Status& result);

}  // namespace ruvane
