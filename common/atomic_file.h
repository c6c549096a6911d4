// Replacing a whole file so that a crash or a full disk never leaves it
// half-written: the new bytes go to a hidden temporary file beside it, which
// is flushed to disk and then renamed over the old one.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>
#include <string_view>

#include "common/status.h"

namespace common {

// Puts `bytes` at `hostPath` (a host path, already resolved). A symbolic
// link is followed and its target replaced, so the link stays a link. A new
// file gets the usual mode for new files.
// An existing file keeps its owner, group, permission bits and extended
// attributes (ACLs included), and must be one the caller may write
// (CheckMayWrite). Where a replacement could not keep them (an operator
// cannot give a file to the server's account) or the file has other names
// (hard links), it is rewritten in place instead: the file never changes
// hands and every name sees the new content, at the price of that write not
// being safe against a crash half way.
// The temporary file is named ".<name>.tmp-<pid>-<n>" in the same folder
// (the name cut to fit the folder's limit), so the tools' searches, which
// skip hidden names, never see it.
// Fails, leaving the old file as it was and removing the temporary file,
// when the folder is missing, the path is not an ordinary file, or any step
// fails; the status then says why.
Status ReplaceFileAtomically(const std::string& hostPath, std::string_view bytes);

// Creates a new temporary file for `name` in `folder` (a host path) and
// returns its descriptor, open for writing, with its path in *temp; -1 with
// errno set when none could be made. The name is ".<name>.tmp-<pid>-<tag><n>"
// with n counted up in *counter, and <name> cut so that the whole fits
// `nameMax` (255 when unknown): hidden, so the tools' searches never see it.
// A process killed mid-write leaves its temporary file behind, and a later
// process may get the same id, so a name that is taken is passed over rather
// than failing the write or deleting what may be another writer's file.
int CreateHiddenTemp(const std::string& folder, std::string_view name, long nameMax,
                     std::string_view tag, unsigned* counter, mode_t mode, std::string* temp);

// Writes all of `bytes` to `fd`, going on after interruptions and short
// writes. False, with errno set, when a write fails.
bool WriteAll(int fd, std::string_view bytes);

// Whether the tools may write the existing file at `hostPath` (`st` is its
// stat): as an ordinary user, when the system would open it for writing; as
// root, which the system lets write anything, when its owner write bit is
// set, so that a file the operator protected stays protected.
Status CheckMayWrite(const std::string& hostPath, const struct stat& st);

// Test seam: while set, ReplaceFileAtomically asks `fault` with the target
// path before writing the data, and when it answers true the write fails as
// on a full disk. An empty function removes the seam.
void SetWriteFaultForTesting(std::function<bool(const std::string& path)> fault);

// True when the seam is set and answers true for `path`: other writers of the
// layer ask it too, so that one seam fails every kind of file write.
bool WriteFaultInjected(const std::string& path);

}  // namespace common
