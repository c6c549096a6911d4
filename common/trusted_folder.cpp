#include "common/trusted_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/file_stamp.h"
#include "common/host_path.h"
#include "common/program_folder.h"
#include "common/text_util.h"

namespace common {

namespace {

// As the system counts links in one resolution.
constexpr int kMaxLinks = 40;

constexpr int kWalkFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// A folder's names by their upper-cased form, kept while the folder is
// unchanged, so that resolving a name whose case differs (or that does not
// exist yet) in a folder of tens of thousands of files costs no listing.
// Keyed by the folder's identity, not its path: the same folder reached
// another way shares it. A folder's modification time moves in steps of a
// few milliseconds, so a listing taken within such a step of the folder's
// last change may miss a change made later in that same step: such a
// listing is "racy" and read again at the next look-up, unless the tools'
// own creation of a file (NoteCreated) has accounted for the change since.
struct FolderIndex {
  FileStamp stamp;
  bool racy = false;
  std::unordered_map<std::string, std::string> byUpper;  // first name in byte order
};

struct FolderKey {
  dev_t dev;
  ino_t ino;
  bool operator==(const FolderKey& o) const { return dev == o.dev && ino == o.ino; }
};

struct FolderKeyHash {
  size_t operator()(const FolderKey& k) const {
    return std::hash<uint64_t>{}(static_cast<uint64_t>(k.dev) * 1000003u ^
                                 static_cast<uint64_t>(k.ino));
  }
};

std::unordered_map<FolderKey, FolderIndex, FolderKeyHash>& Indexes() {
  static std::unordered_map<FolderKey, FolderIndex, FolderKeyHash> indexes;
  return indexes;
}

void AddName(FolderIndex& ix, const std::string& name) {
  auto [it, inserted] = ix.byUpper.try_emplace(UpperAscii(name), name);
  if (!inserted && name < it->second) it->second = name;
}

// The index of the folder open at `dirFd`, read again when the folder
// changed; null when it cannot be listed.
const FolderIndex* IndexOf(const Folder& folder) {
  const int dirFd = folder.fd();
  struct stat st;
  if (folder.fs().Fstat(dirFd, &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
  auto& indexes = Indexes();
  const FolderKey key{st.st_dev, st.st_ino};
  auto it = indexes.find(key);
  if (it != indexes.end() && it->second.stamp == FileStamp::Of(st) && !it->second.racy) {
    return &it->second;
  }
  const int listFd = folder.fs().OpenAt(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (listFd < 0) return nullptr;
  DIR* dir = fdopendir(listFd);
  if (!dir) {
    close(listFd);
    return nullptr;
  }
  if (indexes.size() > 64) indexes.clear();  // a handful of folders is all the tools use
  FolderIndex& ix = indexes[key];
  ix.byUpper.clear();
  ix.stamp = FileStamp::Of(st);
  ix.racy = ix.stamp.ChangedJustNow();
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") AddName(ix, name);
  }
  closedir(dir);
  return &ix;
}

// Splits at "\" and "/", dropping empty components.
std::vector<std::string_view> Components(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && IsSeparator(path[i])) ++i;
    const size_t start = i;
    while (i < path.size() && !IsSeparator(path[i])) ++i;
    if (i > start) parts.push_back(path.substr(start, i - start));
  }
  return parts;
}

std::string OwnerName(uid_t uid) {
  struct passwd pw;
  struct passwd* found = nullptr;
  char buf[1024];
  if (getpwuid_r(uid, &pw, buf, sizeof buf, &found) == 0 && found) {
    return std::string(found->pw_name) + " (uid " + Dec(uid) + ")";
  }
  return "uid " + Dec(uid);
}

std::string ReadLinkAt(int dirFd, const std::string& name, int* err) {
  std::string link(4096, '\0');
  const ssize_t n = readlinkat(dirFd, name.c_str(), link.data(), link.size());
  if (n < 0) {
    *err = errno;
    return "";
  }
  *err = 0;
  link.resize(static_cast<size_t>(n));
  return link;
}

}  // namespace

bool IsTrustedLink(const struct stat& link) { return link.st_uid == 0 || link.st_uid == geteuid(); }

Status UntrustedLink(const std::string& hostPath, const struct stat& link) {
  return Status::NotSupported(hostPath + " is a symbolic link of " + OwnerName(link.st_uid) +
                                  "; not followed (only links of root or of the user running the "
                                  "tool are)",
                              ELOOP);
}

Status NotOrdinaryFile(const std::string& hostPath) {
  return Status::NotSupported(hostPath + " is not an ordinary file");
}

std::string Folder::HostOf(std::string_view name) const {
  return JoinHostPath(host_, std::string(name));
}

// The walk itself, a friend of Folder and Target.
class FolderWalker {
 public:
  // Opens where resolution of `path` starts and sets `rest` to the part to
  // walk: the program folder for a path built on it, the root or the
  // working folder (whose links are the caller's own) otherwise.
  // The server folder `root` itself: the operator named it, so it is
  // opened as the system resolves it, and everything below it is walked
  // by the rule.
  static Status Root(const std::string& root, Folder* out, FileSystem& fs) {
    const int fd = fs.OpenAt(AT_FDCWD, root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0) return PosixError("server folder " + root, errno);
    out->fd_.reset(fd);
    out->ownerKnown_ = false;
    out->fs_ = &fs;
    out->host_ = root;
    out->trustAll_ = false;
    return Status::OK();
  }

  static Status Below(const Folder& from, std::string_view relative, bool toParent, Folder* out,
                      std::string* name) {
    Folder cur;
    if (Status s = from.Duplicate(&cur); !s.ok()) return s;
    return Descend(std::move(cur), relative, toParent, from.HostOf(relative), out, name);
  }

  // Walks `relative` down from `cur` by the rule; with `toParent`, to the
  // folder of its last part, whose name (by the case rule) goes to `name`.
  // `label` names the path in errors.
  static Status Descend(Folder cur, std::string_view relative, bool toParent,
                        const std::string& label, Folder* out, std::string* name) {
    std::vector<std::string_view> parts = Components(relative);
    std::string_view last;
    if (toParent) {
      if (parts.empty()) return Status::InvalidArgument(label + " names no file");
      last = parts.back();
      parts.pop_back();
    }
    int hops = 0;
    for (std::string_view part : parts) {
      if (Status s = Step(&cur, part, &hops); !s.ok()) return s;
    }
    if (toParent) {
      if (last == "." || last == "..") {
        return Status::InvalidArgument(label + " names a folder, not a file");
      }
      *name = ResolveName(cur, last);
    }
    *out = std::move(cur);
    return Status::OK();
  }

  static Status Start(std::string_view path, Folder* out, std::string_view* rest) {
    const std::string base = ProgramFolder();
    std::string anchor;
    bool trustAll = true;
    *rest = path;
    if (!base.empty() && path.substr(0, base.size()) == base &&
        (path.size() == base.size() || IsSeparator(path[base.size()]) || base == "/")) {
      anchor = base;
      *rest = path.substr(base.size());
      trustAll = false;
    } else if (!path.empty() && IsSeparator(path[0])) {
      anchor = "/";
    } else {
      anchor = ".";
    }
    const int fd = open(anchor.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
      return PosixError(trustAll ? anchor : "server folder " + anchor, errno);
    }
    out->fd_.reset(fd);
    out->ownerKnown_ = false;
    out->host_ = anchor == "." ? std::string() : anchor;
    out->trustAll_ = trustAll;
    return Status::OK();
  }

  // Takes `cur` one step down to its sub-folder `component`.
  static Status Step(Folder* cur, std::string_view component, int* hops) {
    if (component == ".") return Status::OK();
    if (component == "..") {
      const int fd = cur->fs().OpenAt(cur->fd(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC, 0);
      if (fd < 0) return PosixError(cur->HostOf(".."), errno);
      cur->fd_.reset(fd);
      cur->ownerKnown_ = false;
      cur->host_ = cur->host_.empty() ? ".." : HostFolderOf(cur->host_);
      return Status::OK();
    }
    bool exists = false;
    const std::string name = ResolveName(*cur, component, &exists);
    const std::string host = cur->HostOf(name);
    if (!exists) return Status::NotFound(host + ": no such folder", ENOENT);
    for (int attempt = 0; attempt < 3; ++attempt) {
      const int fd = cur->fs().OpenAt(cur->fd(), name.c_str(), kWalkFlags, 0);
      if (fd >= 0) {
        cur->fd_.reset(fd);
        cur->ownerKnown_ = false;
        cur->host_ = host;
        return Status::OK();
      }
      const int err = errno;
      if (err != ENOTDIR && err != ELOOP) return PosixError(host, err);
      struct stat st;
      if (cur->fs().FstatAt(cur->fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return PosixError(host, errno);
      }
      if (S_ISDIR(st.st_mode)) continue;  // replaced meanwhile: look again
      if (!S_ISLNK(st.st_mode)) return Status::NotFound(host + " is not a folder", ENOTDIR);
      Folder next;
      if (Status s = FollowOne(*cur, name, st, hops, &next, nullptr); !s.ok()) return s;
      next.host_ = host;  // messages name the path the operator knows
      *cur = std::move(next);
      return Status::OK();
    }
    return PosixError(host, ELOOP);
  }

  // Follows the link `name` of `dir` (its lstat is `st`) when it may be
  // followed. With `last`, walks to the folder that holds the link's target
  // and sets *last to the target's own name (resolved by the case rule);
  // without, walks to the target folder itself.
  static Status FollowOne(const Folder& dir, const std::string& name, const struct stat& st,
                          int* hops, Folder* out, std::string* last) {
    const std::string host = dir.HostOf(name);
    if (!dir.trustAll_ && !IsTrustedLink(st)) return UntrustedLink(host, st);
    if (++*hops > kMaxLinks) return PosixError(host, ELOOP);
    int err = 0;
    const std::string target = ReadLinkAt(dir.fd(), name, &err);
    if (err != 0) return PosixError("cannot read the link " + host, err);
    Folder from;
    if (!target.empty() && target[0] == '/') {
      const int fd = dir.fs().OpenAt(AT_FDCWD, "/", O_PATH | O_DIRECTORY | O_CLOEXEC, 0);
      if (fd < 0) return PosixError("/", errno);
      from.fd_.reset(fd);
      from.ownerKnown_ = false;
      from.host_ = "/";
      from.trustAll_ = dir.trustAll_;
      from.fs_ = dir.fs_;
    } else {
      if (Status s = dir.Duplicate(&from); !s.ok()) return s;
    }
    std::vector<std::string_view> parts = Components(target);
    if (last) {
      if (parts.empty()) return Status::NotFound(host + " is a link that names no file", ENOENT);
      const std::string_view final = parts.back();
      parts.pop_back();
      for (std::string_view part : parts) {
        if (Status s = Step(&from, part, hops); !s.ok()) return s;
      }
      if (final == "." || final == "..") {
        return Status::IOError(host + " is a link to a folder, not a file", EISDIR);
      }
      *last = ResolveName(from, final);
    } else {
      for (std::string_view part : parts) {
        if (Status s = Step(&from, part, hops); !s.ok()) return s;
      }
    }
    *out = std::move(from);
    return Status::OK();
  }

  static Status Walk(std::string_view toolPath, bool toParent, Folder* out, std::string* name) {
    std::string_view rest;
    Folder cur;
    if (Status s = Start(toolPath, &cur, &rest); !s.ok()) return s;
    return Descend(std::move(cur), rest, toParent, std::string(toolPath), out, name);
  }

  static void Reset(Target* t, const Folder* given, std::string_view name) {
    t->given_ = given;
    t->followed_ = Folder();
    t->elsewhere_ = false;
    t->name_.assign(name);
  }

  // Moves `t` on through the link at its place (lstat `st`).
  static Status Through(Target* t, const struct stat& st, int* hops) {
    Folder next;
    std::string name;
    if (Status s = FollowOne(t->folder(), t->name_, st, hops, &next, &name); !s.ok()) return s;
    t->followed_ = std::move(next);
    t->elsewhere_ = true;
    t->name_ = std::move(name);
    return Status::OK();
  }

  static void Lenient(std::string_view toolPath, std::string* out) {
    std::string_view rest;
    Folder cur;
    if (!Start(toolPath, &cur, &rest).ok()) {
      *out = SpelledPath(toolPath);
      return;
    }
    const std::vector<std::string_view> parts = Components(rest);
    std::string path = cur.host_;
    int hops = 0;
    size_t i = 0;
    // Every component that can be walked, by the case rule ("." and ".."
    // kept as written), then the rest as spelled.
    for (; i < parts.size(); ++i) {
      const std::string_view part = parts[i];
      if (i + 1 == parts.size() && part != "." && part != "..") {
        path = JoinHostPath(path, ResolveName(cur, part));
        ++i;
        break;
      }
      const bool dots = part == "." || part == "..";
      Folder next;
      if (!cur.Duplicate(&next).ok() || !Step(&next, part, &hops).ok()) {
        // No folder to go on in (missing, a file, a link that leads
        // nowhere or may not be followed): its own name still resolves.
        path = JoinHostPath(path, dots ? std::string(part) : ResolveName(cur, part));
        ++i;
        break;
      }
      path = JoinHostPath(path, dots ? std::string(part) : HostNameOf(next.host_));
      cur = std::move(next);
    }
    for (; i < parts.size(); ++i) path = JoinHostPath(path, std::string(parts[i]));
    *out = path.empty() ? "." : path;
  }
};

long Folder::NameLimit() const {
  if (nameMax_ <= 0) {
    const long limit = fpathconf(fd_.get(), _PC_NAME_MAX);
    nameMax_ = limit > 0 ? limit : 255;
  }
  return nameMax_;
}

bool Folder::Owner(uid_t* uid, gid_t* gid) const {
  if (!ownerKnown_) {
    struct stat st;
    if (fs().Fstat(fd_.get(), &st) != 0) return false;
    uid_ = st.st_uid;
    gid_ = st.st_gid;
    ownerKnown_ = true;
  }
  *uid = uid_;
  *gid = gid_;
  return true;
}

void AdoptFolderOwner(const Folder& folder, int fd) {
  uid_t uid = 0;
  gid_t gid = 0;
  // The folder's owner is known after the first file; asking who we are
  // costs a call, so only where it could matter.
  if (!folder.valid() || !folder.Owner(&uid, &gid) || (uid == 0 && gid == 0)) return;
  if (geteuid() != 0) return;
  // Best effort, as the comment in the header says.
  (void)folder.fs().Fchown(fd, uid, gid);
}

Status Folder::Duplicate(Folder* out) const {
  const int fd = fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return PosixError(host_, errno);
  out->fd_.reset(fd);
  out->ownerKnown_ = false;
  out->host_ = host_;
  out->trustAll_ = trustAll_;
  out->fs_ = fs_;
  return Status::OK();
}

Status OpenFolder(std::string_view toolPath, Folder* out) {
  return FolderWalker::Walk(toolPath, false, out, nullptr);
}

Status OpenServerRoot(const std::string& root, Folder* out, FileSystem& fs) {
  return FolderWalker::Root(root, out, fs);
}

Status OpenFolderBelow(const Folder& from, std::string_view relative, Folder* out) {
  return FolderWalker::Below(from, relative, false, out, nullptr);
}

Status LocateBelow(const Folder& from, std::string_view relative, Folder* folder,
                   std::string* name) {
  return FolderWalker::Below(from, relative, true, folder, name);
}

Status OpenSubFolder(const Folder& parent, std::string_view name, Folder* out) {
  Folder cur;
  if (Status s = parent.Duplicate(&cur); !s.ok()) return s;
  int hops = 0;
  if (Status s = FolderWalker::Step(&cur, name, &hops); !s.ok()) return s;
  *out = std::move(cur);
  return Status::OK();
}

Status LocateEntry(std::string_view toolPath, Folder* folder, std::string* name) {
  return FolderWalker::Walk(toolPath, true, folder, name);
}

std::string ResolveName(const Folder& folder, std::string_view name, bool* exists,
                        struct stat* found) {
  std::string spelled(name);
  struct stat own;
  struct stat& st = found ? *found : own;
  if (folder.fs().FstatAt(folder.fd(), spelled.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (exists) *exists = true;
    return spelled;
  }
  if (exists) *exists = false;
  if (spelled.empty() || spelled == "." || spelled == "..") return spelled;
  const std::string key = UpperAscii(spelled);
  // A match the listing remembers that is gone (another program removed it
  // within one timestamp step) makes the folder be listed again.
  for (int attempt = 0; attempt < 2; ++attempt) {
    const FolderIndex* ix = IndexOf(folder);
    if (!ix) return spelled;
    auto hit = ix->byUpper.find(key);
    if (hit == ix->byUpper.end()) return spelled;
    if (folder.fs().FstatAt(folder.fd(), hit->second.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      if (exists) *exists = true;
      return hit->second;
    }
    struct stat dirSt;
    if (fstat(folder.fd(), &dirSt) == 0) Indexes().erase(FolderKey{dirSt.st_dev, dirSt.st_ino});
  }
  return spelled;
}

void NoteCreated(const Folder& folder, std::string_view name) {
  struct stat st;
  if (fstat(folder.fd(), &st) != 0) return;
  auto& indexes = Indexes();
  auto it = indexes.find(FolderKey{st.st_dev, st.st_ino});
  if (it == indexes.end()) return;
  AddName(it->second, std::string(name));
  it->second.stamp = FileStamp::Of(st);
  it->second.racy = false;  // the change just made is the one accounted for
}

Target Target::At(const Folder& folder, std::string_view name) {
  Target t;
  FolderWalker::Reset(&t, &folder, name);
  return t;
}

Status FollowLinks(const Folder& folder, std::string_view name, Target* target, struct stat* st,
                   bool* exists) {
  FolderWalker::Reset(target, &folder, name);
  for (int hops = 0;;) {
    if (target->folder().fs().FstatAt(target->folder().fd(), target->name().c_str(), st,
                                      AT_SYMLINK_NOFOLLOW) != 0) {
      const int err = errno;
      if (err != ENOENT) return PosixError(target->host(), err);
      *exists = false;
      return Status::OK();
    }
    if (!S_ISLNK(st->st_mode)) {
      *exists = true;
      return Status::OK();
    }
    if (Status s = FolderWalker::Through(target, *st, &hops); !s.ok()) return s;
  }
}

Status OpenFile(const Folder& folder, std::string_view name, int flags, mode_t mode, UniqueFd* fd,
                struct stat* st, bool* created, Target* where) {
  Target local;
  Target& t = where ? *where : local;
  FolderWalker::Reset(&t, &folder, name);
  if (created) *created = false;
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos) {
    return Status::InvalidArgument(folder.HostOf(name) + " is not a file name");
  }
  const bool create = (flags & O_CREAT) != 0;
  const bool exclusive = create && (flags & O_EXCL) != 0;
  const int base = (flags & ~(O_CREAT | O_EXCL)) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int hops = 0;
  for (int round = 0; round < 3 * kMaxLinks; ++round) {
    const int dirFd = t.folder().fd();
    FileSystem& fs = t.folder().fs();
    const char* entry = t.name().c_str();
    bool made = false;
    int f;
    if (exclusive) {
      f = fs.OpenAt(dirFd, entry, base | O_CREAT | O_EXCL, mode);
      made = f >= 0;
    } else {
      f = fs.OpenAt(dirFd, entry, base, 0);
      if (f < 0 && errno == ENOENT && create) {
        f = fs.OpenAt(dirFd, entry, base | O_CREAT | O_EXCL, mode);
        made = f >= 0;
        if (f < 0 && errno == EEXIST) continue;  // made meanwhile: open that one
      }
    }
    if (f >= 0) {
      UniqueFd owned(f);
      if (fs.Fstat(f, st) != 0) return PosixError("cannot examine " + t.host(), errno);
      if (!S_ISREG(st->st_mode)) return NotOrdinaryFile(t.host());
      if (made) NoteCreated(t.folder(), t.name());
      *fd = std::move(owned);
      if (created) *created = made;
      return Status::OK();
    }
    const int err = errno;
    if (err == EEXIST) return PosixError("cannot create " + t.host(), err);
    struct stat lst;
    // ELOOP: the name is a link (O_NOFOLLOW). ENXIO, EISDIR, EWOULDBLOCK:
    // a FIFO, a socket, a device or a folder.
    if (err != ELOOP && err != ENXIO && err != EISDIR && err != EWOULDBLOCK && err != EAGAIN) {
      return PosixError(create ? "cannot open or create " + t.host() : "cannot open " + t.host(),
                        err);
    }
    if (fs.FstatAt(dirFd, entry, &lst, AT_SYMLINK_NOFOLLOW) != 0) {
      return PosixError("cannot open " + t.host(), errno);
    }
    if (!S_ISLNK(lst.st_mode)) {
      // A file there now where the open met something else: replaced
      // meanwhile, open again. A file that could not be opened without
      // waiting (a lease) stays refused.
      if (S_ISREG(lst.st_mode) && err != EWOULDBLOCK && err != EAGAIN) continue;
      if (S_ISREG(lst.st_mode)) return PosixError("cannot open " + t.host(), err);
      return NotOrdinaryFile(t.host());
    }
    if (Status s = FolderWalker::Through(&t, lst, &hops); !s.ok()) return s;
  }
  return PosixError(t.host(), ELOOP);
}

Status OpenFolderForReading(const Folder& folder, UniqueFd* fd) {
  const int f = folder.fs().OpenAt(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (f < 0) return PosixError("cannot open the folder " + folder.host(), errno);
  fd->reset(f);
  return Status::OK();
}

std::string ResolveHostPath(std::string_view toolPath) {
  std::string out;
  FolderWalker::Lenient(toolPath, &out);
  return out;
}

void ForgetFolderListings() { Indexes().clear(); }

}  // namespace common
