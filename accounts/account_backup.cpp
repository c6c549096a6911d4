#include "accounts/account_backup.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <cerrno>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/atomic_file.h"
#include "common/host_path.h"
#include "common/profile.h"
#include "common/server_layout.h"
#include "common/steady_read.h"
#include "common/trusted_folder.h"
#include "common/unique_fd.h"

namespace calmet {

namespace {

using common::Folder;
using common::Status;
using common::UniqueFd;

Status SyncFolder(const Folder& dir) {
  UniqueFd fd;
  if (Status s = common::OpenFolderForReading(dir, &fd); !s.ok()) return s;
  if (dir.fs().Fsync(fd.get()) != 0) return common::PosixError(dir.host(), errno);
  return Status::OK();
}

// Creates `dir` and its missing parents; only the last is private.
Status MakeFolder(const std::string& dir) {
  struct stat st;
  if (::stat(dir.c_str(), &st) == 0) {
    if (!S_ISDIR(st.st_mode)) return Status::InvalidArgument(dir + ": not a folder");
    return Status::OK();
  }
  std::error_code ec;
  const std::filesystem::path path(dir);
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  if (ec) return common::PosixError(path.parent_path().string(), ec.value());
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return common::PosixError(dir, errno);
  // The new entry must reach the disk with the copies.
  const int parent = ::open(path.has_parent_path() ? path.parent_path().c_str() : ".",
                            O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parent < 0) return common::PosixError(path.parent_path().string(), errno);
  const int rc = ::fsync(parent);
  const int err = errno;
  ::close(parent);
  if (rc != 0) return common::PosixError(path.parent_path().string(), err);
  return Status::OK();
}

// The whole of the ordinary file `name` of `dir`, opened without following
// a link and without waiting.
Status ReadCopy(const Folder& dir, const std::string& name, std::string* bytes,
                struct stat* st) {
  common::FileSystem& fs = dir.fs();
  UniqueFd fd(fs.OpenAt(dir.fd(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0));
  if (!fd.valid()) return common::PosixError(dir.HostOf(name), errno);
  if (fs.Fstat(fd.get(), st) != 0) return common::PosixError(dir.HostOf(name), errno);
  if (!S_ISREG(st->st_mode)) return common::NotOrdinaryFile(dir.HostOf(name));
  bool complete = false;
  return common::ReadAllAt(fs, fd.get(), dir.HostOf(name), static_cast<size_t>(st->st_size),
                           bytes, &complete);
}

// One copy on its way: written to its temporary file, to be renamed to
// `target` once all are flushed.
struct Pending {
  common::TempFile temp;
  std::string target;
  std::string hash;  // of the bytes read from the account, to check the copy
  size_t position = 0;  // in the listing
};

}  // namespace

std::string ContentHash(std::string_view bytes) {
  const QByteArray hash = QCryptographicHash::hash(
      QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
      QCryptographicHash::Sha256);
  return hash.toStdString();
}

Status BackUpAccounts(const AccountListing& listing, const std::string& hostDir,
                      BackupResult* result,
                      const std::function<void(int32_t, int32_t)>& progress) {
  result->accounts.assign(listing.files.size(), BackedUpAccount{});
  if (hostDir.empty()) return Status::InvalidArgument("no backup folder given");
  if (Status s = MakeFolder(hostDir); !s.ok()) return s.WithContext("backup folder");
  Folder backup;
  if (Status s = common::OpenFolder(hostDir, &backup); !s.ok()) {
    return s.WithContext("backup folder");
  }
  Folder accounts;
  if (Status s = common::OpenFolder(common::layout::ServerPath(common::layout::kAccountsFolder),
                                    &accounts);
      !s.ok()) {
    return s.WithContext("accounts folder");
  }
  struct stat a, b;
  if (::fstat(accounts.fd(), &a) == 0 && ::fstat(backup.fd(), &b) == 0 && a.st_dev == b.st_dev &&
      a.st_ino == b.st_ino) {
    return Status::InvalidArgument(hostDir + ": the backup folder is the accounts folder");
  }
  // What a killed backup left behind.
  {
    UniqueFd listFd;
    std::vector<std::string> names;
    if (common::OpenFolderForReading(backup, &listFd).ok()) {
      if (DIR* dir = ::fdopendir(listFd.release())) {
        while (dirent* e = ::readdir(dir)) {
          if (common::LooksLikeTemp(e->d_name)) names.emplace_back(e->d_name);
        }
        ::closedir(dir);
      }
    }
    common::RemoveStaleTemps(backup, names);
  }

  // Temporary files not renamed yet are removed however the backup ends
  // (TempFile); renamed copies stay.
  std::vector<Pending> pending;
  const int32_t total = static_cast<int32_t>(listing.files.size());
  for (int32_t p = 0; p < total; ++p) {
    const std::string& file = listing.files[static_cast<size_t>(p)];
    BackedUpAccount& account = result->accounts[static_cast<size_t>(p)];
    common::SteadyFile read;
    // An account that cannot be read is not one the wipe could write: it is
    // left out of both, and named by the wipe.
    if (Status s = common::ReadSteady(accounts, file, common::kMaxProfileFileBytes, &read);
        !s.ok()) {
      account.skipped = s;
      if (progress) progress(p + 1, total);
      continue;
    }
    account.hash = ContentHash(read.bytes);

    struct stat there;
    if (::fstatat(backup.fd(), file.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
      const std::string target = backup.HostOf(file);
      if (!S_ISREG(there.st_mode)) {
        return Status::InvalidArgument(
            target + " is not an ordinary file (a link, a FIFO or a folder); a backup holds "
                     "real copies only (choose an empty backup folder)");
      }
      if (there.st_dev == read.st.st_dev && there.st_ino == read.st.st_ino) {
        return Status::InvalidArgument(target + ": is the account file itself");
      }
      std::string copy;
      struct stat copySt;
      if (Status s = ReadCopy(backup, file, &copy, &copySt); !s.ok()) return s;
      if (copySt.st_ino != there.st_ino || copy != read.bytes) {
        return Status::InvalidArgument(
            target +
            ": a different file of that name is there already; it is kept (choose an "
            "empty backup folder)");
      }
      account.copied = true;
    } else if (errno != ENOENT) {
      return common::PosixError(backup.HostOf(file), errno);
    } else {
      // Unflushed: the whole backup is flushed at once below.
      Pending copy;
      if (Status s = common::TempFile::Write(backup, file, read.bytes, read.st.st_mode & 0777, "b",
                                             &copy.temp);
          !s.ok()) {
        return s;
      }
      if (Status s = copy.temp.Close(); !s.ok()) return s;
      copy.target = file;
      copy.hash = account.hash;
      copy.position = static_cast<size_t>(p);
      pending.push_back(std::move(copy));
    }
    if (progress) progress(p + 1, total);
  }
  // Each copy is on disk before it takes its name, so a crash leaves a
  // hidden temporary file, never a short copy under an account's name.
  {
    UniqueFd fd;
    if (Status s = common::OpenFolderForReading(backup, &fd); !s.ok()) return s;
    if (backup.fs().SyncFs(fd.get()) != 0) return common::PosixError(backup.host(), errno);
  }
  for (Pending& copy : pending) {
    // Never over anything that appeared meanwhile.
    if (Status s = copy.temp.Publish(copy.target, common::TempFile::Over::kNothing); !s.ok()) {
      return s;
    }
  }
  // The renames are on disk only once the folder is.
  if (Status s = SyncFolder(backup); !s.ok()) return s;
  for (const Pending& copy : pending) {
    std::string bytes;
    struct stat st;
    if (Status s = ReadCopy(backup, copy.target, &bytes, &st); !s.ok()) return s;
    if (ContentHash(bytes) != copy.hash) {
      return Status::IOError(backup.HostOf(copy.target) +
                             ": the copy read back differs from the account");
    }
    result->accounts[copy.position].copied = true;
  }
  return Status::OK();
}

}  // namespace calmet
