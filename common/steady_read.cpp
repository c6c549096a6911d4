#include "common/steady_read.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "common/atomic_file.h"
#include "common/file_stamp.h"

namespace common {

namespace {

void SleepNs(long long ns) {
  timespec t{static_cast<time_t>(ns / 1'000'000'000LL), static_cast<long>(ns % 1'000'000'000LL)};
  while (nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

}  // namespace

Status ReadAllAt(FileSystem& fs, int fd, const std::string& host, size_t size, std::string* bytes,
                 bool* complete) {
  bytes->resize(size);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = fs.PRead(fd, bytes->data() + done, size - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return PosixError("cannot read " + host, errno);
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  bytes->resize(done);
  *complete = done == size;
  return Status::OK();
}

Status ReadSteady(const Folder& folder, std::string_view name, size_t limit, SteadyFile* out) {
  for (int attempt = 0; attempt < kSteadyAttempts; ++attempt) {
    out->fd.reset();
    if (Status s = OpenFile(folder, name, O_RDONLY, 0, &out->fd, &out->st, nullptr, &out->where);
        !s.ok()) {
      return s;
    }
    const std::string host = out->where.host();
    if (out->st.st_size > static_cast<off_t>(limit)) {
      return Status::OutOfRange(host + " holds " + std::to_string(out->st.st_size) +
                                " bytes, more than the tools read (" + std::to_string(limit >> 20) +
                                " MiB)");
    }
    const FileStamp before = FileStamp::Of(out->st);
    if (const long long wait = before.QuietWaitNs(); wait > 0) {
      // A writer may be between two of its writes: let it finish first.
      SleepNs(wait);
      continue;
    }
    bool complete = false;
    FileSystem& fs = out->where.folder().fs();
    if (Status s = ReadAllAt(fs, out->fd.get(), host, static_cast<size_t>(out->st.st_size),
                             &out->bytes, &complete);
        !s.ok()) {
      return s;
    }
    struct stat after;
    if (fs.Fstat(out->fd.get(), &after) != 0) return PosixError("cannot examine " + host, errno);
    if (complete && FileStamp::Of(after) == before) return Status::OK();
  }
  return Status::Changed(out->where.host() + " kept changing while it was read");
}

Status ReplaceReadVersion(const Folder& folder, std::string_view name, const SteadyFile* read,
                          std::string_view bytes, bool flushFolder) {
  ReplaceOptions options;
  FileStamp stamp;
  if (read) {
    stamp = FileStamp::Of(read->st);
    options.expected = &stamp;
    options.readFd = read->fd.get();
    options.readStat = &read->st;
  } else {
    options.expectMissing = true;
  }
  options.flushFolder = flushFolder;
  if (read) return ReplaceFile(read->where.folder(), read->where.name(), bytes, options);
  return ReplaceFile(folder, name, bytes, options);
}

}  // namespace common
