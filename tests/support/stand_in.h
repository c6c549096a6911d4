// Processes for tests of "is the server running": the stand-in program
// (it only waits) copied under a name and run with chosen arguments, working
// folder and environment; killed and reaped when its object goes.
//
// Run as root, a stand-in runs as the unprivileged account of run_as.h:
// that account sees its working folder, so tests that run a job as that
// account meanwhile do not take it for a server it cannot place.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

namespace tests {

// Copies the stand-in to `path` ("server.exe", "wine", ...), runnable; its
// folder is opened to every account, so that it can run there.
inline void CopyStandIn(const std::string& path) {
  const std::filesystem::path to(path);
  std::filesystem::copy_file(SERVER_STAND_IN, to,
                             std::filesystem::copy_options::overwrite_existing);
  chmod(path.c_str(), 0755);
  chmod(to.parent_path().c_str(), 0755);
}

class StandInProcess {
 public:
  // Runs `program` (a path, or relative to `cwd`) with `argv` (argv[0]
  // included) in `cwd`, `env` added to ours; returns once it has exec'd.
  StandInProcess(const std::string& program, const std::vector<std::string>& argv,
                 const std::string& cwd, const std::vector<std::string>& env = {}) {
    // Prepared before fork: the child only changes folder and execs.
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (char** e = environ; *e; ++e) envp.push_back(*e);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    args.push_back(nullptr);
    envp.push_back(nullptr);
    int ready[2];  // closes without a byte once the exec succeeded
    if (pipe2(ready, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      const bool dropped = geteuid() != 0 ||
                           (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0);
      if (dropped && chdir(cwd.c_str()) == 0) execve(program.c_str(), args.data(), envp.data());
      _exit(write(ready[1], "x", 1) == 1 ? 127 : 126);
    }
    close(ready[1]);
    char byte;
    ssize_t n;
    while ((n = read(ready[0], &byte, 1)) < 0 && errno == EINTR) {
    }
    close(ready[0]);
    started_ = pid_ > 0 && n == 0;
  }
  ~StandInProcess() { Stop(); }
  StandInProcess(const StandInProcess&) = delete;
  StandInProcess& operator=(const StandInProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool started() const { return started_; }
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  bool started_ = false;
};

}  // namespace tests
