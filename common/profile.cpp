#include "common/profile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "common/atomic_file.h"
#include "common/file_stamp.h"
#include "common/host_path.h"
#include "common/profile_document.h"
#include "common/profile_fill.h"
#include "common/profile_index.h"
#include "common/profile_text.h"

namespace common {

namespace {

struct CachedFile {
  std::string hostPath;
  FileStamp stamp;
  // Read within the timestamp step of its last change: a change right after
  // may have left the stamp as it was, so this parse is not reused.
  bool racy = false;
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

// An open descriptor, closed on every way out.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Maps in at once the memory a large file is read into: one call instead
// of a fault for every page the copy touches. Only an optimisation; a
// kernel without it leaves the pages to come in one by one.
void PrefaultBuffer(char* data, size_t size) {
  constexpr size_t kWorthIt = size_t{1} << 20;
  if (size < kWorthIt) return;
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + page - 1) & ~(page - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(page - 1);
#ifdef MADV_POPULATE_WRITE
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
#else
  (void)begin;
  (void)end;
#endif
}

// Reads an ordinary file whole. Opened without blocking, so that a FIFO or a
// device at the path can never hang the caller; anything but an ordinary
// file is refused. NotFound for a missing file; `notOrdinary` (when given)
// is set for something that is there but is no ordinary file.
// With `stopAtSize`, reading ends once the size the file had when opened has
// come in: a file that grew meanwhile has a new stamp and is read again on
// the next look-up, so the cached reader saves the call that finds the end.
Status ReadOrdinaryFile(const std::string& hostPath, std::string* bytes, FileStamp* stamp,
                        bool stopAtSize = false, bool* notOrdinary = nullptr) {
  if (notOrdinary) *notOrdinary = false;
  Fd fd(open(hostPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) {
    const int err = errno;
    struct stat st;
    if (err != ENOENT && err != ENOTDIR && stat(hostPath.c_str(), &st) == 0 &&
        !S_ISREG(st.st_mode)) {
      if (notOrdinary) *notOrdinary = true;
      return Status::IOError(hostPath + " is not an ordinary file");
    }
    return PosixError(hostPath, err);
  }
  struct stat st;
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    if (notOrdinary) *notOrdinary = true;
    return Status::IOError(hostPath + " is not an ordinary file");
  }
  if (st.st_size > static_cast<off_t>(kMaxProfileFileBytes)) {
    return Status::OutOfRange(hostPath + " holds " + std::to_string(st.st_size) +
                              " bytes, more than any profile file the tools read (" +
                              std::to_string(kMaxProfileFileBytes >> 20) + " MiB)");
  }
  *stamp = FileStamp::Of(st);
  bytes->clear();
  bytes->reserve(static_cast<size_t>(st.st_size));
  PrefaultBuffer(bytes->data(), bytes->capacity());
  // Through a buffer that stays in the processor's cache: reading straight
  // into the text would first need it filled with zeros.
  static char buf[1 << 18];
  for (;;) {
    ssize_t n = read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return PosixError(hostPath, errno);
    }
    if (n == 0) break;
    bytes->append(buf, static_cast<size_t>(n));
    if (stopAtSize && bytes->size() >= static_cast<size_t>(st.st_size)) break;
  }
  return Status::OK();
}

// Keeps `index` of the file read at `hostPath` as the most recently used,
// dropping the least recently used files beyond the cache's limits.
void Remember(const std::string& hostPath, const FileStamp& stamp,
              const std::shared_ptr<const ProfileIndex>& index) {
  auto& cache = Cache();
  cache.push_front(CachedFile{hostPath, stamp, stamp.ChangedJustNow(), index});
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

// Reads and parses the file at `hostPath`.
Status Load(const std::string& hostPath, std::shared_ptr<const ProfileIndex>* index,
            bool* notOrdinary = nullptr) {
  std::string bytes;
  FileStamp stamp;
  Status s = ReadOrdinaryFile(hostPath, &bytes, &stamp, true, notOrdinary);
  if (!s.ok()) return s;
  *index = std::make_shared<const ProfileIndex>(profile_text::TextForReading(std::move(bytes)));
  // The stamp is the one taken when the file was opened: if the file changed
  // while it was read, the next read sees a different stamp and reads again.
  Remember(hostPath, stamp, *index);
  return Status::OK();
}

// The cached index of `hostPath` when the file still has the stamp `now`;
// null otherwise (a stale entry is dropped).
std::shared_ptr<const ProfileIndex> Cached(const std::string& hostPath, const FileStamp& now) {
  auto& cache = Cache();
  for (auto it = cache.begin(); it != cache.end(); ++it) {
    if (it->hostPath != hostPath) continue;
    if (it->stamp == now && !it->racy) {
      cache.splice(cache.begin(), cache, it);  // most recently used first
      return cache.front().index;
    }
    cache.erase(it);
    break;
  }
  return nullptr;
}

Status IndexFor(const std::string& hostPath, std::shared_ptr<const ProfileIndex>* index) {
  struct stat st;
  if (stat(hostPath.c_str(), &st) != 0) {
    Forget(hostPath);
    return PosixError(hostPath, errno);
  }
  if (!S_ISREG(st.st_mode)) {
    Forget(hostPath);
    return Status::IOError(hostPath + " is not an ordinary file");
  }
  if ((*index = Cached(hostPath, FileStamp::Of(st)))) return Status::OK();
  return Load(hostPath, index);
}

// The index for a tool path. A file found exactly as spelled is the file
// ResolvePath would name, so the common case costs one system call: the
// stamp check of a cached file, or the open of a new one.
Status IndexForToolPath(std::string_view file, std::shared_ptr<const ProfileIndex>* index) {
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
      return Status::IOError(spelled + " is not an ordinary file");
    }
    if ((*index = Cached(spelled, FileStamp::Of(st)))) return Status::OK();
    return Load(spelled, index);
  }
  bool notOrdinary = false;
  Status s = Load(spelled, index, &notOrdinary);
  if (s.ok() || notOrdinary) return s;
  return IndexFor(ResolvePath(file), index);
}

}  // namespace

std::string ReadIniKey(std::string_view file, std::string_view section, std::string_view key) {
  return ProfileReader(file).Get(section, key);
}

ProfileReader::ProfileReader(std::string_view file) : status_(IndexForToolPath(file, &index_)) {}

ProfileReader::~ProfileReader() = default;

std::string ProfileReader::Get(std::string_view section, std::string_view key) const {
  if (!index_) return "";
  return index_->Lookup(section, key);
}

ProfileReader::Section ProfileReader::InSection(std::string_view section) const {
  Section s;
  if (index_) {
    s.id_ = index_->FindSection(section);
    if (s.id_ != ProfileIndex::kNoSection) s.index_ = index_.get();
  }
  return s;
}

std::string ProfileReader::Section::Get(std::string_view key) const {
  return index_ ? index_->Lookup(id_, key) : std::string();
}

void ForgetProfileCache() { Cache().clear(); }

struct ProfileEdit::Impl {
  std::string hostPath;
  // OK or NotFound: the file can be edited (NotFound: it is made new).
  // Anything else: it could not be read, and is not written either.
  Status load;
  bool utf16 = false;
  profile_text::Encoding encoding = profile_text::Encoding::kAnsi;
  bool changed = false;
  // The text as read, or as a fill left it; the editor's line structure is
  // built from it only when a single edit needs it.
  std::string bytes;
  std::unique_ptr<ProfileDocument> document;

  bool Editable() const { return load.ok() || load.IsNotFound(); }
  ProfileDocument& Document() {
    if (!document) {
      document = std::make_unique<ProfileDocument>(bytes);
      bytes.clear();
    }
    return *document;
  }
};

ProfileEdit::ProfileEdit(std::string_view file) : impl_(std::make_unique<Impl>()) {
  impl_->hostPath = ResolvePath(file);
  std::string& bytes = impl_->bytes;
  FileStamp stamp;
  impl_->load = ReadOrdinaryFile(impl_->hostPath, &bytes, &stamp);
  if (!impl_->load.ok()) bytes.clear();
  impl_->encoding = profile_text::DetectEncoding(bytes);
  impl_->utf16 = impl_->encoding == profile_text::Encoding::kUtf16Le;
}

ProfileEdit::~ProfileEdit() = default;

const Status& ProfileEdit::status() const { return impl_->load; }

void ProfileEdit::Set(std::string_view section, std::string_view key, std::string_view value) {
  if (!impl_->Editable()) return;
  if (impl_->utf16) {
    // The tools write single-byte files only; editing UTF-16 text byte-wise
    // would garble it, so such a file is left alone and the commit fails.
    impl_->changed = true;
    return;
  }
  if (impl_->Document().Set(section, key, value)) impl_->changed = true;
}

void ProfileEdit::SetAll(const KeyFiller& filler) {
  if (!impl_->Editable()) return;
  const KeyFill& fill = filler.fill();
  if (!impl_->document && !impl_->utf16) {
    if (std::optional<std::string> filled = filler.Apply(impl_->bytes)) {
      if (*filled != impl_->bytes) {
        impl_->bytes = std::move(*filled);
        impl_->changed = true;
      }
      return;
    }
  }
  for (const std::string& section : fill.sections) {
    for (const std::string& key : fill.keys) Set(section, key, fill.value);
  }
}

void ProfileEdit::Delete(std::string_view section, std::string_view key) {
  if (!impl_->load.ok() || impl_->utf16) return;
  if (impl_->Document().Delete(section, key)) impl_->changed = true;
}

void ProfileEdit::DeleteSection(std::string_view section) {
  if (!impl_->load.ok() || impl_->utf16) return;
  if (impl_->Document().DeleteSection(section)) impl_->changed = true;
}

Status ProfileEdit::Commit() {
  Impl& im = *impl_;
  if (!im.Editable()) return im.load;
  if (!im.changed) return Status::OK();
  if (im.utf16) {
    return Status::NotSupported(im.hostPath + " holds UTF-16 text, which is not written");
  }
  struct stat st;
  if (stat(im.hostPath.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return Status::IOError(im.hostPath + " is not an ordinary file");
    if (Status s = CheckMayWrite(im.hostPath, st); !s.ok()) return s;
  }
  const bool existed = im.load.ok();
  const std::string bytes = im.document ? im.document->Serialize() : im.bytes;
  // A new first line that begins like a byte-order mark (a key put before
  // the first section) would make every later read take the whole file for
  // another encoding and lose all of its values.
  if (profile_text::DetectEncoding(bytes) != im.encoding) {
    return Status::InvalidArgument(im.hostPath +
                                   ": the new first line would read as a byte-order mark");
  }
  if (Status s = ReplaceFileAtomically(im.hostPath, bytes); !s.ok()) return s;
  Forget(im.hostPath);
  if (!existed) NoteCreated(im.hostPath);
  im.load = Status::OK();
  im.changed = false;
  return Status::OK();
}

Status WriteIniKey(std::string_view file, std::string_view section, std::string_view key,
                   std::string_view value) {
  ProfileEdit edit(file);
  edit.Set(section, key, value);
  return edit.Commit();
}

Status DeleteIniKey(std::string_view file, std::string_view section, std::string_view key) {
  ProfileEdit edit(file);
  edit.Delete(section, key);
  return edit.Commit();
}

Status DeleteIniSection(std::string_view file, std::string_view section) {
  ProfileEdit edit(file);
  edit.DeleteSection(section);
  return edit.Commit();
}

}  // namespace common
