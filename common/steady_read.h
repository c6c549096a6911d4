// Reading a whole file that another program may be writing at the same
// time: the game server saves an account in place (truncate, then line by
// line) or by renaming a new file over it, whenever it likes.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

#include "common/status.h"
#include "common/trusted_folder.h"
#include "common/unique_fd.h"

namespace common {

// How many times a read is tried before a file that keeps changing is left
// alone.
inline constexpr int kSteadyAttempts = 6;

// One version of a file, read whole.
struct SteadyFile {
  UniqueFd fd;     // open for reading
  struct stat st;  // its fstat, the same before and after the read
  std::string bytes;
  Target where;  // where it lies (trusted links followed)
};

// Reads entry `name` (taken as spelled) of `folder` whole, as it stands
// between two writes of any other writer: a file changed within the quiet
// period before the read (FileStamp::QuietWaitNs) is waited for and read
// again, and so is one that changed while it was read (its stamp before and
// after differ). Changed when it was still changing after kSteadyAttempts
// tries; NotFound when it is missing; OutOfRange for a file larger than
// `limit`; the trusted walk's refusals (links, what is not an ordinary
// file) as they are. `out->where` points into `folder`, which must outlive
// it.
Status ReadSteady(const Folder& folder, std::string_view name, size_t limit, SteadyFile* out);

// Puts `bytes` in place of the version ReadSteady gave in `read`, only while
// the file still is that version (ReplaceFile with its stamp, descriptor and
// place); with `read` null, the caller found no file at `name` of `folder`,
// and one that appeared since is not replaced. Changed in either case when
// another writer came first: the caller reads again and decides again.
Status ReplaceReadVersion(const Folder& folder, std::string_view name, const SteadyFile* read,
                          std::string_view bytes, bool flushFolder);

// Reads the rest of `fd` from offset 0, expecting `size` bytes; a file that
// turns out shorter or longer is reported through `complete` (false), so
// that the caller reads it again.
Status ReadAllAt(FileSystem& fs, int fd, const std::string& host, size_t size, std::string* bytes,
                 bool* complete);

}  // namespace common
