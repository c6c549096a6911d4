// Helpers shared by the fuzz targets: a private scratch folder and an
// invariant check that stops the run with a readable message.
#pragma once

#include <string>
#include <string_view>

// A folder of this process under $TMPDIR (or /tmp), made on first use and
// removed when the process exits normally.
const std::string& ScratchRoot();

// Removes everything inside `folder` (not the folder itself).
void EmptyFolder(const std::string& folder);

// Writes `bytes` to the host path `path`, replacing any file there.
void WriteBytes(const std::string& path, std::string_view bytes);

// The bytes of the file at `path`; false when it cannot be read.
bool ReadBytes(const std::string& path, std::string* bytes);

// Printable form of a byte string for failure messages.
std::string Escaped(std::string_view s);

[[noreturn]] void FuzzFailure(const char* file, int line, const std::string& what);

// Aborts (so libFuzzer saves the input) when `cond` is false.
#define FUZZ_CHECK(cond, what)                            \
  do {                                                    \
    if (!(cond)) FuzzFailure(__FILE__, __LINE__, (what)); \
  } while (0)
