// Running processes for tests of "is the server running": the stand-in
// program copied under a name and started with chosen arguments, working
// folder and environment. Each is killed and reaped when its object goes.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

namespace tests {

// Copies the stand-in program to `path` (any name: "server.exe", "wine"),
// runnable.
inline void CopyStandIn(const std::string& path) {
  std::filesystem::copy_file(SERVER_STAND_IN, path,
                             std::filesystem::copy_options::overwrite_existing);
  chmod(path.c_str(), 0755);
}

class StandInProcess {
 public:
  // Runs `program` (a path, or a name relative to `cwd`) with `argv`
  // (argv[0] included) in `cwd`, with `env` added to our environment.
  // Returns once the program has been exec'd, so that /proc shows it.
  StandInProcess(const std::string& program, const std::vector<std::string>& argv,
                 const std::string& cwd, const std::vector<std::string>& env = {}) {
    // Everything is prepared before fork: the child only changes folder and
    // execs.
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e) envp.push_back(*e);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      if (chdir(cwd.c_str()) == 0) execve(program.c_str(), args.data(), envp.data());
      const char failed = 1;
      ssize_t ignored = write(ready[1], &failed, 1);
      static_cast<void>(ignored);
      _exit(127);
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
