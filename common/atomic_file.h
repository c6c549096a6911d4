// Replacing a whole file so that a crash or a full disk never leaves it
// half-written: the new bytes go to a hidden temporary file beside it, which
// is flushed to disk and then renamed over the old one.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "common/status.h"

namespace common {

// Puts `bytes` at `hostPath` (a host path, already resolved). An existing
// file keeps its permission bits and, where the system allows, its owner; a
// new one gets the usual mode for new files. A symbolic link is followed and
// its target replaced, so the link stays a link. The temporary file is named
// ".<name>.tmp-<pid>-<n>" in the same folder, so the tools' searches, which
// skip hidden names, never see it.
// Fails, leaving the old file as it was and removing the temporary file,
// when the folder is missing, the path is not an ordinary file, or any step
// fails; the status then says why.
Status ReplaceFileAtomically(const std::string& hostPath, std::string_view bytes);

// Test seam: while set, ReplaceFileAtomically asks `fault` with the target
// path before writing the data, and when it answers true the write fails as
// on a full disk. An empty function removes the seam.
void SetWriteFaultForTesting(std::function<bool(const std::string& path)> fault);

// True when the seam is set and answers true for `path`: other writers of the
// layer ask it too, so that one seam fails every kind of file write.
bool WriteFaultInjected(const std::string& path);

}  // namespace common
