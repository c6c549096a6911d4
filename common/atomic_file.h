// Replacing a whole file so that a crash or a full disk never leaves it
// half-written, and never over a version the caller did not read: the new
// bytes go to a hidden temporary file beside it, which is flushed to disk
// and then renamed over the old one, if the old one is still the file that
// was read.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_stamp.h"
#include "common/status.h"
#include "common/trusted_folder.h"

namespace common {

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
// files. An existing file keeps its owner, group, permission bits and
// extended attributes (ACLs included), and must be one the caller may write
// (CheckMayWrite). Where a replacement could not keep them (an operator
// cannot give a file to the server's account) or the file has other names
// (hard links), it is rewritten in place instead: the file never changes
// hands and every name sees the new content, at the price of that write not
// being safe against a crash half way.
// The temporary file is named ".<name>.tmp-<pid>-<n>" in the same folder
// (the name cut to fit the folder's limit), so the tools' searches, which
// skip hidden names, never see it.
// Fails, leaving the old file as it was and removing the temporary file,
// when the path is not an ordinary file, the file changed (see `expected`),
// or any step fails; the status then says why.
Status ReplaceFile(const Folder& folder, std::string_view name, std::string_view bytes,
                   const ReplaceOptions& options = {});

// ReplaceFile for the file at tool path `path`, found by the trusted walk.
Status ReplaceFileAtomically(const std::string& path, std::string_view bytes);

// Creates a new temporary file for `name` in `folder` and returns its
// descriptor, open for writing, with its name in *temp; -1 with errno set
// when none could be made. The name is ".<name>.tmp-<pid>-<tag><n>" with n
// counted up in *counter, and <name> cut so that the whole fits `nameMax`
// (255 when unknown): hidden, so the tools' searches never see it. A name
// that is taken is passed over.
int CreateHiddenTemp(const Folder& folder, std::string_view name, long nameMax,
                     std::string_view tag, unsigned* counter, mode_t mode, std::string* temp);

// True for a temporary name of the tools (CreateHiddenTemp's, and the
// backup's of earlier versions) whose process no longer runs, or that is
// older than a day whatever its process: a run that was killed left it.
// `st` is the entry's lstat.
bool IsStaleTemp(std::string_view name, const struct stat& st);

// Removes the stale temporary files (IsStaleTemp) among `names` of
// `folder`: ordinary files only, never what a link points to.
void RemoveStaleTemps(const Folder& folder, const std::vector<std::string>& names);

// Lists `folder` and removes its stale temporary files.
void RemoveStaleTempsIn(const Folder& folder);

// Whether a name could be one of the tools' temporary names at all: the
// cheap test a listing makes before IsStaleTemp.
bool LooksLikeTemp(std::string_view name);

// Renames `from` of folder `fromDir` to `to` of `toDir`, but never over
// anything already there (EEXIST), on file systems without that flag too.
// 0, or -1 with errno set.
int RenameWithoutReplacing(int fromDir, const std::string& from, int toDir, const std::string& to);

// Writes all of `bytes` to `fd`, going on after interruptions and short
// writes. False, with errno set, when a write fails.
bool WriteAll(int fd, std::string_view bytes);

// Whether the tools may write the existing file `name` of `folder` (`st` is
// its lstat, not a link): as an ordinary user, when the system would open it
// for writing; as root, which the system lets write anything, when its owner
// write bit is set, so that a file the operator protected stays protected.
Status CheckMayWrite(const Folder& folder, std::string_view name, const struct stat& st);

// Test seam: while set, the layer's writers ask `fault` with the target's
// host path before writing the data, and when it answers true the write
// fails as on a full disk. An empty function removes the seam.
void SetWriteFaultForTesting(std::function<bool(const std::string& path)> fault);

// True when the seam is set and answers true for `path`.
bool WriteFaultInjected(const std::string& path);

}  // namespace common
