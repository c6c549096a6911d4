#include "bench/measure.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>

namespace bench {

namespace {

// What the child sends back through the pipe.
struct Report {
  int ok;
  double seconds;
  long peakKb;
  char note[400];
};

void WriteReport(int fd, const Report& report) {
  const char* p = reinterpret_cast<const char*>(&report);
  size_t left = sizeof report;
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n <= 0) return;
    p += n;
    left -= static_cast<size_t>(n);
  }
}

}  // namespace

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

Sample MeasureInChild(const std::function<double()>& body) {
  Sample sample;
  int fds[2];
  if (pipe(fds) != 0) {
    sample.note = "cannot make a pipe";
    return sample;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    sample.note = "cannot fork";
    return sample;
  }
  if (pid == 0) {
    close(fds[0]);
    Report report{};
    try {
      report.seconds = body();
      report.ok = 1;
    } catch (const std::exception& e) {
      std::snprintf(report.note, sizeof report.note, "%s", e.what());
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    report.peakKb = usage.ru_maxrss;
    WriteReport(fds[1], report);
    close(fds[1]);
    // No destructors of the parent's objects, no Qt teardown: just go.
    _exit(0);
  }
  close(fds[1]);
  Report report{};
  size_t got = 0;
  char* p = reinterpret_cast<char*>(&report);
  while (got < sizeof report) {
    ssize_t n = read(fds[0], p + got, sizeof report - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (got != sizeof report) {
    sample.note =
        "the measuring child ended without a report (status " + std::to_string(status) + ")";
    return sample;
  }
  sample.ok = report.ok != 0;
  sample.seconds = report.seconds;
  sample.peakKb = report.peakKb;
  sample.note = report.note;
  return sample;
}

}  // namespace bench
