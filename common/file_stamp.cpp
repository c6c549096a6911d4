#include "common/file_stamp.h"

namespace common {

namespace {

// Well above any file system's timestamp step.
constexpr long long kRacyWindowNs = 50'000'000;

long long Nanos(const timespec& t) { return t.tv_sec * 1'000'000'000LL + t.tv_nsec; }

}  // namespace

bool FileStamp::operator==(const FileStamp& o) const {
  return dev == o.dev && ino == o.ino && size == o.size && Nanos(mtime) == Nanos(o.mtime) &&
         Nanos(ctime) == Nanos(o.ctime);
}

bool FileStamp::ChangedJustNow() const {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  const long long limit = Nanos(now) - kRacyWindowNs;
  return Nanos(mtime) >= limit || Nanos(ctime) >= limit;
}

}  // namespace common
