// Runs one measurement in a forked child, so that each job starts from a
// fresh process (no warm caches of an earlier job) and its peak memory is
// its own.
#pragma once

#include <functional>
#include <string>

namespace bench {

struct Sample {
  bool ok = false;
  double seconds = 0;  // the timed part only
  long peakKb = 0;     // the child's peak resident set
  std::string note;    // why it failed
};

// `body` runs in the child: it sets up, times its own work and returns the
// seconds. An exception ends the child and comes back as a failed sample.
Sample MeasureInChild(const std::function<double()>& body);

// Seconds since an arbitrary start, from a monotonic clock.
double Now();

}  // namespace bench
