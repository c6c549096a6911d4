// Runs a piece of work as an unprivileged user, so that tests running as
// root (where the system ignores file modes) still see what an operator
// without root sees: the test forks, the child drops to the given ids and
// runs the work, and the parent gets back what the work reported.
#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace tests {

struct Identity {
  uid_t uid;
  gid_t gid;
  std::vector<gid_t> groups;  // supplementary groups
};

// An unused account in no group but its own, and the same with the
// server's group 2000 as a supplementary one.
inline const Identity kStranger{65534, 65534, {}};
inline const Identity kOperatorInServerGroup{65534, 65534, {2000}};

// Runs `work` in a child that has become `who`. Returns "" when the work
// returned ""; otherwise what it returned (a failure in words), or how the
// child failed. Needs root; the child never returns into the test.
inline std::string RunAs(const Identity& who, const std::function<std::string()>& work) {
  int fds[2];
  if (pipe(fds) != 0) return std::string("pipe: ") + std::strerror(errno);
  const pid_t pid = fork();
  if (pid < 0) return std::string("fork: ") + std::strerror(errno);
  if (pid == 0) {
    close(fds[0]);
    std::string result;
    if (setgroups(who.groups.size(), who.groups.data()) != 0 || setgid(who.gid) != 0 ||
        setuid(who.uid) != 0) {
      result = std::string("cannot drop privileges: ") + std::strerror(errno);
    } else {
      result = work();
    }
    size_t done = 0;
    while (done < result.size()) {
      ssize_t n = write(fds[1], result.data() + done, result.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    _exit(0);
  }
  close(fds[1]);
  std::string result;
  char buf[4096];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    result.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return "the child ended abnormally (status " + std::to_string(status) + ")" + result;
  }
  return result;
}

}  // namespace tests
