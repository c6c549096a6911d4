// Starting the game server as a process of its own that outlives Ruvane.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/server_layout.h"
#include "common/status.h"
#include "common/trusted_folder.h"

namespace ruvane {

// The host path of server.exe in the program folder, whatever the case of
// its name on disk.
std::string ServerPath();

// How a file is to be started: the argument vector of the first attempt and,
// when that one finds the file is no program the kernel can run, of a second.
struct LaunchPlan {
  std::vector<std::string> argv;
  std::vector<std::string> fallbackArgv;  // empty: no second attempt
};

// What is known about the file to start, gathered before deciding.
struct FileFacts {
  bool runnable = false;      // an ordinary file the caller may execute
  bool windowsImage = false;  // its first two bytes are "MZ"
};

// Decides how to start `path`. A runnable file is started directly; a Windows
// program that is not runnable by itself goes through `wine` (the host path
// of the wine program, "" when there is none). A runnable Windows program
// the kernel turns away is retried through wine when wine is there.
// Anything else is started directly so that the host reports why it cannot.
LaunchPlan PlanLaunch(const std::string& path, const FileFacts& facts, const std::string& wine);

// The facts about file `name` of `folder`, opened as every file of the
// tools is (no link of another account, nothing but an ordinary file, never
// waiting on a FIFO); *host is where it lies. All false when it cannot be
// opened, and the status says why.
common::Status ExamineFile(const common::Folder& folder, std::string_view name, std::string* host,
                           FileFacts* facts);

// The program folder's server.exe, reached as every file of the tools is:
// by the trusted walk from the folder, whatever the case of its name, a
// link of another account refused, and anything but an ordinary file
// refused once open. `path` is where it lies (a trusted link followed), to
// start it by; `facts` are read from what was opened. NotFound, with
// ServerPath() in `path`, when there is none. The server's account may
// still swap the file between this look and the start; what then runs,
// runs as that account (ChooseServerAccount), never as root for it.
common::Status FindServer(std::string* path, FileFacts* facts);

// The first executable ordinary file called `name` in the folders of `path`
// (a PATH-style list); "" when there is none.
std::string FindOnPath(const std::string& name, const std::string& path);

using common::layout::kServerLogName;

// Opens kServerLogName in the folder open as `folderFd` for appending,
// creating it (mode 0640) when missing. The server's account may have put
// anything there, so only a regular file with one name is taken: a symbolic
// link is not followed, a FIFO or device is refused without waiting for
// it, and a file with other names (hard links) is refused. Returns the
// descriptor (close-on-exec) in *fd; a failure names the file and why, with
// no error number (the start's error box then shows the text).
common::Status OpenServerLog(int folderFd, int* fd);

// The account a start runs the server as. A server faces the internet, and
// its account may rewrite server.exe at will: started by root, it must not
// become root. So when root starts it, it runs as the owner of the server
// folder; when root owns the folder, as the owner of server.exe (or of the
// link by that name, or of what the link names); as root only when root
// owns all of these. Anyone else starts it as himself.
struct ServerAccount {
  bool change = false;  // false: the server runs as we do
  uid_t uid = 0;
  gid_t gid = 0;              // the account's own group, or the file's
  std::vector<gid_t> groups;  // its supplementary groups
  std::string name;           // its user name; the uid in digits when it has none
  std::string home;           // its home folder; "" when it has no entry
  std::string why;            // whose file made it the account, in words
};

// Chooses the account for the server.exe at `serverPath` in `folder`, as
// ServerAccount tells. Fails, naming it, when the folder cannot be examined.
common::Status ChooseServerAccount(const std::string& folder, const std::string& serverPath,
                                   ServerAccount* out);

// Starts `plan` without waiting: the program gets no arguments beyond the
// plan's, `folder` as its working folder, our environment, standard input
// from /dev/null, standard output and error appended to kServerLogName in
// `folder`, a session of its own, no other file descriptor of ours, and is
// not our child (it is never a zombie of ours), so no pipe or terminal of
// the caller is held by the server. Returns once the program has been
// exec'd or has failed to be: OK when it runs, with its process id in
// *started when given; otherwise the failure with the host's error number
// as sysError() (NotFound for ENOENT and ENOTDIR, IOError for the rest), or,
// when the folder or the log cannot be opened, a failure naming it.
// With an `account` to change to, the server gets its user and groups, and
// HOME, USER and LOGNAME of it in our environment, before it is exec'd; a
// change the system refuses fails the start.
common::Status StartDetached(const LaunchPlan& plan, const std::string& folder,
                             pid_t* started = nullptr, const ServerAccount* account = nullptr);

// How the window starts the server; tests substitute their own.
class ServerStarter {
 public:
  virtual ~ServerStarter() = default;
  virtual common::Status StartServer() = 0;
  // The process id of the server the last successful start started; 0 when
  // unknown.
  virtual pid_t started() const { return 0; }
  // Whom the last start runs the server as, in words, when that is not the
  // user who started it ("game (uid 1234), the owner of the server
  // folder"); "" otherwise.
  virtual std::string runsAs() const { return std::string(); }
};

// Starts ServerPath() as planned from the file's facts and the PATH, in the
// program folder, as the account ChooseServerAccount gives.
class ProcessServerStarter : public ServerStarter {
 public:
  common::Status StartServer() override;
  pid_t started() const override { return started_; }
  std::string runsAs() const override;

 private:
  pid_t started_ = 0;
  ServerAccount account_;
};

}  // namespace ruvane
