#include "tests/support/run_command.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace tests {

namespace {

void Drain(int fd, std::string* into, bool* open) {
  char buf[4096];
  const ssize_t n = read(fd, buf, sizeof buf);
  if (n > 0) {
    into->append(buf, static_cast<size_t>(n));
  } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
    *open = false;
  }
}

}  // namespace

CommandResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const CommandInput& input,
                         const std::function<void(int pid)>& whileRunning) {
  CommandResult result;
  const std::string path = std::string(TOOLS_BIN_DIR) + "/" + program;
  int out[2], err[2], in[2] = {-1, -1};
  int ptyMaster = -1, ptySlave = -1;
  if (pipe(out) != 0 || pipe(err) != 0) return result;
  if (input.terminal) {
    if (openpty(&ptyMaster, &ptySlave, nullptr, nullptr, nullptr) != 0) return result;
  } else if (pipe(in) != 0) {
    return result;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(input.terminal ? ptySlave : in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (int fd = 3; fd < 1024; ++fd) close(fd);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("QT_QPA_PLATFORM");
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(path.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  int feed = input.terminal ? ptyMaster : in[1];
  if (input.terminal) {
    close(ptySlave);
  } else {
    close(in[0]);
  }
  // Small inputs fit the pipe or terminal buffer at once.
  if (!input.stdinText.empty() && write(feed, input.stdinText.data(), input.stdinText.size()) < 0) {
    result.err = "cannot feed standard input";
  }
  if (!input.terminal) close(feed);

  std::thread watcher;
  if (whileRunning) watcher = std::thread(whileRunning, static_cast<int>(pid));
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(input.timeoutSeconds);
  bool outOpen = true, errOpen = true;
  while (outOpen || errOpen) {
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    const int ready = poll(fds, 2, 100);
    if (ready > 0) {
      if (outOpen && fds[0].revents) Drain(out[0], &result.out, &outOpen);
      if (errOpen && fds[1].revents) Drain(err[0], &result.err, &errOpen);
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      break;
    }
  }
  // The process is not reaped before the watcher is done with its id.
  if (watcher.joinable()) watcher.join();
  close(out[0]);
  close(err[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (input.terminal) close(ptyMaster);
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace tests
