#include "accounts/account_restore.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>

#include "accounts/account_backup.h"
#include "accounts/inventory_wipe.h"
#include "common/atomic_file.h"
#include "common/binary_record.h"
#include "common/profile.h"
#include "common/server_layout.h"
#include "common/steady_read.h"
#include "common/trusted_folder.h"
#include "common/unique_fd.h"
#include "common/visible_text.h"

namespace calmet {

namespace {

using common::Folder;
using common::Status;

// Gives the account back the owner, group and mode the backup recorded,
// where they differ now; says what the system refused.
void GiveBackIdentity(const Folder& accounts, const ManifestFile& f,
                      std::vector<std::string>* notes) {
  common::UniqueFd fd;
  struct stat st;
  if (Status s = common::OpenFile(accounts, f.name, O_RDONLY, 0, &fd, &st); !s.ok()) {
    notes->push_back(common::VisibleName(s.message()) + ": owner, group and mode not checked");
    return;
  }
  common::FileSystem& fs = accounts.fs();
  const std::string host = common::VisibleName(accounts.HostOf(f.name));
  if (st.st_uid != f.uid || st.st_gid != f.gid) {
    // The owner first: a change of owner may clear the set-id bits, which
    // the mode below puts back.
    if (fs.Fchown(fd.get(), f.uid, f.gid) != 0) {
      const int err = errno;
      // An operator may still give the group back on a file he owns.
      if (st.st_gid != f.gid && fs.Fchown(fd.get(), static_cast<uid_t>(-1), f.gid) == 0) {
        st.st_gid = f.gid;
      }
      if (st.st_uid != f.uid || st.st_gid != f.gid) {
        notes->push_back(host + ": owner " + std::to_string(f.uid) + ":" + std::to_string(f.gid) +
                         " not given back (" + std::strerror(err) + "); it belongs to " +
                         std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid));
      }
    }
  }
  // What the change of owner left.
  if (fs.Fstat(fd.get(), &st) != 0) {
    notes->push_back(host + ": mode not checked (" + std::strerror(errno) + ")");
    return;
  }
  // An account is data: set-id and sticky bits are never put on one, even
  // if a manifest lists them.
  const mode_t mode = static_cast<mode_t>(f.mode) & 0777;
  if ((st.st_mode & 07777) != mode) {
    if (fs.Fchmod(fd.get(), mode) != 0) {
      notes->push_back(host + ": mode " + std::to_string(f.mode >> 6 & 7) +
                       std::to_string(f.mode >> 3 & 7) + std::to_string(f.mode & 7) +
                       " not given back (" + std::strerror(errno) + ")");
    }
  }
}

// One account put back. OK when it holds the backed-up bytes afterwards.
Status RestoreAccount(const Folder& accounts, const ManifestFile& f, const std::string& bytes,
                      bool force) {
  try {
    for (int attempt = 0; attempt < common::kSteadyAttempts; ++attempt) {
      common::SteadyFile read;
      Status r = common::ReadSteady(accounts, f.name, common::kMaxProfileFileBytes, &read);
      if (!r.ok() && !r.IsNotFound()) return r;
      const bool missing = r.IsNotFound();
      const std::string now = missing ? std::string() : ContentHash(read.bytes);
      if (!missing && now == f.hash) return Status::OK();  // already as backed up
      if (!force && (missing || f.wiped.empty() || now != f.wiped)) {
        return Status::Changed(accounts.HostOf(f.name) + ": " + kChangedSinceWipe);
      }
      Status s = common::ReplaceReadVersion(accounts, f.name, missing ? nullptr : &read, bytes,
                                            /*flushFolder=*/false);
      // Saved by the server between the read and the replace: decide again
      // on what it holds now.
      if (s.IsChanged()) continue;
      return s;
    }
    return Status::Changed(accounts.HostOf(f.name) + ": changed while being restored");
  } catch (const std::exception& e) {
    return Status::IOError(f.name + ": " + e.what());
  }
}

}  // namespace

common::JobResult RestoreAccounts(const common::ServerFolder& server, const CheckedBackup& backup,
                                  bool force, common::JobEvents& events,
                                  std::vector<std::string>* notes) {
  const std::vector<ManifestFile>& files = backup.manifest.files;
  const int32_t total = static_cast<int32_t>(files.size());
  common::JobRun run(events, kRestoreJob, 1, total);
  common::JobResult& result = run.result();
  if (!backup.matches()) {
    result.status = Status::InvalidArgument("the backup does not match its manifest");
    return run.Finish();
  }
  Folder accounts;
  if (Status s = server.OpenFolder(common::layout::kAccountsFolder, &accounts); !s.ok()) {
    result.status = s.WithContext("accounts folder");
    return run.Finish();
  }
  common::RemoveStaleTempsIn(accounts);
  run.Start();
  for (int32_t i = 0; i < total; ++i) {
    const int32_t item = i + 1;
    run.Before(item);
    const ManifestFile& f = files[static_cast<size_t>(i)];
    Status s = RestoreAccount(accounts, f, backup.contents[static_cast<size_t>(i)], force);
    if (s.ok()) {
      GiveBackIdentity(accounts, f, notes);
      run.Done(item);
    } else {
      const common::ItemProblem::Kind kind = AccountProblemKind(s);
      run.Problem({item, f.name, std::move(s), kind});
    }
    if (item < total && run.StopNow()) break;
  }
  if (result.done > 0) result.flushed = common::FlushFileSystem(accounts);
  return run.Finish();
}

Box RestoreReport(const common::JobResult& result, const std::string& backup) {
  static const AccountJobTexts texts{kRestoreDone,        kRestoreDoneTitle, kRestoreFailed,
                                     kRestoreFailedTitle, "restore",         "restored",
                                     kRestoreNotFlushed};
  return AccountJobReport(result, texts, backup);
}

}  // namespace calmet
