// The checks and reports around the restart that show message boxes.
#pragma once

#include "common/message_port.h"
#include "restarter/server_launcher.h"

namespace ruvane {

inline constexpr const char* kServerMissingPrompt =
    "Please put this in the same folder as server.exe";
inline constexpr const char* kServerMissingTitle = "Server not found!";
inline constexpr const char* kProgramTitle = "Ruvane";

// True when server.exe lies in the program folder as an ordinary file.
// Otherwise shows the stop box that asks for it and returns false once the
// user has closed it.
bool CheckServerPresent(common::MessagePort& messages);

// The text that reports a failed start: the host's error number and its
// description.
std::string StartErrorText(const StartResult& result);

// Shows StartErrorText in a stop box titled with the program's name.
void ReportStartError(common::MessagePort& messages, const StartResult& result);

}  // namespace ruvane
