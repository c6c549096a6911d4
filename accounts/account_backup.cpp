#include "accounts/account_backup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/atomic_file.h"
#include "common/host_path.h"
#include "common/server_layout.h"

namespace calmet {

namespace {

// Closes the descriptor however the copy ends.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now, so that a failing close is seen.
  int Close() {
    const int r = ::close(fd_);
    fd_ = -1;
    return r;
  }

 private:
  int fd_;
};

common::Status ReadAll(const std::string& path, std::string* bytes, struct stat* st) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return common::PosixError(path, errno);
  if (::fstat(fd.get(), st) != 0) return common::PosixError(path, errno);
  if (!S_ISREG(st->st_mode))
    return common::Status::InvalidArgument(path + ": not an ordinary file");
  bytes->clear();
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return common::PosixError(path, errno);
    if (n == 0) break;
    bytes->append(buffer, static_cast<size_t>(n));
  }
  return common::Status::OK();
}

common::Status WriteAll(int fd, const std::string& path, const std::string& bytes) {
  if (!common::WriteAll(fd, bytes)) return common::PosixError(path, errno);
  return common::Status::OK();
}

common::Status SyncFolder(const std::string& dir) {
  Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return common::PosixError(dir, errno);
  if (::fsync(fd.get()) != 0) return common::PosixError(dir, errno);
  return common::Status::OK();
}

// Creates `dir` and its missing parents; only the last is private.
common::Status MakeFolder(const std::string& dir) {
  struct stat st;
  if (::stat(dir.c_str(), &st) == 0) {
    if (!S_ISDIR(st.st_mode)) return common::Status::InvalidArgument(dir + ": not a folder");
    return common::Status::OK();
  }
  std::error_code ec;
  const std::filesystem::path path(dir);
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  if (ec) return common::PosixError(path.parent_path().string(), ec.value());
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return common::PosixError(dir, errno);
  // The new entry must reach the disk with the copies.
  return SyncFolder(path.has_parent_path() ? path.parent_path().string() : ".");
}

// One copy on its way: written to `temp`, to be renamed to `target`.
struct Pending {
  std::string temp, target;
  size_t size = 0;
  size_t hash = 0;  // of the bytes read from the account, to check the copy
};

size_t HashOf(std::string_view bytes) { return std::hash<std::string_view>{}(bytes); }

// Reads the account and writes its copy to a hidden temporary file beside
// `target`, unflushed: the whole backup is flushed at once. Leaves
// `pending` empty when `target` already holds the same bytes.
common::Status Stage(const std::string& source, const std::string& target,
                     std::optional<Pending>* pending) {
  pending->reset();
  std::string bytes;
  struct stat sourceStat;
  if (common::Status s = ReadAll(source, &bytes, &sourceStat); !s.ok()) return s;

  struct stat targetStat;
  if (::lstat(target.c_str(), &targetStat) == 0) {
    if (targetStat.st_dev == sourceStat.st_dev && targetStat.st_ino == sourceStat.st_ino) {
      return common::Status::InvalidArgument(target + ": is the account file itself");
    }
    std::string there;
    struct stat ignored;
    if (common::Status s = ReadAll(target, &there, &ignored); !s.ok()) return s;
    if (there != bytes) {
      return common::Status::InvalidArgument(
          target +
          ": a different file of that name is there already; it is kept (choose an "
          "empty backup folder)");
    }
    return common::Status::OK();
  } else if (errno != ENOENT) {
    return common::PosixError(target, errno);
  }

  Pending copy;
  copy.target = target;
  copy.temp = common::JoinHostPath(
      common::HostFolderOf(target),
      "." + common::HostNameOf(target) + ".backup-" + std::to_string(::getpid()));
  copy.size = bytes.size();
  copy.hash = HashOf(bytes);
  Fd fd(::open(copy.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (fd.get() < 0) return common::PosixError(copy.temp, errno);
  common::Status s = WriteAll(fd.get(), copy.temp, bytes);
  if (s.ok() && ::fchmod(fd.get(), sourceStat.st_mode & 0777) != 0) {
    s = common::PosixError(copy.temp, errno);
  }
  if (s.ok() && fd.Close() != 0) s = common::PosixError(copy.temp, errno);
  if (!s.ok()) {
    ::unlink(copy.temp.c_str());
    return s;
  }
  *pending = std::move(copy);
  return common::Status::OK();
}

// Flushes every file written on the file system of `dir` at once: one
// flush for thousands of copies instead of one each.
common::Status SyncAll(const std::string& dir) {
  Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return common::PosixError(dir, errno);
  if (::syncfs(fd.get()) != 0) return common::PosixError(dir, errno);
  return common::Status::OK();
}

// The copy as the file system now gives it back.
common::Status Verify(const Pending& copy) {
  std::string bytes;
  struct stat ignored;
  if (common::Status s = ReadAll(copy.target, &bytes, &ignored); !s.ok()) return s;
  if (bytes.size() != copy.size || HashOf(bytes) != copy.hash) {
    return common::Status::IOError(copy.target + ": the copy read back differs from the account");
  }
  return common::Status::OK();
}

}  // namespace

common::Status BackUpAccounts(const AccountListing& listing, const std::string& hostDir,
                              const std::function<void(int32_t, int32_t)>& progress) {
  if (hostDir.empty()) return common::Status::InvalidArgument("no backup folder given");
  if (common::Status s = MakeFolder(hostDir); !s.ok()) return s.WithContext("backup folder");

  const std::string accounts =
      common::ResolvePath(common::layout::ServerPath(common::layout::kAccountsFolder));
  struct stat a, b;
  if (::stat(accounts.c_str(), &a) == 0 && ::stat(hostDir.c_str(), &b) == 0 &&
      a.st_dev == b.st_dev && a.st_ino == b.st_ino) {
    return common::Status::InvalidArgument(hostDir + ": the backup folder is the accounts folder");
  }

  std::vector<Pending> pending;
  // Temporary files left by a failure are removed; renamed copies stay.
  size_t renamed = 0;
  auto fail = [&pending, &renamed](common::Status s) {
    for (size_t i = renamed; i < pending.size(); ++i) ::unlink(pending[i].temp.c_str());
    return s;
  };
  const int32_t total = static_cast<int32_t>(listing.files.size());
  for (int32_t p = 0; p < total; ++p) {
    const std::string& file = listing.files[static_cast<size_t>(p)];
    const std::string source = common::ResolvePath(common::layout::AccountFile(file));
    std::optional<Pending> copy;
    if (common::Status s = Stage(source, common::JoinHostPath(hostDir, file), &copy); !s.ok()) {
      return fail(s);
    }
    if (copy) pending.push_back(std::move(*copy));
    if (progress) progress(p + 1, total);
  }
  // Each copy is on disk before it takes its name, so a crash leaves a
  // hidden temporary file, never a short copy under an account's name.
  if (common::Status s = SyncAll(hostDir); !s.ok()) return fail(s);
  for (; renamed < pending.size(); ++renamed) {
    const Pending& copy = pending[renamed];
    if (::rename(copy.temp.c_str(), copy.target.c_str()) != 0) {
      return fail(common::PosixError(copy.target, errno));
    }
  }
  // The renames are on disk only once the folder is.
  if (common::Status s = SyncFolder(hostDir); !s.ok()) return s;
  for (const Pending& copy : pending) {
    if (common::Status s = Verify(copy); !s.ok()) return s;
  }
  return common::Status::OK();
}

}  // namespace calmet
