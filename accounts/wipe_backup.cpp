#include "accounts/wipe_backup.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cerrno>

#include "common/atomic_file.h"
#include "common/binary_record.h"
#include "common/host_path.h"
#include "common/profile.h"
#include "common/qt/journal.h"
#include "common/text_util.h"
#include "common/unique_fd.h"
#include "common/visible_text.h"

namespace calmet {

namespace {

using common::Folder;
using common::Status;

QString Hex(const std::string& raw) {
  return QString::fromLatin1(QByteArray::fromStdString(raw).toHex());
}

// A SHA-256 written as 64 hex digits, back to its raw bytes; "" otherwise.
std::string FromHex(const QString& hex) {
  if (hex.size() != 64) return {};
  for (QChar c : hex) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return {};
  }
  return QByteArray::fromHex(hex.toLatin1()).toStdString();
}

// A name a restore may write in the accounts folder: one entry, nothing
// that climbs out of it or lands on the manifest.
bool IsPlainEntryName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name != kManifestFile &&
         name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

// The names a listing of `folder` holds, hidden ones left out.
Status ListEntries(const Folder& folder, std::vector<std::string>* names) {
  common::UniqueFd fd;
  if (Status s = common::OpenFolderForReading(folder, &fd); !s.ok()) return s;
  DIR* dir = ::fdopendir(fd.release());
  if (!dir) return common::PosixError(folder.host(), errno);
  while (dirent* e = ::readdir(dir)) {
    if (e->d_name[0] != '.') names->emplace_back(e->d_name);
  }
  ::closedir(dir);
  std::sort(names->begin(), names->end());
  return Status::OK();
}

// The manifest put on disk: a new one crash-safely; an existing one (the
// same backup folder given again, or the manifest completed after the
// wipe) replaced.
Status WriteManifest(const Folder& backup, const Manifest& manifest) {
  const std::string json = ManifestJson(manifest);
  Status s = common::CreateFile(backup, kManifestFile, json, 0600);
  if (s.IsChanged()) s = common::ReplaceFile(backup, kManifestFile, json);
  if (!s.ok()) return s;
  return common::FlushFileSystem(backup);
}

}  // namespace

std::string ManifestJson(const Manifest& manifest) {
  QJsonArray files;
  for (const ManifestFile& f : manifest.files) {
    files.append(QJsonObject{
        // Latin-1 gives every byte of the name back exactly.
        {"name", QString::fromLatin1(QByteArray::fromStdString(f.name))},
        {"size", static_cast<qint64>(f.size)},
        {"sha256", Hex(f.hash)},
        {"uid", static_cast<qint64>(f.uid)},
        {"gid", static_cast<qint64>(f.gid)},
        // Octal as ls and chmod show it.
        {"mode", QString::number(f.mode, 8).rightJustified(4, '0')},
        {"wiped", f.wiped.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(Hex(f.wiped))}});
  }
  const QJsonObject o{{"version", kManifestVersion},
                      {"created", QString::fromStdString(manifest.created)},
                      {"server", QString::fromLocal8Bit(manifest.server)},
                      {"files", files}};
  return QJsonDocument(o).toJson(QJsonDocument::Indented).toStdString();
}

Status ParseManifest(std::string_view bytes, Manifest* out) {
  *out = Manifest();
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(
      QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), &error);
  if (error.error != QJsonParseError::NoError || !doc.isObject()) {
    return Status::InvalidArgument("the manifest is not JSON");
  }
  const QJsonObject o = doc.object();
  if (o["version"].toInt(-1) != kManifestVersion) {
    return Status::InvalidArgument("the manifest is of an unknown version");
  }
  out->created = o["created"].toString().toStdString();
  out->server = o["server"].toString().toLocal8Bit().toStdString();
  if (!o["files"].isArray()) return Status::InvalidArgument("the manifest lists no files");
  for (const QJsonValue& v : o["files"].toArray()) {
    const QJsonObject f = v.toObject();
    ManifestFile file;
    const QString name = f["name"].toString();
    file.name = name.toLatin1().toStdString();
    // A name with a character beyond Latin-1 is not one this tool wrote.
    if (!IsPlainEntryName(file.name) || QString::fromLatin1(name.toLatin1()) != name) {
      return Status::InvalidArgument("the manifest names a file that is no account file: " +
                                     common::VisibleName(file.name));
    }
    const double size = f["size"].toDouble(-1);
    file.hash = FromHex(f["sha256"].toString());
    bool modeOk = false;
    file.mode = f["mode"].toString().toUInt(&modeOk, 8);
    // No account file is larger than a profile file may be.
    if (size < 0 || size > static_cast<double>(common::kMaxProfileFileBytes) ||
        size != static_cast<double>(static_cast<int64_t>(size)) || file.hash.empty() || !modeOk ||
        file.mode > 07777 || !f["uid"].isDouble() || !f["gid"].isDouble()) {
      return Status::InvalidArgument("the manifest's entry for " + common::VisibleName(file.name) +
                                     " is incomplete");
    }
    file.size = static_cast<int64_t>(size);
    file.uid = static_cast<uint32_t>(f["uid"].toInteger());
    file.gid = static_cast<uint32_t>(f["gid"].toInteger());
    if (!f["wiped"].isNull()) {
      file.wiped = FromHex(f["wiped"].toString());
      if (file.wiped.empty()) {
        return Status::InvalidArgument("the manifest's wiped hash for " +
                                       common::VisibleName(file.name) + " is no hash");
      }
    }
    for (const ManifestFile& other : out->files) {
      if (other.name == file.name) {
        return Status::InvalidArgument("the manifest lists " + common::VisibleName(file.name) +
                                       " twice");
      }
    }
    out->files.push_back(std::move(file));
  }
  return Status::OK();
}

CheckedBackup CheckBackup(const Folder& backup) {
  CheckedBackup checked;
  std::string bytes;
  struct stat st;
  if (backup.fs().Fstat(backup.fd(), &st) != 0) {
    checked.status = common::PosixError(backup.host(), errno);
    return checked;
  }
  // Only then is what the manifest lists (owners, modes) what a backup saw.
  if (Status s = CheckBackupWriter(st, backup.host()); !s.ok()) {
    checked.status = s;
    return checked;
  }
  if (Status s = ReadCopy(backup, kManifestFile, &bytes, &st); !s.ok()) {
    checked.status =
        s.IsNotFound() ? Status::NotFound(backup.HostOf(kManifestFile) + ": no manifest") : s;
    return checked;
  }
  if (Status s = CheckBackupWriter(st, backup.HostOf(kManifestFile)); !s.ok()) {
    checked.status = s;
    return checked;
  }
  if (Status s = ParseManifest(bytes, &checked.manifest); !s.ok()) {
    checked.status = s.WithContext(backup.HostOf(kManifestFile));
    return checked;
  }
  checked.contents.resize(checked.manifest.files.size());
  for (size_t i = 0; i < checked.manifest.files.size(); ++i) {
    const ManifestFile& f = checked.manifest.files[i];
    std::string& copy = checked.contents[i];
    struct stat copySt;
    if (::fstatat(backup.fd(), f.name.c_str(), &copySt, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(copySt.st_mode) && copySt.st_size != f.size) {
      checked.mismatches.push_back(common::VisibleName(f.name) + ": " +
                                   common::Dec(static_cast<int64_t>(copySt.st_size)) +
                                   " bytes, the manifest says " + common::Dec(f.size));
      continue;
    }
    if (Status s = ReadCopy(backup, f.name, &copy, &copySt); !s.ok()) {
      checked.mismatches.push_back(common::VisibleName(s.message()));
      continue;
    }
    if (static_cast<int64_t>(copy.size()) != f.size) {
      checked.mismatches.push_back(common::VisibleName(f.name) + ": " +
                                   common::Dec(static_cast<int64_t>(copy.size())) +
                                   " bytes, the manifest says " + common::Dec(f.size));
    } else if (ContentHash(copy) != f.hash) {
      checked.mismatches.push_back(common::VisibleName(f.name) +
                                   ": its content is not what the manifest lists");
    }
  }
  return checked;
}

Status WipeBackup::Make(const common::ServerFolder& server, const AccountListing& listing,
                        const std::string& hostDir, common::JobEvents& events) {
  common::JobResult result;
  // No account file: nothing to keep, and the wipe says there is nothing
  // to wipe.
  if (listing.files.empty()) return Status::OK();
  if (!hostDir.empty()) {
    result = BackUpAccounts(server, listing, hostDir, &copies_, events, &folder_);
    if (Status s = BackupFailure(result); !s.ok()) return s;
    host_ = hostDir;
  } else {
    Folder root, backups;
    if (Status s = server.OpenRoot(&root); !s.ok()) return s.WithContext("backup folder");
    const std::string name = common::ResolveName(root, kBackupsFolder);
    if (Status s = common::CreateFolderIn(root, name, 0700); !s.ok() && s.sysError() != EEXIST) {
      return s;
    }
    if (Status s = common::OpenSubFolder(root, name, &backups); !s.ok()) return s;
    // One folder per wipe, named by its time; a second wipe within the same
    // second gets the next free name.
    const std::string stamp =
        QDateTime::currentDateTimeUtc().toString("yyyyMMdd'T'HHmmss'Z'").toStdString() + "-wipe";
    std::string folderName = stamp;
    for (int n = 2;; ++n) {
      const Status made = common::CreateFolderIn(backups, folderName, 0700);
      if (made.ok()) break;
      if (made.sysError() != EEXIST || n > 100) return made;
      folderName = stamp + "-" + common::Dec(n);
    }
    if (Status s = common::OpenSubFolder(backups, folderName, &folder_); !s.ok()) return s;
    host_ = folder_.host();
    result = BackUpAccountsInto(server, listing, folder_, &copies_, events);
    if (Status s = BackupFailure(result); !s.ok()) return s;
  }
  manifest_ = Manifest();
  manifest_.created = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
  manifest_.server = server.root();
  positions_.clear();
  for (size_t p = 0; p < copies_.accounts.size(); ++p) {
    const BackedUpAccount& a = copies_.accounts[p];
    if (!a.copied) continue;
    manifest_.files.push_back({listing.files[p], a.size, a.hash, a.uid, a.gid, a.mode, {}});
    positions_.push_back(p);
  }
  return WriteManifest(folder_, manifest_).WithContext("backup manifest");
}

Status WipeBackup::Complete() {
  if (!folder_.valid()) return Status::OK();
  for (size_t i = 0; i < positions_.size(); ++i) {
    const size_t p = positions_[i];
    manifest_.files[i].wiped = p < written_.size() ? written_[p] : std::string();
  }
  return WriteManifest(folder_, manifest_).WithContext("backup manifest");
}

Status ListBackups(const common::ServerFolder& server, std::vector<BackupSummary>* out,
                   std::string* folderHost) {
  out->clear();
  Folder root, backups;
  if (Status s = server.OpenRoot(&root); !s.ok()) return s;
  bool exists = false;
  const std::string name = common::ResolveName(root, kBackupsFolder, &exists);
  *folderHost = root.HostOf(name);
  if (!exists) return Status::OK();
  if (Status s = common::OpenSubFolder(root, name, &backups); !s.ok()) return s;
  std::vector<std::string> names;
  if (Status s = ListEntries(backups, &names); !s.ok()) return s;
  for (const std::string& entry : names) {
    struct stat st;
    if (::fstatat(backups.fd(), entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISDIR(st.st_mode)) {
      continue;
    }
    Folder folder;
    BackupSummary summary;
    summary.name = entry;
    summary.host = backups.HostOf(entry);
    if (Status s = common::OpenSubFolder(backups, entry, &folder); !s.ok()) {
      summary.check.status = s;
    } else {
      summary.check = CheckBackup(folder);
    }
    out->push_back(std::move(summary));
  }
  return Status::OK();
}

std::vector<std::string> RecordWipe(const common::ServerFolder& server,
                                    const common::JobResult& wipe, WipeBackup* backup) {
  std::vector<std::string> warnings;
  if (backup) {
    if (common::Status s = backup->Complete(); !s.ok()) {
      warnings.push_back(s.message() +
                         " (a restore takes every account for changed since the wipe)");
    }
  }
  common::JournalEntry entry = common::JournalEntryOf("wipe", wipe);
  entry.what = "inventories";
  if (backup) entry.backup = backup->host();
  if (common::Status s = common::AppendJournal(server, entry); !s.ok()) {
    warnings.push_back("the journal was not written: " + s.message());
  }
  return warnings;
}

}  // namespace calmet
