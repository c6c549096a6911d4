#include "common/profile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <functional>
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
#include "common/steady_read.h"
#include "common/trusted_folder.h"
#include "common/unique_fd.h"

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

// Reads entry `name` of `folder` whole, through the trusted open: never
// through a link the operator did not make, opened without blocking, so that
// a FIFO or a device at the path can never hang the caller, and refused
// when it is not an ordinary file. NotFound for a missing file. `host` is
// set to where the file lies.
// With `stopAtSize`, reading ends once the size the file had when opened has
// come in: a file that grew meanwhile has a new stamp and is read again on
// the next look-up, so the cached reader saves the call that finds the end.
Status ReadOrdinaryAt(const Folder& folder, const std::string& name, std::string* bytes,
                      FileStamp* stamp, std::string* host, bool stopAtSize = false) {
  UniqueFd fd;
  struct stat st;
  Target where;
  if (Status s = OpenFile(folder, name, O_RDONLY, 0, &fd, &st, nullptr, &where); !s.ok()) {
    *host = where.host();
    return s;
  }
  *host = where.host();
  if (st.st_size > static_cast<off_t>(kMaxProfileFileBytes)) {
    return Status::OutOfRange(*host + " holds " + std::to_string(st.st_size) +
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
  FileSystem& fs = where.folder().fs();
  for (;;) {
    ssize_t n = fs.PRead(fd.get(), buf, sizeof buf, static_cast<off_t>(bytes->size()));
    if (n < 0) {
      if (errno == EINTR) continue;
      return PosixError(*host, errno);
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

// Reads and parses entry `name` of `folder`.
Status Load(const Folder& folder, const std::string& name,
            std::shared_ptr<const ProfileIndex>* index) {
  std::string bytes;
  FileStamp stamp;
  std::string host;
  Status s = ReadOrdinaryAt(folder, name, &bytes, &stamp, &host, true);
  if (!s.ok()) return s;
  *index = std::make_shared<const ProfileIndex>(profile_text::TextForReading(std::move(bytes)));
  // The stamp is the one taken when the file was opened: if the file changed
  // while it was read, the next read sees a different stamp and reads again.
  Remember(host, stamp, *index);
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

bool InCache(const std::string& hostPath) {
  for (const CachedFile& f : Cache()) {
    if (f.hostPath == hostPath) return true;
  }
  return false;
}

// The index of entry `name` of `folder` (by the case rule). A file that is
// in the cache and unchanged costs one system call, the stamp's; one that is
// not costs its open, the case rule being asked only when that finds no
// file. A link the operator did not make is refused as the open refuses it.
Status IndexAt(const Folder& folder, std::string_view name,
               std::shared_ptr<const ProfileIndex>* index) {
  const std::string spelled(name);
  const std::string host = folder.HostOf(spelled);
  if (InCache(host)) {
    struct stat st;
    if (fstatat(folder.fd(), spelled.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(st.st_mode)) {
      if ((*index = Cached(host, FileStamp::Of(st)))) return Status::OK();
    }
  }
  Status s = Load(folder, spelled, index);
  if (!s.IsNotFound()) return s;
  Forget(host);
  bool exists = false;
  const std::string resolved = ResolveName(folder, spelled, &exists);
  if (!exists || resolved == spelled) return s;
  return Load(folder, resolved, index);
}

// The index for a tool path, found by the trusted walk.
Status IndexForToolPath(std::string_view file, std::shared_ptr<const ProfileIndex>* index) {
  Folder folder;
  std::string name;
  if (Status s = LocateEntry(file, &folder, &name); !s.ok()) return s;
  return IndexAt(folder, name, index);
}

}  // namespace

std::string ReadIniKey(std::string_view file, std::string_view section, std::string_view key) {
  return ProfileReader(file).Get(section, key);
}

ProfileReader::ProfileReader(std::string_view file) : status_(IndexForToolPath(file, &index_)) {}

ProfileReader::ProfileReader(const Folder& folder, std::string_view name)
    : status_(IndexAt(folder, name, &index_)) {}

ProfileReader::ProfileReader(Status why) : status_(std::move(why)) {}

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

void ProfileReader::Section::GetAll(const KeyList& keys, std::string_view* values) const {
  if (index_) {
    index_->LookupAll(id_, keys, values);
  } else {
    for (size_t i = 0; i < keys.size(); ++i) values[i] = {};
  }
}

void ForgetProfileCache() { Cache().clear(); }

struct ProfileEdit::Impl {
  // The folder the file is in: the caller's, or one found by the walk.
  Folder ownFolder;
  const Folder* folder = nullptr;
  std::string name;  // resolved by the case rule
  std::string host;  // for messages
  // OK or NotFound: the file can be edited (NotFound: it is made new).
  // Anything else: it could not be read, and is not written either.
  Status load;
  SteadyFile read;  // the version read (its descriptor, stamp, bytes)
  bool utf16 = false;
  profile_text::Encoding encoding = profile_text::Encoding::kAnsi;
  bool changed = false;
  bool flushFolder = true;
  // The text as read, or as a fill left it; the editor's line structure is
  // built from it only when a single edit needs it.
  std::string bytes;
  std::unique_ptr<ProfileDocument> document;
  std::function<Status(std::string_view)> accept;
  // What the file holds after the last Commit that succeeded.
  std::string committed;

  // Every edit asked for, in order, so that it can be made again on a
  // newer version of the file.
  struct Op {
    enum Kind { kSet, kSetAll, kDelete, kDeleteSection } kind;
    std::string section, key, value;
    const KeyFiller* fill = nullptr;
  };
  std::vector<Op> ops;

  // A file whose folder could not be reached is never written.
  bool Editable() const { return folder && (load.ok() || load.IsNotFound()); }
  ProfileDocument& Document() {
    if (!document) {
      document = std::make_unique<ProfileDocument>(bytes);
      bytes.clear();
    }
    return *document;
  }

  // Reads the file as it stands between another program's writes.
  void Read() {
    document.reset();
    changed = false;
    if (!folder) return;
    load = ReadSteady(*folder, name, kMaxProfileFileBytes, &read);
    host = load.ok() ? read.where.host() : folder->HostOf(name);
    if (load.ok()) {
      bytes = std::move(read.bytes);
      read.bytes.clear();
    } else {
      bytes.clear();
      read.fd.reset();
    }
    if (load.ok() && accept) load = accept(bytes);
    encoding = profile_text::DetectEncoding(bytes);
    utf16 = encoding == profile_text::Encoding::kUtf16Le;
  }

  void Apply(const Op& op) {
    switch (op.kind) {
      case Op::kSet:
        if (!Editable()) return;
        if (utf16) {
          // The tools write single-byte files only; editing UTF-16 text
          // byte-wise would garble it, so such a file is left alone and the
          // commit fails.
          changed = true;
          return;
        }
        if (Document().Set(op.section, op.key, op.value)) changed = true;
        return;
      case Op::kSetAll: {
        if (!Editable()) return;
        const KeyFill& fill = op.fill->fill();
        if (!document && !utf16) {
          if (std::optional<std::string> filled = op.fill->Apply(bytes)) {
            if (*filled != bytes) {
              bytes = std::move(*filled);
              changed = true;
            }
            return;
          }
        }
        for (const std::string& section : fill.sections) {
          for (const std::string& key : fill.keys) {
            Apply(Op{Op::kSet, section, key, fill.value, nullptr});
          }
        }
        return;
      }
      case Op::kDelete:
        if (!load.ok() || utf16) return;
        if (Document().Delete(op.section, op.key)) changed = true;
        return;
      case Op::kDeleteSection:
        if (!load.ok() || utf16) return;
        if (Document().DeleteSection(op.section)) changed = true;
        return;
    }
  }

  void Record(Op op) {
    Apply(op);
    ops.push_back(std::move(op));
  }

  // One try at putting the edited text on disk over the version read.
  Status WriteOnce() {
    if (!Editable()) return load.ok() ? Status::IOError(host + " cannot be reached") : load;
    if (!changed) {
      committed = document ? document->Serialize() : bytes;
      return Status::OK();
    }
    if (utf16) return Status::NotSupported(host + " holds UTF-16 text, which is not written");
    std::string text = document ? document->Serialize() : bytes;
    // A new first line that begins like a byte-order mark (a key put before
    // the first section) would make every later read take the whole file for
    // another encoding and lose all of its values.
    if (profile_text::DetectEncoding(text) != encoding) {
      return Status::InvalidArgument(host + ": the new first line would read as a byte-order mark");
    }
    Status s = ReplaceReadVersion(*folder, name, load.ok() ? &read : nullptr, text, flushFolder);
    Forget(host);
    if (s.ok()) committed = std::move(text);
    return s;
  }
};

ProfileEdit::ProfileEdit(std::string_view file) : impl_(std::make_unique<Impl>()) {
  Impl& im = *impl_;
  std::string name;
  im.load = LocateEntry(file, &im.ownFolder, &name);
  if (!im.load.ok()) {
    im.host = SpelledPath(file);
    return;
  }
  im.folder = &im.ownFolder;
  im.name = std::move(name);
  im.Read();
}

ProfileEdit::ProfileEdit(const Folder& folder, std::string_view name)
    : impl_(std::make_unique<Impl>()) {
  Impl& im = *impl_;
  im.folder = &folder;
  // Most names are spelled as they stand (the wipe's come from a listing):
  // the case rule is asked only when that one is missing.
  im.name = name;
  im.Read();
  if (im.load.IsNotFound()) {
    bool exists = false;
    std::string resolved = ResolveName(folder, name, &exists);
    if (exists && resolved != im.name) {
      im.name = std::move(resolved);
      im.Read();
    }
  }
}

ProfileEdit::~ProfileEdit() = default;

const Status& ProfileEdit::status() const { return impl_->load; }

void ProfileEdit::Set(std::string_view section, std::string_view key, std::string_view value) {
  impl_->Record({Impl::Op::kSet, std::string(section), std::string(key), std::string(value)});
}

void ProfileEdit::SetAll(const KeyFiller& filler) {
  impl_->Record({Impl::Op::kSetAll, {}, {}, {}, &filler});
}

void ProfileEdit::Delete(std::string_view section, std::string_view key) {
  impl_->Record({Impl::Op::kDelete, std::string(section), std::string(key), {}});
}

void ProfileEdit::DeleteSection(std::string_view section) {
  impl_->Record({Impl::Op::kDeleteSection, std::string(section), {}, {}});
}

void ProfileEdit::DeferFlush() { impl_->flushFolder = false; }

void ProfileEdit::Require(std::function<Status(std::string_view read)> accept) {
  Impl& im = *impl_;
  im.accept = std::move(accept);
  if (im.load.ok() && im.accept)
    im.load = im.accept(im.document ? im.document->Serialize() : im.bytes);
}

Status ProfileEdit::Commit() {
  Impl& im = *impl_;
  for (int attempt = 0; attempt < kSteadyAttempts; ++attempt) {
    if (attempt > 0) {
      // Another program wrote the file after it was read: the edits are made
      // again on its new version, never over it.
      im.Read();
      for (const Impl::Op& op : im.ops) im.Apply(op);
    }
    Status s = im.WriteOnce();
    // A version that could not be read steadily has had its tries already.
    if (!s.IsChanged() || !im.Editable()) {
      if (s.ok()) {
        im.changed = false;
        if (!im.load.ok() && im.load.IsNotFound()) im.load = Status::OK();
      }
      return s;
    }
  }
  return Status::Changed(im.host + " kept changing; it was left as it was");
}

const std::string& ProfileEdit::Committed() const { return impl_->committed; }

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
