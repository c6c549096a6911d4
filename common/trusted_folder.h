// Reaching the files below the server folder without following a link the
// operator did not make.
//
// The game server runs under an account of its own, and whoever takes it
// over can plant symbolic links anywhere under the server folder, where the
// operator, often as root, runs the tools. So, below the server folder, a
// link is followed only when it belongs to root or to the user the tool runs
// as (the rule the kernel's protected_symlinks applies in sticky folders,
// here applied to every step), and every step is taken from the descriptor
// of the folder before it (openat with O_NOFOLLOW): a link swapped in
// between a check and an open is refused too. The server folder itself was
// named by the operator (the program folder, or --server-dir, which may be a
// link) and is opened as the system resolves it. A path that does not lie
// below the server folder is the caller's own (a backup folder the operator
// named): its links are followed as the system follows them.
//
// Names resolve without regard to case, as the server's tools have always
// resolved them: a component that exists exactly as spelled is taken,
// otherwise the first name equal to it but for ASCII case, in byte order; a
// missing last component keeps the caller's spelling, so a new file gets it.
//
// Threads: the listings behind the case rule are process-wide and unguarded;
// the tools resolve names from their one thread only.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "common/file_system.h"
#include "common/status.h"
#include "common/unique_fd.h"

namespace common {

// True when the link described by `link` (its lstat) may be followed.
bool IsTrustedLink(const struct stat& link);

// The refusal of a link IsTrustedLink turns away, naming it and its owner.
// Refusals are NotSupported: what the tools deliberately do not do, which a
// job reports for that file and then goes on with the next.
Status UntrustedLink(const std::string& hostPath, const struct stat& link);

// The refusal of something that is not an ordinary file ("<path> is not an
// ordinary file"), NotSupported too.
Status NotOrdinaryFile(const std::string& hostPath);

// True for the two refusals above; IsUntrustedLink for the first only.
inline bool IsRefusal(const Status& s) { return s.code() == Status::Code::kNotSupported; }
inline bool IsUntrustedLink(const Status& s) { return IsRefusal(s) && s.sysError() == ELOOP; }

// An open folder (an O_PATH descriptor, which needs no read permission),
// reached by the trusted walk, and its host path, for messages only: every
// file operation goes through the descriptor.
class Folder {
 public:
  Folder() = default;
  Folder(Folder&&) = default;
  Folder& operator=(Folder&&) = default;

  bool valid() const { return fd_.valid(); }
  int fd() const { return fd_.get(); }
  const std::string& host() const { return host_; }
  // The host path of entry `name`, for messages.
  std::string HostOf(std::string_view name) const;
  // Links found below this folder are followed as the system follows them
  // (a folder outside the server folder, which the caller named).
  bool trustsEveryLink() const { return trustAll_; }
  // The file system every operation on the folder goes through.
  FileSystem& fs() const { return *fs_; }

  // Another descriptor of the same folder.
  Status Duplicate(Folder* out) const;

  // The folder's file system's limit on the length of a name, asked once.
  long NameLimit() const;
  // The folder's owner and group, asked once; false when they cannot be.
  bool Owner(uid_t* uid, gid_t* gid) const;

 private:
  friend class FolderWalker;
  UniqueFd fd_;
  std::string host_;
  bool trustAll_ = false;
  FileSystem* fs_ = &FileSystem::Posix();
  mutable long nameMax_ = 0;
  mutable bool ownerKnown_ = false;
  mutable uid_t uid_ = 0;
  mutable gid_t gid_ = 0;
};

// The folder at `toolPath` (built on the program folder; "\" or "/"
// separate, doubled ones count once), walked by the rules above. NotFound
// when a component is missing; the refusal of a link; IOError otherwise.
Status OpenFolder(std::string_view toolPath, Folder* out);

// The server folder `root` itself (a host path): the operator named it, so
// it is opened as the system resolves it; what is walked from it follows
// the rule.
Status OpenServerRoot(const std::string& root, Folder* out, FileSystem& fs = FileSystem::Posix());

// The folder at `relative` ("\"- or "/"-separated, "\Items\" say) below
// `from`, and the folder and name of the entry at `relative`, walked by
// the rules above.
Status OpenFolderBelow(const Folder& from, std::string_view relative, Folder* out);
Status LocateBelow(const Folder& from, std::string_view relative, Folder* folder,
                   std::string* name);

// The sub-folder `name` of `parent`, by the same rules.
Status OpenSubFolder(const Folder& parent, std::string_view name, Folder* out);

// The folder that holds the entry at `toolPath` and the entry's name in it
// (resolved by the case rule; the caller's spelling when it does not exist).
Status LocateEntry(std::string_view toolPath, Folder* folder, std::string* name);

// The name of entry `name` in `folder` by the case rule; `exists` (when
// given) tells whether anything, a link included, has that name, and `st`
// (when given) is then its lstat.
std::string ResolveName(const Folder& folder, std::string_view name, bool* exists = nullptr,
                        struct stat* st = nullptr);

// A file or folder the tools make (open as `fd` in `folder`) belongs, as the
// server's own files do, to whoever owns the folder it is made in: made by
// root it would be root's, and the server's account could no longer rewrite
// its own data. Only what root makes in a folder of another owner changes;
// anyone else's files are left as the system made them. A refusal changes
// nothing and is not an error: the file is complete either way.
void AdoptFolderOwner(const Folder& folder, int fd);

// Tells the case rule's listing of `folder` that the caller made `name`
// there, so that the listing stays valid without being read again.
void NoteCreated(const Folder& folder, std::string_view name);

// Where an entry finally lies once the trusted links at its place have been
// followed: the folder given, or the folder a link led to.
class Target {
 public:
  // Entry `name` of `folder` itself, no link followed.
  static Target At(const Folder& folder, std::string_view name);

  const Folder& folder() const { return elsewhere_ ? followed_ : *given_; }
  const std::string& name() const { return name_; }
  std::string host() const { return folder().HostOf(name_); }
  // True when a link was followed to another folder.
  bool elsewhere() const { return elsewhere_; }

 private:
  friend class FolderWalker;
  const Folder* given_ = nullptr;
  Folder followed_;
  bool elsewhere_ = false;
  std::string name_;
};

// Follows the trusted links at entry `name` (taken as spelled) of `folder`
// to the entry they lead to. `exists` tells whether that entry exists (a
// dangling link leads to a name that does not), `st` is then its lstat. A
// link that may not be followed is refused, as are more than 40 links in a
// row.
Status FollowLinks(const Folder& folder, std::string_view name, Target* target, struct stat* st,
                   bool* exists);

// Opens entry `name` (taken as spelled) of `folder` as an ordinary file.
// `flags` are open()'s access mode, optionally with O_CREAT, O_EXCL,
// O_APPEND; O_NOFOLLOW, O_NONBLOCK (nothing ever waits on a FIFO) and
// O_CLOEXEC are always added. A trusted link is followed (without O_EXCL),
// an untrusted one refused; anything but an ordinary file is refused once it
// is open, on the descriptor. `st` receives the file's fstat; `created`
// whether this call made it; `where` where the file lies.
Status OpenFile(const Folder& folder, std::string_view name, int flags, mode_t mode, UniqueFd* fd,
                struct stat* st, bool* created = nullptr, Target* where = nullptr);

// A readable descriptor of `folder` itself, for listing it or flushing it.
Status OpenFolderForReading(const Folder& folder, UniqueFd* fd);

// The host path `toolPath` names, resolved as far as it exists by the rules
// above and spelled as given from there on. For messages and for the
// callers that hand a path to another program; never opened by the tools.
std::string ResolveHostPath(std::string_view toolPath);

// Forgets every remembered listing (a test that rewrites folders within one
// clock tick).
void ForgetFolderListings();

}  // namespace common
