// Writing whole files so that a crash or a full disk never leaves one
// half-written, and never over a version the caller did not read. This is
// the one place where the tools put a file's content on disk through a
// temporary file: ReplaceFile for a file that may exist, CreateFile for a
// new one, and TempFile beneath both (the backup stages many at once with
// it). Every call goes through the folder's FileSystem
// (common/file_system.h).
#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_stamp.h"
#include "common/status.h"
#include "common/trusted_folder.h"
#include "common/unique_fd.h"

namespace common {

// A hidden temporary file beside the file it is for, holding new content
// until it is renamed to that file's name. Named ".<name>.tmp-<pid>-<tag><n>"
// (the name cut to fit the folder's limit), so the tools' searches, which
// skip hidden names, never see it, and a later run knows it as its own
// (IsStaleTemp). Removed again when it is dropped before Publish.
class TempFile {
 public:
  TempFile() = default;
  ~TempFile();
  TempFile(TempFile&& other) noexcept;
  TempFile& operator=(TempFile&& other) noexcept;

  // Makes a temporary file for `name` in `folder` with `mode` and writes
  // `bytes` to it; it stays open (for Adopt, Flush) until Close or Publish.
  static Status Write(const Folder& folder, std::string_view name, std::string_view bytes,
                      mode_t mode, std::string_view tag, TempFile* out);

  int fd() const { return fd_.get(); }
  const std::string& name() const { return name_; }
  std::string host() const;
  // Flushes its content to the disk (one file at a time; a caller with
  // many flushes the file system once instead).
  Status Flush();
  Status Close();

  enum class Over { kNothing, kOldFile };
  // Renames it to `target` in its folder: only where nothing is there
  // (kNothing: EEXIST, reported as Changed, when something appeared), or
  // over the old file (kOldFile). Closes it first.
  Status Publish(const std::string& target, Over over);

 private:
  const Folder* folder_ = nullptr;
  UniqueFd fd_;
  std::string name_;
  bool published_ = false;
  void Drop();
};

struct ReplaceOptions {
  // The file as the caller read it: it is replaced only while it still is
  // exactly that file (the same inode, size, modification and change time),
  // checked right before the rename or the write in place; otherwise the
  // call fails with Changed and changes nothing. Null: whatever is there.
  const FileStamp* expected = nullptr;
  // The caller found no file: one that appeared since is not replaced
  // (Changed).
  bool expectMissing = false;
  // The descriptor the caller read the file through, to copy its extended
  // attributes from; -1 to open it here.
  int readFd = -1;
  // Its fstat, when `folder` and `name` are where the caller read it (links
  // followed already, as ReadSteady's `where`): it is not looked up again.
  const struct stat* readStat = nullptr;
  // False when the caller flushes the file system once after its last
  // write (FlushFileSystem) instead of the folder after every file. A file
  // reached through a link in another folder is always flushed on its own.
  bool flushFolder = true;
};

// Puts `bytes` at entry `name` (taken as spelled) of `folder`. A trusted
// symbolic link is followed and its target replaced, so the link stays a
// link; an untrusted one is refused. A new file gets the usual mode for new
// files and the folder's owner (AdoptFolderOwner). An existing file keeps its owner, group,
// permission bits and extended attributes (ACLs included), and must be one the caller may write
// (CheckMayWrite). Where a replacement could not keep them (an operator
// cannot give a file to the server's account) or the file has other names
// (hard links), it is rewritten in place instead: the file never changes
// hands and every name sees the new content, at the price of that write not
// being safe against a crash half way.
// Fails, leaving the old file as it was and removing the temporary file,
// when the path is not an ordinary file, the file changed (see `expected`),
// or any step fails; the status then says why.
Status ReplaceFile(const Folder& folder, std::string_view name, std::string_view bytes,
                   const ReplaceOptions& options = {});

// ReplaceFile for the file at tool path `path`, found by the trusted walk.
Status ReplaceFileAtomically(const std::string& path, std::string_view bytes);

// Makes the new file `name` of `folder` holding `bytes`, crash-safely: its
// temporary file is written, flushed and renamed to the name, never over a
// file that appeared meanwhile (Changed then). The rename itself reaches
// the disk with the caller's flush of the file system (or the folder's).
// With `folderOwner`, the file belongs to the folder's owner as
// AdoptFolderOwner tells (the server's data, not the operator's own files).
Status CreateFile(const Folder& folder, std::string_view name, std::string_view bytes,
                  mode_t mode = 0666, bool folderOwner = false);

// Writes `bytes` from the first byte of the open file `fd` (its size now
// `size`), claiming the room a longer content needs first, so that a full
// disk fails before a byte has changed; with `truncate` the file ends
// where the content does, otherwise a longer old file keeps its tail.
// The write in place of records and of files a replacement cannot keep.
Status WriteFromStart(FileSystem& fs, int fd, const std::string& host, std::string_view bytes,
                      off_t size, bool truncate);

// True for a temporary name of the tools (TempFile's, and the backup's of
// earlier versions) whose process no longer runs, or that is older than a
// day whatever its process: a run that was killed left it. `st` is the
// entry's lstat.
bool IsStaleTemp(std::string_view name, const struct stat& st);

// Removes the stale temporary files (IsStaleTemp) among `names` of
// `folder`: ordinary files only, never what a link points to.
void RemoveStaleTemps(const Folder& folder, const std::vector<std::string>& names);

// Lists `folder` and removes its stale temporary files.
void RemoveStaleTempsIn(const Folder& folder);

// Whether a name could be one of the tools' temporary names at all: the
// cheap test a listing makes before IsStaleTemp.
bool LooksLikeTemp(std::string_view name);

// Writes all of `bytes` to `fd`, going on after interruptions and short
// writes. False, with errno set, when a write fails.
bool WriteAll(FileSystem& fs, int fd, std::string_view bytes);

// Whether the tools may write the existing file `name` of `folder` (`st` is
// its lstat, not a link): as an ordinary user, when the system would open it
// for writing; as root, which the system lets write anything, when its owner
// write bit is set, so that a file the operator protected stays protected.
Status CheckMayWrite(const Folder& folder, std::string_view name, const struct stat& st);

}  // namespace common
