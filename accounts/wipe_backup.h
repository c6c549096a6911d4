// The backup every wipe makes first, and what a restore and the backups'
// listing need to trust it later: a manifest beside the copies that tells
// what each file held, whose it was, and what the wipe then wrote over it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/account_backup.h"
#include "accounts/account_list.h"
#include "common/job.h"
#include "common/server_folder.h"
#include "common/server_layout.h"
#include "common/status.h"
#include "common/trusted_folder.h"

namespace calmet {

using common::layout::kBackupsFolder;
using common::layout::kManifestFile;
// The version of the manifest's shape.
inline constexpr int kManifestVersion = 1;

// One account file in a backup.
struct ManifestFile {
  std::string name;  // its entry name, in the accounts folder and in the backup
  int64_t size = 0;
  std::string hash;  // ContentHash of the copy (raw bytes)
  uint32_t uid = 0, gid = 0, mode = 0;
  std::string wiped;  // ContentHash of what the wipe wrote; "" when it did not
};

struct Manifest {
  std::string created;  // UTC, ISO 8601
  std::string server;   // the server folder's host path
  std::vector<ManifestFile> files;
};

std::string ManifestJson(const Manifest& manifest);
// InvalidArgument naming what is wrong for a manifest that is not one: not
// JSON, another version, a file name that is not a plain entry name, a hash
// that is not one.
common::Status ParseManifest(std::string_view bytes, Manifest* out);

// The manifest and copies of a backup, checked against each other.
struct CheckedBackup {
  common::Status status;  // the manifest could not be read or is no manifest
  Manifest manifest;
  std::vector<std::string> contents;    // the copies' bytes, by manifest file
  std::vector<std::string> mismatches;  // each copy missing or not as listed, in words
  bool matches() const { return status.ok() && mismatches.empty(); }
};

// Reads the manifest of `backup` and every copy it lists, and compares each
// with its size and hash. Copies are read without following a link.
CheckedBackup CheckBackup(const common::Folder& backup);

// The wipe's backup: made before the first write, completed after the last.
class WipeBackup {
 public:
  // Copies every account of `listing` into `hostDir` when it is not empty,
  // otherwise into a new private folder Backups/<UTC time>-wipe of the
  // server folder (Backups made when missing), reached by the trusted walk;
  // then writes the manifest. Fails, for the wipe not to start, when either
  // cannot be done. Makes nothing when nothing is listed.
  common::Status Make(const common::ServerFolder& server, const AccountListing& listing,
                      const std::string& hostDir, common::JobEvents& events);

  const BackupResult& copies() const { return copies_; }
  // Where the wipe puts the hash of what it wrote, by listing position.
  std::vector<std::string>* written() { return &written_; }
  // The backup folder's host path, once Make has chosen it.
  const std::string& host() const { return host_; }

  // Rewrites the manifest with what the wipe wrote.
  common::Status Complete();

 private:
  common::Folder folder_;
  std::string host_;
  BackupResult copies_;
  std::vector<std::string> written_;
  Manifest manifest_;
  std::vector<size_t> positions_;  // the listing position of each manifest file
};

// One backup below Backups, as the listing shows it.
struct BackupSummary {
  std::string name;  // its folder's name
  std::string host;  // its host path
  CheckedBackup check;
};

// The backups in the Backups folder of `server`, by name; none when there
// is no such folder. Entries that are not folders (a link included) are
// passed over.
common::Status ListBackups(const common::ServerFolder& server, std::vector<BackupSummary>* out,
                           std::string* folderHost);

// After a wipe that started: completes the manifest of `backup` (null when
// none was made) with what the wipe wrote, and enters the wipe in the server
// folder's journal with its backup folder. What could not be done comes back
// as warnings; neither undoes the wipe.
std::vector<std::string> RecordWipe(const common::ServerFolder& server,
                                    const common::JobResult& wipe, WipeBackup* backup);

}  // namespace calmet
