// The raw file-system floor of each benchmarked job: the fewest system calls
// that produce the same files, with every output byte computed beforehand.
// No implementation of a job can be faster than its floor on the same
// machine, so a job's time divided by its floor's time is its overhead.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct OutputFile {
  std::string path;   // host path
  std::string bytes;  // the file's whole content
};

// The three conversion floors end, as the jobs do, with one flush of the
// file system they wrote to (syncfs).

// Reads `source` once, then per record: open (create), write, close.
void FloorWriteRecords(const std::string& source, const std::vector<OutputFile>& outputs);

// Reads `source` once, then per record a crash-safe replace: write a
// temporary file beside it, flush it to disk, rename it over the record and
// flush the folder, as durable as the tools' own profile writes.
void FloorReplaceRecords(const std::string& source, const std::vector<OutputFile>& outputs);

// Per map: open, read, close the legacy file; open (create), write, close
// the converted one. `legacy` and `outputs` go together index by index.
void FloorMaps(const std::vector<std::string>& legacy, const std::vector<OutputFile>& outputs);

// Per account: open, read, close; then the crash-safe replace above.
void FloorRewriteAccounts(const std::vector<OutputFile>& accounts);

// Reads the names of `folder`; returns how many entries it holds.
size_t FloorListFolder(const std::string& folder);

// Reads each file whole (open, read, close); returns the bytes read.
size_t FloorReadFiles(const std::vector<std::string>& paths);

}  // namespace bench
