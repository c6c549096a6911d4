// Whether the game server of a folder is running. The tools must not write
// the server's files under a running server (each loses the other's
// changes), and Ruvane must not start a second server on the same data.
//
// A process is the folder's server when its executable, or one argument of
// its command line, is the folder's server.exe:
//  - the executable finds a server.exe started directly;
//  - an argument finds one run by a loader or an emulator (`wine
//    server.exe`, `ld.so ./server.exe`) or a script run by its interpreter.
//    A Windows-style name ("Z:\srv\game\server.exe", as wine shows its
//    programs) is read as the host path it stands for: Z: is "/", another
//    drive is looked up in the process's wine prefix (WINEPREFIX, else
//    ~/.wine, from its environment), "\\?\unix\..." is a host path.
// A relative name is taken from the process's own working folder. The base
// name compares without regard to case; the folder compares by device and
// inode where it can be looked at (so a link to the folder, or "..", finds
// it too, and a server.exe replaced since it started still counts), else by
// its name, case ignored. A process that merely stands in the folder (a
// shell, an editor: its working folder is the folder, but nothing names
// server.exe) is not the server. Our own process never counts.
//
// Another account's processes, for an operator who is not root: the system
// shows their command line but not their executable, working folder or
// environment. A process with an argument whose base name is server.exe
// (case ignored) whose place cannot be settled -- a relative name and an
// unreadable working folder, a drive other than Z: and an unreadable
// environment -- counts as *possibly* this folder's server, and is named as
// such: writing beside a running server loses data, while a wrong
// "possibly" costs the operator one question or a --force. A process the
// system hides from us altogether (/proc mounted with hidepid) cannot be
// found.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "common/message_port.h"
#include "common/status.h"

namespace common {

struct ServerProcess {
  pid_t pid = 0;
  bool certain = true;  // false: possibly the server (its place could not be settled)
};

// The running processes that are `folder`'s server.exe (`folder` a host
// path), in the order of their process ids.
std::vector<ServerProcess> FindServerProcesses(const std::string& folder);

// The same for the program folder (the server folder the tools work on).
std::vector<ServerProcess> FindRunningServer();

// "process 1234", "processes 1234, 1240", with the possible ones named as
// such: "process 1234; possibly process 88 (a server.exe whose folder
// cannot be read)". `running` must not be empty.
std::string DescribeServerProcesses(const std::vector<ServerProcess>& running);

// What a tool does before it writes while the server runs.
enum class ServerCheck {
  kAsk,     // the window: a Yes/No box, No by default
  kRefuse,  // a command without --force: refuse
  kForce,   // a command with --force: say so and write anyway
};

inline constexpr char kServerRunningTitle[] = "Server running";

// Checks, before a job writes in the program folder, whether the folder's
// server is running. OK when it is not, when `mode` is kForce (a box, no
// question, says it is writing anyway), or when the answer to the question
// is Yes. Otherwise an Aborted status whose message names the process ids
// (for kRefuse it also names --force); nothing is shown for it, the caller
// reports it as its job's failure.
Status CheckServerBeforeWrite(MessagePort& messages, ServerCheck mode);
// The same for the server folder `folder` (a host path), for a job that is
// given its folder.
Status CheckServerBeforeWrite(const std::string& folder, MessagePort& messages, ServerCheck mode);

}  // namespace common
