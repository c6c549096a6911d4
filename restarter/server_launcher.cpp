#include "restarter/server_launcher.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/host_path.h"
#include "common/program_folder.h"
#include "common/server_layout.h"
#include "common/text_util.h"
#include "common/trusted_folder.h"
#include "common/unique_fd.h"

extern char** environ;

namespace ruvane {

namespace {

// A failed start of `plan`, named by the program it was to run.
common::Status Failure(const LaunchPlan& plan, int error) {
  const std::string program = plan.argv.empty() ? std::string() : plan.argv[0];
  return common::PosixError("cannot start " + program, error);
}

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Pointers into `args` for exec; null-terminated. `args` must outlive it.
std::vector<char*> ExecArgs(const std::vector<std::string>& args) {
  std::vector<char*> out;
  out.reserve(args.size() + 1);
  for (const std::string& a : args) out.push_back(const_cast<char*>(a.c_str()));
  out.push_back(nullptr);
  return out;
}

// A descriptor moved above the standard three, close-on-exec, so that
// setting up the server's 0, 1 and 2 never overwrites another of them.
int AboveStdio(int fd) {
  if (fd < 0 || fd > 2) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  const int error = errno;
  close(fd);
  errno = error;
  return moved;
}

// What the processes of a start report back on the pipe: the server's
// process id (from the intermediate) and, when it could not start, why.
// Each report is one write of less than PIPE_BUF bytes, so the two writers
// never interleave within one.
struct Report {
  enum Kind : int { kPid = 1, kError = 2 } kind;
  int value;
};

// Only async-signal-safe calls from here on: these run between fork and exec.

void SendReport(int fd, Report::Kind kind, int value) {
  const Report report{kind, value};
  while (write(fd, &report, sizeof report) < 0 && errno == EINTR) {
  }
}

[[noreturn]] void ReportAndExit(int fd, int error) {
  SendReport(fd, Report::kError, error);
  _exit(127);
}

// Every descriptor above 2 closes at exec, so nothing of ours reaches the
// server; the error pipe stays usable until then.
void CloseOnExecAboveStdio(long maxFd) {
  if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
  for (long fd = 3; fd < maxFd; ++fd) fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
}

// The descriptors the server starts with; all above 2 and close-on-exec.
struct ServerFds {
  int folder;  // its working folder
  int input;   // /dev/null
  int output;  // the log, for standard output and error
};

[[noreturn]] void ExecServer(int errorFd, long maxFd, const ServerFds& fds, char* const* argv,
                             char* const* fallback, char* const* envp,
                             const ServerAccount* account) {
  // Give the server a clean signal state: nothing blocked, nothing ignored.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction dfl;
  std::memset(&dfl, 0, sizeof dfl);
  dfl.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) {
    if (sig != SIGKILL && sig != SIGSTOP) sigaction(sig, &dfl, nullptr);
  }
  if (fchdir(fds.folder) != 0) ReportAndExit(errorFd, errno);
  // dup2 clears close-on-exec on the copies only.
  if (dup2(fds.input, STDIN_FILENO) < 0 || dup2(fds.output, STDOUT_FILENO) < 0 ||
      dup2(fds.output, STDERR_FILENO) < 0) {
    ReportAndExit(errorFd, errno);
  }
  // Groups first: once the user is changed, they can no longer be.
  if (account && (setgroups(account->groups.size(), account->groups.data()) != 0 ||
                  setgid(account->gid) != 0 || setuid(account->uid) != 0)) {
    ReportAndExit(errorFd, errno);
  }
  CloseOnExecAboveStdio(maxFd);
  execve(argv[0], argv, envp);
  int error = errno;
  if (error == ENOEXEC && fallback[0] != nullptr) {
    execve(fallback[0], fallback, envp);
    error = errno;  // why the second attempt failed is what the operator needs
  }
  ReportAndExit(errorFd, error);
}

// Our environment, with HOME, USER and LOGNAME those of `account` when the
// server changes to it (HOME left out when it has no home on record).
std::vector<std::string> ServerEnvironment(const ServerAccount* account) {
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) env.emplace_back(*e);
  if (!account) return env;
  auto set = [&env](const std::string& key, const std::string* value) {
    const std::string prefix = key + "=";
    std::erase_if(env, [&](const std::string& v) { return v.starts_with(prefix); });
    if (value) env.push_back(prefix + *value);
  };
  set("HOME", account->home.empty() ? nullptr : &account->home);
  set("USER", &account->name);
  set("LOGNAME", &account->name);
  return env;
}

}  // namespace

common::Status ChooseServerAccount(const std::string& folder, const std::string& serverPath,
                                   ServerAccount* out) {
  *out = ServerAccount();
  if (geteuid() != 0) return common::Status::OK();
  struct stat st;
  if (stat(folder.c_str(), &st) != 0) return common::PosixError("server folder " + folder, errno);
  uid_t uid = st.st_uid;
  gid_t gid = st.st_gid;
  std::string why = "the owner of the server folder";
  // A server folder of root's may still hold a server.exe someone else can
  // change: whoever owns it, or the link by that name, could be root.
  struct stat file;
  if (uid == 0 && lstat(serverPath.c_str(), &file) == 0 && file.st_uid != 0) {
    uid = file.st_uid;
    gid = file.st_gid;
    why = S_ISLNK(file.st_mode) ? "the owner of the link server.exe" : "the owner of server.exe";
  }
  if (uid == 0 && stat(serverPath.c_str(), &file) == 0 && file.st_uid != 0) {
    uid = file.st_uid;
    gid = file.st_gid;
    why = "the owner of the file server.exe names";
  }
  if (uid == 0) return common::Status::OK();
  out->change = true;
  out->uid = uid;
  out->why = why;
  if (const struct passwd* pw = getpwuid(uid)) {
    out->name = pw->pw_name;
    out->home = pw->pw_dir;
    out->gid = pw->pw_gid;
    int count = 16;
    out->groups.resize(static_cast<size_t>(count));
    if (getgrouplist(pw->pw_name, pw->pw_gid, out->groups.data(), &count) < 0) {
      // Too few places: count now says how many it needs.
      out->groups.resize(static_cast<size_t>(count));
      getgrouplist(pw->pw_name, pw->pw_gid, out->groups.data(), &count);
    }
    out->groups.resize(static_cast<size_t>(count));
  } else {
    // An account with no entry: no groups but the file's own.
    out->name = common::Dec(static_cast<long long>(uid));
    out->gid = gid;
    out->groups = {gid};
  }
  return common::Status::OK();
}

std::string ServerPath() {
  return common::ResolvePath(common::layout::ServerPath(common::layout::kServerExe));
}

LaunchPlan PlanLaunch(const std::string& path, const FileFacts& facts, const std::string& wine) {
  LaunchPlan plan;
  if (facts.windowsImage && !wine.empty()) {
    if (facts.runnable) {
      plan.argv = {path};
      plan.fallbackArgv = {wine, path};
    } else {
      plan.argv = {wine, path};
    }
    return plan;
  }
  plan.argv = {path};
  return plan;
}

namespace {

// The facts of the ordinary file open as `fd`.
FileFacts FactsOf(int fd, bool runnable) {
  FileFacts facts;
  facts.runnable = runnable;
  char head[2] = {0, 0};
  const ssize_t n = pread(fd, head, sizeof head, 0);
  facts.windowsImage = n == 2 && head[0] == 'M' && head[1] == 'Z';
  return facts;
}

}  // namespace

common::Status ExamineFile(const common::Folder& folder, std::string_view name, std::string* host,
                           FileFacts* facts) {
  *facts = FileFacts();
  common::UniqueFd fd;
  struct stat st;
  common::Target where;
  if (common::Status s = common::OpenFile(folder, name, O_RDONLY, 0, &fd, &st, nullptr, &where);
      !s.ok()) {
    return s;
  }
  *host = where.host();
  const bool runnable = faccessat(where.folder().fd(), where.name().c_str(), X_OK, AT_EACCESS) == 0;
  *facts = FactsOf(fd.get(), runnable);
  return common::Status::OK();
}

common::Status FindServer(std::string* path, FileFacts* facts) {
  *path = ServerPath();
  *facts = FileFacts();
  common::Folder folder;
  std::string name;
  if (common::Status s = common::LocateEntry(common::layout::ServerPath(common::layout::kServerExe),
                                             &folder, &name);
      !s.ok()) {
    return s;
  }
  return ExamineFile(folder, name, path, facts);
}

std::string FindOnPath(const std::string& name, const std::string& path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string folder = path.substr(start, end - start);
    // An empty entry stands for the working folder.
    std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return "";
}

common::Status OpenServerLog(int folderFd, int* fd) {
  const std::string name = std::string(kServerLogName) + " in the server folder";
  // O_NONBLOCK: a FIFO put in its place fails at once (no reader) instead of
  // waiting for one; for a regular file the flag changes nothing.
  int log =
      openat(folderFd, kServerLogName,
             O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0640);
  if (log < 0) {
    const int error = errno;
    if (error == ELOOP) {
      return common::Status::IOError(name + " is a symbolic link, which is not followed");
    }
    if (error == ENXIO || error == EISDIR) {
      return common::Status::IOError(name + " is not a regular file");
    }
    return common::Status::IOError("cannot open " + name + ": " + common::ErrnoText(error));
  }
  struct stat st;
  common::Status refused;
  if (fstat(log, &st) != 0) {
    refused = common::Status::IOError("cannot open " + name + ": " + common::ErrnoText(errno));
  } else if (!S_ISREG(st.st_mode)) {
    refused = common::Status::IOError(name + " is not a regular file");
  } else if (st.st_nlink > 1) {
    refused =
        common::Status::IOError(name + " has other names (hard links), which are not written");
  }
  if (!refused.ok()) {
    close(log);
    return refused;
  }
  fcntl(log, F_SETFL, O_APPEND);  // the server gets an ordinary, blocking file
  *fd = log;
  return common::Status::OK();
}

common::Status StartDetached(const LaunchPlan& plan, const std::string& folder, pid_t* started,
                             const ServerAccount* account) {
  if (account && !account->change) account = nullptr;
  if (started) *started = 0;
  if (plan.argv.empty() || plan.argv[0].empty()) return Failure(plan, ENOENT);
  ServerFds fds{-1, -1, -1};
  auto closeFds = [&fds] {
    for (int fd : {fds.folder, fds.input, fds.output}) {
      if (fd >= 0) close(fd);
    }
  };
  // The server folder itself, which the operator named (a link included);
  // O_DIRECTORY takes nothing but a folder. Every file in it is opened from
  // this descriptor.
  fds.folder = AboveStdio(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fds.folder < 0) {
    return common::Status::IOError("cannot open the server folder " + folder + ": " +
                                   common::ErrnoText(errno));
  }
  fds.input = AboveStdio(open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (fds.input < 0) {
    const int error = errno;
    closeFds();
    return common::PosixError("cannot open /dev/null", error);
  }
  if (common::Status s = OpenServerLog(fds.folder, &fds.output); !s.ok()) {
    closeFds();
    return s;
  }
  fds.output = AboveStdio(fds.output);
  if (fds.output < 0) {
    const int error = errno;
    closeFds();
    return common::PosixError("cannot open " + std::string(kServerLogName), error);
  }
  // Everything the child needs is prepared here: after fork it may not
  // allocate.
  std::vector<char*> argv = ExecArgs(plan.argv);
  std::vector<char*> fallback = ExecArgs(plan.fallbackArgv);
  const std::vector<std::string> environment = ServerEnvironment(account);
  std::vector<char*> envp = ExecArgs(environment);
  struct rlimit lim;
  long maxFd = 1024;
  if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY) {
    maxFd = static_cast<long>(lim.rlim_cur);
  }

  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    const int error = errno;
    closeFds();
    return Failure(plan, error);
  }
  pid_t child = fork();
  if (child < 0) {
    int error = errno;
    close(pipeFds[0]);
    close(pipeFds[1]);
    closeFds();
    return Failure(plan, error);
  }
  if (child == 0) {
    // The intermediate: a new session, then a grandchild that init adopts
    // as soon as we leave, so the server is never a child of Ruvane.
    close(pipeFds[0]);
    if (setsid() < 0) ReportAndExit(pipeFds[1], errno);
    pid_t grandchild = fork();
    if (grandchild < 0) ReportAndExit(pipeFds[1], errno);
    if (grandchild > 0) {
      SendReport(pipeFds[1], Report::kPid, grandchild);
      _exit(0);
    }
    ExecServer(pipeFds[1], maxFd, fds, argv.data(), fallback.data(), envp.data(), account);
  }

  close(pipeFds[1]);
  closeFds();
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes once the intermediate has ended and the server has
  // exec'd (or failed to); it carries the server's id and any error.
  std::string reports;
  char buf[64];
  for (;;) {
    ssize_t n = read(pipeFds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    reports.append(buf, static_cast<size_t>(n));
  }
  close(pipeFds[0]);
  pid_t server = 0;
  int error = 0;
  for (size_t at = 0; at + sizeof(Report) <= reports.size(); at += sizeof(Report)) {
    Report report;
    std::memcpy(&report, reports.data() + at, sizeof report);
    if (report.kind == Report::kPid) server = report.value;
    if (report.kind == Report::kError) error = report.value;
  }
  if (error != 0) return Failure(plan, error);
  if (started) *started = server;
  return common::Status::OK();
}

std::string ProcessServerStarter::runsAs() const {
  if (!account_.change) return std::string();
  return account_.name + " (uid " + common::Dec(static_cast<long long>(account_.uid)) + "), " +
         account_.why;
}

common::Status ProcessServerStarter::StartServer() {
  std::string path;
  FileFacts facts;
  // A missing file is left to the start, which reports it as the host does.
  if (common::Status s = FindServer(&path, &facts); !s.ok() && !s.IsNotFound()) return s;
  const char* searchPath = std::getenv("PATH");
  std::string wine = searchPath ? FindOnPath("wine", searchPath) : "";
  if (common::Status s = ChooseServerAccount(common::ProgramFolder(), path, &account_); !s.ok()) {
    return s;
  }
  return StartDetached(PlanLaunch(path, facts, wine), common::ProgramFolder(), &started_,
                       &account_);
}

}  // namespace ruvane
