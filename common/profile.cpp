#include "common/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <list>
#include <memory>
#include <string>
#include <utility>

#include "common/atomic_file.h"
#include "common/host_path.h"
#include "common/profile_document.h"
#include "common/profile_index.h"
#include "common/profile_text.h"

namespace common {

namespace {

// What identifies one version of a file on disk. A rewrite by anyone changes
// at least one of these (the tools' own writes change the inode).
struct Stamp {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{};

  static Stamp Of(const struct stat& st) {
    return Stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  }
  bool operator==(const Stamp& o) const {
    return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec;
  }
};

struct CachedFile {
  std::string hostPath;
  Stamp stamp;
  std::shared_ptr<const ProfileIndex> index;
};

// A converter reads one large file over and over, and now and then another;
// a few files are enough, and the total is kept within reason.
constexpr size_t kCacheFiles = 4;
constexpr size_t kCacheBytes = size_t{512} << 20;

std::list<CachedFile>& Cache() {
  static std::list<CachedFile> cache;
  return cache;
}

void Forget(const std::string& hostPath) {
  Cache().remove_if([&](const CachedFile& f) { return f.hostPath == hostPath; });
}

enum class OpenResult { kOk, kMissing, kNotOrdinary, kError };

// Reads an ordinary file whole. Opened without blocking, so that a FIFO or a
// device at the path can never hang the caller; anything but an ordinary
// file is refused.
// With `stopAtSize`, reading ends once the size the file had when opened has
// come in: a file that grew meanwhile has a new stamp and is read again on
// the next look-up, so the cached reader saves the call that finds the end.
OpenResult ReadOrdinaryFile(const std::string& hostPath, std::string* bytes, Stamp* stamp,
                            std::string* error, bool stopAtSize = false) {
  int fd = open(hostPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    if (error) *error = hostPath + ": " + std::strerror(err);
    if (err == ENOENT || err == ENOTDIR) return OpenResult::kMissing;
    struct stat st;
    if (stat(hostPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return OpenResult::kNotOrdinary;
    return OpenResult::kError;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    if (error) *error = hostPath + " is not an ordinary file";
    return OpenResult::kNotOrdinary;
  }
  *stamp = Stamp::Of(st);
  bytes->clear();
  bytes->reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      close(fd);
      if (error) *error = hostPath + ": " + std::strerror(err);
      return OpenResult::kError;
    }
    if (n == 0) break;
    bytes->append(buf, static_cast<size_t>(n));
    if (stopAtSize && bytes->size() >= static_cast<size_t>(st.st_size)) break;
  }
  close(fd);
  return OpenResult::kOk;
}

// Keeps `index` of the file read at `hostPath` as the most recently used,
// dropping the least recently used files beyond the cache's limits.
void Remember(const std::string& hostPath, const Stamp& stamp,
              const std::shared_ptr<const ProfileIndex>& index) {
  auto& cache = Cache();
  cache.push_front(CachedFile{hostPath, stamp, index});
  size_t total = 0;
  size_t kept = 0;
  for (auto it = cache.begin(); it != cache.end();) {
    total += it->index->memoryBytes();
    if (kept > 0 && (kept >= kCacheFiles || total > kCacheBytes)) {
      it = cache.erase(it);
    } else {
      ++kept;
      ++it;
    }
  }
}

// Reads and parses the file at `hostPath`; `result` says how the open went.
std::shared_ptr<const ProfileIndex> Load(const std::string& hostPath, OpenResult* result) {
  std::string bytes;
  Stamp stamp;
  *result = ReadOrdinaryFile(hostPath, &bytes, &stamp, nullptr, true);
  if (*result != OpenResult::kOk) return nullptr;
  auto index = std::make_shared<const ProfileIndex>(profile_text::TextForReading(std::move(bytes)));
  // The stamp is the one taken when the file was opened: if the file changed
  // while it was read, the next read sees a different stamp and reads again.
  Remember(hostPath, stamp, index);
  return index;
}

std::shared_ptr<const ProfileIndex> IndexFor(const std::string& hostPath) {
  struct stat st;
  if (stat(hostPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    Forget(hostPath);
    return nullptr;
  }
  auto& cache = Cache();
  const Stamp now = Stamp::Of(st);
  for (auto it = cache.begin(); it != cache.end(); ++it) {
    if (it->hostPath != hostPath) continue;
    if (it->stamp == now) {
      cache.splice(cache.begin(), cache, it);  // most recently used first
      return cache.front().index;
    }
    cache.erase(it);
    break;
  }
  OpenResult result;
  return Load(hostPath, &result);
}

// The index for a tool path. A file found exactly as spelled is the file
// ResolvePath would name, so the common case costs one system call: the
// stamp check of a cached file, or the open of a new one.
std::shared_ptr<const ProfileIndex> IndexForToolPath(std::string_view file) {
  const std::string spelled = SpelledPath(file);
  auto& cache = Cache();
  for (auto it = cache.begin(); it != cache.end(); ++it) {
    if (it->hostPath != spelled) continue;
    struct stat st;
    if (stat(spelled.c_str(), &st) != 0) {
      cache.erase(it);
      break;  // gone as spelled: resolve it afresh
    }
    if (!S_ISREG(st.st_mode)) {
      cache.erase(it);
      return nullptr;
    }
    if (it->stamp == Stamp::Of(st)) {
      cache.splice(cache.begin(), cache, it);
      return cache.front().index;
    }
    cache.erase(it);
    OpenResult result;
    return Load(spelled, &result);
  }
  OpenResult result;
  std::shared_ptr<const ProfileIndex> index = Load(spelled, &result);
  if (result == OpenResult::kOk) return index;
  if (result == OpenResult::kNotOrdinary) return nullptr;
  return IndexFor(ResolvePath(file));
}

}  // namespace

std::string ReadIniKey(std::string_view file, std::string_view section, std::string_view key) {
  return ProfileReader(file).Get(section, key);
}

ProfileReader::ProfileReader(std::string_view file) : index_(IndexForToolPath(file)) {}

ProfileReader::~ProfileReader() = default;

std::string ProfileReader::Get(std::string_view section, std::string_view key) const {
  if (!index_) return "";
  return index_->Lookup(section, key);
}

void ForgetProfileCache() { Cache().clear(); }

struct ProfileEdit::Impl {
  std::string hostPath;
  OpenResult state = OpenResult::kMissing;
  std::string loadError;
  bool utf16 = false;
  profile_text::Encoding encoding = profile_text::Encoding::kAnsi;
  bool changed = false;
  std::unique_ptr<ProfileDocument> document;
};

ProfileEdit::ProfileEdit(std::string_view file) : impl_(std::make_unique<Impl>()) {
  impl_->hostPath = ResolvePath(file);
  std::string bytes;
  Stamp stamp;
  impl_->state = ReadOrdinaryFile(impl_->hostPath, &bytes, &stamp, &impl_->loadError);
  if (impl_->state != OpenResult::kOk) bytes.clear();
  impl_->encoding = profile_text::DetectEncoding(bytes);
  impl_->utf16 = impl_->encoding == profile_text::Encoding::kUtf16Le;
  impl_->document = std::make_unique<ProfileDocument>(bytes);
}

ProfileEdit::~ProfileEdit() = default;

void ProfileEdit::Set(std::string_view section, std::string_view key, std::string_view value) {
  if (impl_->state == OpenResult::kNotOrdinary || impl_->state == OpenResult::kError) return;
  if (impl_->utf16) {
    // The tools write single-byte files only; editing UTF-16 text byte-wise
    // would garble it, so such a file is left alone and the commit fails.
    impl_->changed = true;
    return;
  }
  if (impl_->document->Set(section, key, value)) impl_->changed = true;
}

void ProfileEdit::Delete(std::string_view section, std::string_view key) {
  if (impl_->state != OpenResult::kOk || impl_->utf16) return;
  if (impl_->document->Delete(section, key)) impl_->changed = true;
}

void ProfileEdit::DeleteSection(std::string_view section) {
  if (impl_->state != OpenResult::kOk || impl_->utf16) return;
  if (impl_->document->DeleteSection(section)) impl_->changed = true;
}

bool ProfileEdit::Commit(std::string* error) {
  Impl& im = *impl_;
  if (im.state == OpenResult::kNotOrdinary || im.state == OpenResult::kError) {
    if (error) *error = im.loadError;
    return false;
  }
  if (!im.changed) return true;
  if (im.utf16) {
    if (error) *error = im.hostPath + " holds UTF-16 text, which is not written";
    return false;
  }
  struct stat st;
  if (stat(im.hostPath.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) {
      if (error) *error = im.hostPath + " is not an ordinary file";
      return false;
    }
    // Checked here rather than left to the system: as root, the system would
    // let us write a file its owner marked read-only.
    if ((st.st_mode & S_IWUSR) == 0) {
      if (error) *error = im.hostPath + " is read-only";
      return false;
    }
  }
  const bool existed = im.state == OpenResult::kOk;
  const std::string bytes = im.document->Serialize();
  // A new first line that begins like a byte-order mark (a key put before
  // the first section) would make every later read take the whole file for
  // another encoding and lose all of its values.
  if (profile_text::DetectEncoding(bytes) != im.encoding) {
    if (error) *error = im.hostPath + ": the new first line would read as a byte-order mark";
    return false;
  }
  if (!ReplaceFileAtomically(im.hostPath, bytes, error)) return false;
  Forget(im.hostPath);
  if (!existed) NoteCreated(im.hostPath);
  im.state = OpenResult::kOk;
  im.changed = false;
  return true;
}

bool WriteIniKey(std::string_view file, std::string_view section, std::string_view key,
                 std::string_view value, std::string* error) {
  ProfileEdit edit(file);
  edit.Set(section, key, value);
  return edit.Commit(error);
}

bool DeleteIniKey(std::string_view file, std::string_view section, std::string_view key,
                  std::string* error) {
  ProfileEdit edit(file);
  edit.Delete(section, key);
  return edit.Commit(error);
}

bool DeleteIniSection(std::string_view file, std::string_view section, std::string* error) {
  ProfileEdit edit(file);
  edit.DeleteSection(section);
  return edit.Commit(error);
}

}  // namespace common
