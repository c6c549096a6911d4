#include "accounts/account_backup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <cerrno>
#include <string_view>
#include <vector>

#include "common/atomic_file.h"
#include "common/binary_record.h"
#include "common/host_path.h"
#include "common/profile.h"
#include "common/server_layout.h"
#include "common/steady_read.h"
#include "common/text_util.h"
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

// Makes the backup folder `dir` (a host path the operator gave) and any
// missing folder on the way, each through the trusted walk, so that a link
// planted below the server folder is not followed, and opens it into `out`:
// the copies go where the walk led, not where a second walk might. A new
// entry is flushed to the disk with the copies; each new folder is private.
Status MakeFolder(const std::string& dir, Folder* out) {
  Folder parent;
  std::string name;
  if (Status s = common::LocateEntry(dir, &parent, &name); s.IsNotFound()) {
    const size_t cut = dir.find_last_of('/');
    if (cut == std::string::npos || cut == 0) return s;
    Folder up;
    if (Status made = MakeFolder(dir.substr(0, cut), &up); !made.ok()) return made;
    if (Status again = common::LocateEntry(dir, &parent, &name); !again.ok()) return again;
  } else if (!s.ok()) {
    return s;
  }
  bool exists = false;
  name = common::ResolveName(parent, name, &exists);
  if (!exists) {
    if (Status s = common::CreateFolderIn(parent, name, 0700); !s.ok()) return s;
    if (Status s = SyncFolder(parent); !s.ok()) return s;
  }
  return common::OpenSubFolder(parent, name, out);
}

}  // namespace

Status ReadCopy(const Folder& dir, const std::string& name, std::string* bytes, struct stat* st) {
  common::FileSystem& fs = dir.fs();
  UniqueFd fd(fs.OpenAt(dir.fd(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0));
  if (!fd.valid()) return common::PosixError(dir.HostOf(name), errno);
  if (fs.Fstat(fd.get(), st) != 0) return common::PosixError(dir.HostOf(name), errno);
  if (!S_ISREG(st->st_mode)) return common::NotOrdinaryFile(dir.HostOf(name));
  bool complete = false;
  return common::ReadAllAt(fs, fd.get(), dir.HostOf(name), static_cast<size_t>(st->st_size), bytes,
                           &complete);
}

namespace {

// One copy on its way: written to its temporary file, to be renamed to
// `target` once all are flushed.
struct Pending {
  common::TempFile temp;
  std::string target;
  std::string hash;     // of the bytes read from the account, to check the copy
  size_t position = 0;  // in the listing
};

}  // namespace

common::Status CheckBackupWriter(const struct stat& st, const std::string& host) {
  if (st.st_uid != 0 && st.st_uid != geteuid()) {
    return Status::NotSupported(
        host + " belongs to uid " + common::Dec(static_cast<long long>(st.st_uid)) +
            ", not to root or to the user running the tool; a backup another account could "
            "have written is not trusted",
        EPERM);
  }
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return Status::NotSupported(host + " may be written by " +
                                    ((st.st_mode & S_IWOTH) ? "anyone" : "its group") +
                                    "; a backup another account could have written is not trusted",
                                EPERM);
  }
  return Status::OK();
}

std::string ContentHash(std::string_view bytes) {
  const QByteArray hash =
      QCryptographicHash::hash(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
                               QCryptographicHash::Sha256);
  return hash.toStdString();
}

common::JobResult BackUpAccounts(const common::ServerFolder& server, const AccountListing& listing,
                                 const std::string& hostDir, BackupResult* copies,
                                 common::JobEvents& events, Folder* opened) {
  copies->accounts.assign(listing.files.size(), BackedUpAccount{});
  auto notStarted = [&](Status s) {
    common::JobRun run(events, kBackupJob, 1, static_cast<int32_t>(listing.files.size()));
    run.result().status = std::move(s);
    return run.Finish();
  };
  if (hostDir.empty()) return notStarted(Status::InvalidArgument("no backup folder given"));
  Folder backup;
  if (Status s = MakeFolder(hostDir, &backup); !s.ok()) {
    return notStarted(s.WithContext("backup folder"));
  }
  common::JobResult result = BackUpAccountsInto(server, listing, backup, copies, events);
  if (opened) *opened = std::move(backup);
  return result;
}

common::JobResult BackUpAccountsInto(const common::ServerFolder& server,
                                     const AccountListing& listing, const Folder& backup,
                                     BackupResult* copies, common::JobEvents& events) {
  const std::string hostDir = backup.host();
  const int32_t total = static_cast<int32_t>(listing.files.size());
  common::JobRun run(events, kBackupJob, 1, total);
  common::JobResult& result = run.result();
  copies->accounts.assign(listing.files.size(), BackedUpAccount{});
  auto notStarted = [&](Status s) {
    result.status = std::move(s);
    return run.Finish();
  };
  Folder accounts;
  if (Status s = server.OpenFolder(common::layout::kAccountsFolder, &accounts); !s.ok()) {
    return notStarted(s.WithContext("accounts folder"));
  }
  struct stat a, b;
  if (backup.fs().Fstat(backup.fd(), &b) != 0) {
    return notStarted(common::PosixError("backup folder " + hostDir, errno));
  }
  if (Status s = CheckBackupWriter(b, hostDir); !s.ok()) return notStarted(s);
  if (::fstat(accounts.fd(), &a) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino) {
    return notStarted(
        Status::InvalidArgument(hostDir + ": the backup folder is the accounts folder"));
  }
  // What a killed backup left behind.
  common::RemoveStaleTempsIn(backup);
  run.Start();

  // Temporary files not renamed yet are removed however the backup ends
  // (TempFile); renamed copies stay.
  std::vector<Pending> pending;
  auto removeTemps = [&] { pending.clear(); };
  auto fail = [&](Status s, Status* into) {
    removeTemps();
    *into = std::move(s);
    return run.Finish();
  };
  for (int32_t p = 0; p < total; ++p) {
    const int32_t item = p + 1;
    run.Before(item);
    const std::string& file = listing.files[static_cast<size_t>(p)];
    BackedUpAccount& account = copies->accounts[static_cast<size_t>(p)];
    common::SteadyFile read;
    // An account that cannot be read is not one the wipe could write: it is
    // left out of both, and named by the wipe.
    if (Status s = common::ReadSteady(accounts, file, common::kMaxProfileFileBytes, &read);
        !s.ok()) {
      account.skipped = s;
      run.Problem({item, listing.lines[static_cast<size_t>(p)], std::move(s),
                   common::ItemProblem::Kind::kSkipped});
    } else {
      account.hash = ContentHash(read.bytes);
      account.size = static_cast<int64_t>(read.bytes.size());
      account.uid = read.st.st_uid;
      account.gid = read.st.st_gid;
      account.mode = read.st.st_mode & 07777;
      struct stat there;
      if (::fstatat(backup.fd(), file.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
        const std::string target = backup.HostOf(file);
        if (!S_ISREG(there.st_mode)) {
          return fail(
              Status::InvalidArgument(
                  target + " is not an ordinary file (a link, a FIFO or a folder); a backup "
                           "holds real copies only (choose an empty backup folder)"),
              &result.status);
        }
        if (there.st_dev == read.st.st_dev && there.st_ino == read.st.st_ino) {
          return fail(Status::InvalidArgument(target + ": is the account file itself"),
                      &result.status);
        }
        std::string copy;
        struct stat copySt;
        if (Status s = ReadCopy(backup, file, &copy, &copySt); !s.ok()) {
          return fail(s, &result.status);
        }
        if (copySt.st_ino != there.st_ino || copy != read.bytes) {
          return fail(Status::InvalidArgument(
                          target + ": a different file of that name is there already; it is kept "
                                   "(choose an empty backup folder)"),
                      &result.status);
        }
        account.copied = true;
      } else if (errno != ENOENT) {
        return fail(common::PosixError(backup.HostOf(file), errno), &result.status);
      } else {
        // Unflushed: the whole backup is flushed at once below.
        Pending copy;
        if (Status s = common::TempFile::Write(backup, file, read.bytes, read.st.st_mode & 0777,
                                               "b", &copy.temp);
            !s.ok()) {
          return fail(s, &result.status);
        }
        if (Status s = copy.temp.Close(); !s.ok()) return fail(s, &result.status);
        copy.target = file;
        copy.hash = account.hash;
        copy.position = static_cast<size_t>(p);
        pending.push_back(std::move(copy));
      }
      run.Done(item);
    }
    if (item < total && run.StopNow()) {
      // A backup cut short holds no copy the wipe may rely on.
      removeTemps();
      for (BackedUpAccount& a : copies->accounts) a.copied = false;
      return run.Finish();
    }
  }
  // Each copy is on disk before it takes its name, so a crash leaves a
  // hidden temporary file, never a short copy under an account's name.
  if (Status s = common::FlushFileSystem(backup); !s.ok()) return fail(s, &result.flushed);
  for (Pending& copy : pending) {
    // Never over anything that appeared meanwhile.
    if (Status s = copy.temp.Publish(copy.target, common::TempFile::Over::kNothing); !s.ok()) {
      return fail(s, &result.status);
    }
  }
  // The renames are on disk only once the folder is.
  if (Status s = SyncFolder(backup); !s.ok()) {
    result.flushed = s;
    return run.Finish();
  }
  for (const Pending& copy : pending) {
    std::string bytes;
    struct stat st;
    if (Status s = ReadCopy(backup, copy.target, &bytes, &st); !s.ok()) {
      result.status = s;
      return run.Finish();
    }
    if (ContentHash(bytes) != copy.hash) {
      result.status = Status::IOError(backup.HostOf(copy.target) +
                                      ": the copy read back differs from the account");
      return run.Finish();
    }
    copies->accounts[copy.position].copied = true;
  }
  return run.Finish();
}

Status BackupFailure(const common::JobResult& backup) {
  if (!backup.status.ok()) return backup.status;
  if (!backup.flushed.ok()) return backup.flushed.WithContext("the backup is not on disk");
  if (backup.stopped) return Status::Aborted("the backup was stopped before its end");
  if (!backup.started) return Status::Aborted("the backup did not start");
  return Status::OK();
}

}  // namespace calmet
