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

long long FileStamp::QuietWaitNs() const {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  const long long changed = Nanos(mtime);
  const long long nowNs = Nanos(now);
  // A time in the future (a skewed clock, a file stamped by hand) tells
  // nothing of a writer at work; waiting for it could take forever.
  if (changed > nowNs + 1'000'000'000LL || changed + kQuietPeriodNs <= nowNs) return 0;
  if (IsOwnWrite(*this)) return 0;
  return changed + kQuietPeriodNs - nowNs;
}

namespace {

struct OwnWrites {
  static constexpr size_t kKept = 32;
  FileStamp stamps[kKept];
  size_t next = 0;
};

OwnWrites& Own() {
  static OwnWrites own;
  return own;
}

}  // namespace

void NoteOwnWrite(const FileStamp& stamp) {
  OwnWrites& own = Own();
  for (FileStamp& s : own.stamps) {
    if (s.dev == stamp.dev && s.ino == stamp.ino) {
      s = stamp;
      return;
    }
  }
  own.stamps[own.next] = stamp;
  own.next = (own.next + 1) % OwnWrites::kKept;
}

bool IsOwnWrite(const FileStamp& stamp) {
  for (const FileStamp& s : Own().stamps) {
    if (s.ino != 0 && s.dev == stamp.dev && s.ino == stamp.ino && s.size == stamp.size &&
        Nanos(s.mtime) == Nanos(stamp.mtime)) {
      return true;
    }
  }
  return false;
}

}  // namespace common
