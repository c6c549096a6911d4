// What identifies one version of a file or folder on disk, for the caches
// that reuse what they read while nothing has changed.
#pragma once

#include <sys/stat.h>
#include <time.h>

namespace common {

struct FileStamp {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{};
  timespec ctime{};  // moves on every change, also one that puts mtime back

  static FileStamp Of(const struct stat& st) {
    return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
  }
  bool operator==(const FileStamp& o) const;
  bool operator!=(const FileStamp& o) const { return !(*this == o); }

  // A file system keeps its times in steps (of up to some milliseconds), so
  // a file read within such a step of its last change may change again with
  // no new time to show for it. True when either time lies that close to
  // now: what was read then must not be trusted on the strength of the
  // stamp alone.
  bool ChangedJustNow() const;

  // A writer that saves a file in place (truncate, then line by line) leaves
  // it torn between two of its writes. A file whose content changed within
  // this quiet period before a read is not trusted yet: the reader waits
  // until the period has passed and reads again. How long to wait, 0 when
  // the file has been quiet long enough (or was last changed by this
  // process, see NoteOwnWrite).
  long long QuietWaitNs() const;
};

// The quiet period of FileStamp::QuietWaitNs.
inline constexpr long long kQuietPeriodNs = 100'000'000;

// Remembers that this process itself gave a file the stamp `stamp` (its
// last write): a read that finds it so needs no quiet period, since no
// other writer has touched it since. A few recent files are remembered.
// The change time is not compared: a rename after the write moves it.
void NoteOwnWrite(const FileStamp& stamp);
bool IsOwnWrite(const FileStamp& stamp);

}  // namespace common
