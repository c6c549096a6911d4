#include "restarter/server_launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/host_path.h"
#include "common/server_layout.h"

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

// Only async-signal-safe calls from here on: these run between fork and exec.

[[noreturn]] void ReportAndExit(int fd, int error) {
  const char* p = reinterpret_cast<const char*>(&error);
  size_t left = sizeof error;
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    p += n;
    left -= static_cast<size_t>(n);
  }
  _exit(127);
}

// Every descriptor above 2 closes at exec, so nothing of ours reaches the
// server; the error pipe stays usable until then.
void CloseOnExecAboveStdio(long maxFd) {
  if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
  for (long fd = 3; fd < maxFd; ++fd) fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
}

[[noreturn]] void ExecServer(int errorFd, long maxFd, char* const* argv, char* const* fallback) {
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
  CloseOnExecAboveStdio(maxFd);
  execv(argv[0], argv);
  int error = errno;
  if (error == ENOEXEC && fallback[0] != nullptr) {
    execv(fallback[0], fallback);
    error = errno;  // why the second attempt failed is what the operator needs
  }
  ReportAndExit(errorFd, error);
}

}  // namespace

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

FileFacts ExamineFile(const std::string& path) {
  FileFacts facts;
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return facts;
  facts.runnable = access(path.c_str(), X_OK) == 0;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd >= 0) {
    char head[2] = {0, 0};
    ssize_t n = read(fd, head, sizeof head);
    facts.windowsImage = n == 2 && head[0] == 'M' && head[1] == 'Z';
    close(fd);
  }
  return facts;
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

common::Status StartDetached(const LaunchPlan& plan) {
  if (plan.argv.empty() || plan.argv[0].empty()) return Failure(plan, ENOENT);
  // Everything the child needs is prepared here: after fork it may not
  // allocate.
  std::vector<char*> argv = ExecArgs(plan.argv);
  std::vector<char*> fallback = ExecArgs(plan.fallbackArgv);
  struct rlimit lim;
  long maxFd = 1024;
  if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY) {
    maxFd = static_cast<long>(lim.rlim_cur);
  }

  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return Failure(plan, errno);
  pid_t child = fork();
  if (child < 0) {
    int error = errno;
    close(pipeFds[0]);
    close(pipeFds[1]);
    return Failure(plan, error);
  }
  if (child == 0) {
    // The intermediate: a new session, then a grandchild that init adopts
    // as soon as we leave, so the server is never a child of Ruvane.
    close(pipeFds[0]);
    if (setsid() < 0) ReportAndExit(pipeFds[1], errno);
    pid_t grandchild = fork();
    if (grandchild < 0) ReportAndExit(pipeFds[1], errno);
    if (grandchild > 0) _exit(0);
    ExecServer(pipeFds[1], maxFd, argv.data(), fallback.data());
  }

  close(pipeFds[1]);
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes without data once exec succeeded; otherwise it carries
  // the error number.
  int error = 0;
  size_t got = 0;
  char* p = reinterpret_cast<char*>(&error);
  while (got < sizeof error) {
    ssize_t n = read(pipeFds[0], p + got, sizeof error - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(pipeFds[0]);
  if (got == sizeof error) return Failure(plan, error);
  return common::Status::OK();
}

common::Status ProcessServerStarter::StartServer() {
  std::string path = ServerPath();
  const char* searchPath = std::getenv("PATH");
  std::string wine = searchPath ? FindOnPath("wine", searchPath) : "";
  return StartDetached(PlanLaunch(path, ExamineFile(path), wine));
}

}  // namespace ruvane
