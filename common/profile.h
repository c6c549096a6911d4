// Private-profile (INI) files, read and written byte for byte the way the
// game server's host reads and writes them. Values are single-byte text and
// pass through unchanged.
//
// Threads: the cache of parsed files behind ReadIniKey and ProfileReader is
// process-wide and unguarded. The tools use this layer from their one thread
// only; a second thread would need a lock around every call here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <functional>

#include "common/status.h"

namespace common {

class Folder;

// The longest value a read returns; longer values come back cut to this.
inline constexpr size_t kMaxIniValue = 4999;

// The largest profile file read or edited. No file of the server comes near
// it (32767 shops take some 30 MB); a larger one is refused with a reason
// rather than read into memory whole.
inline constexpr size_t kMaxProfileFileBytes = size_t{256} << 20;

// The value of `key` in the first section named `section` of `file` (a tool
// path, found by the trusted walk (common/trusted_folder.h), without regard
// to case). "" when the file, the section or the key is missing. A parsed copy of the file is kept and reused while the
// file on disk is unchanged (same device, inode, size, modification and
// change time),
// so many reads of one large file cost one parse; a file read within the
// file system's timestamp step of its last change is read again next time.
std::string ReadIniKey(std::string_view file, std::string_view section, std::string_view key);

class ProfileIndex;
class KeyList;
class KeyFiller;

// Several reads of one file as it stands when the reader is made: the file is
// found and checked once, and each Get returns what ReadIniKey would have
// returned at that moment. For a procedure that reads many keys in a row,
// such as one record's conversion, so that it checks the file once rather
// than once per key.
class ProfileReader {
 public:
  explicit ProfileReader(std::string_view file);
  // Entry `name` (by the case rule) of an open folder: for a caller that
  // reads many files of one folder, which is then walked to once.
  ProfileReader(const Folder& folder, std::string_view name);
  // A reader of no file, whose status is `why` (a file that could not even
  // be looked for): every key reads "".
  explicit ProfileReader(Status why);
  ~ProfileReader();
  std::string Get(std::string_view section, std::string_view key) const;

  // One section, found once for the reads of many of its keys. Valid while
  // the reader that made it lives.
  class Section {
   public:
    std::string Get(std::string_view key) const;
    // Every key of `keys` at once (ProfileIndex::LookupAll): values[i] is
    // what Get of the i-th key returns, as a view valid while the reader
    // lives.
    void GetAll(const KeyList& keys, std::string_view* values) const;
    // False when the file holds no such section (every key reads "").
    bool exists() const { return index_ != nullptr; }

   private:
    friend class ProfileReader;
    const ProfileIndex* index_ = nullptr;
    uint32_t id_ = 0;
  };
  Section InSection(std::string_view section) const;

  // How the file was found: OK, NotFound for a missing file (every key then
  // reads ""), or why it could not be read.
  const Status& status() const { return status_; }

 private:
  std::shared_ptr<const ProfileIndex> index_;  // null: no readable file
  Status status_;
};

// Sets `key` in `section` of `file`, creating the file, the section or the key
// where missing and changing no other byte of the file. The new content is
// written to a temporary file beside it and renamed over it, so the file is
// never left half-written, and only while the file is still the version
// that was read (see ProfileEdit). Fails, changing nothing, for a missing
// folder, a path that is a folder or not an ordinary file, a link the
// operator did not make, or a read-only file (no owner write bit). OK when
// the file holds the value afterwards; otherwise the status says why.
Status WriteIniKey(std::string_view file, std::string_view section, std::string_view key,
                   std::string_view value);

// Several writes to one file, each with exactly the effect of WriteIniKey,
// applied in memory and put on disk at once by Commit: one read and at most
// one crash-safe write however many keys are set.
//
// Another program (the game server) may write the file at any time. The
// file is read as it stands between that program's writes (ReadSteady: a
// file changed within the quiet period is waited for), and Commit replaces
// it only while it is still exactly the version read; when it is not, the
// file is read again and the same edits are made on the new version, a few
// times, before Commit gives up with Changed, leaving the file as it was.
class ProfileEdit {
 public:
  explicit ProfileEdit(std::string_view file);
  // Entry `name` (by the case rule) of an open folder, which must outlive
  // the edit.
  ProfileEdit(const Folder& folder, std::string_view name);
  ~ProfileEdit();
  ProfileEdit(const ProfileEdit&) = delete;
  ProfileEdit& operator=(const ProfileEdit&) = delete;

  // How the file was read: OK, NotFound (Commit would create it), or why it
  // could not be read (Commit then fails with this status).
  const Status& status() const;

  void Set(std::string_view section, std::string_view key, std::string_view value);
  // Set for every key of the fill in every one of its sections, in order,
  // with exactly their effect: done in one pass over the text where that
  // can be (common/profile_fill.h), by one Set after another otherwise.
  void SetAll(const KeyFiller& fill);
  // The host writer's forms without a value: remove a key, or a whole section.
  void Delete(std::string_view section, std::string_view key);
  void DeleteSection(std::string_view section);

  // The commit leaves the folder's flush to the caller, who flushes the
  // file system once after its last write (FlushFileSystem).
  void DeferFlush();
  // `accept` is asked with the bytes of every version read, this one and
  // any read again by Commit; a version it refuses is not written, and its
  // status becomes status() and Commit's result.
  void Require(std::function<Status(std::string_view read)> accept);

  // Writes the file when any Set changed it; nothing at all otherwise.
  // Fails, leaving the file as it was, when it cannot be written (same rules
  // as WriteIniKey), or with Changed when it kept changing.
  Status Commit();
  // After a Commit that succeeded: the bytes the file holds, as the edit
  // wrote them or, with nothing to change, as they were read.
  const std::string& Committed() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Removes `key` from `section` of `file` (DeleteIniKey), or the whole section
// (DeleteIniSection), with the same crash-safe write and failure rules as
// WriteIniKey; removing what is not there succeeds and changes nothing.
Status DeleteIniKey(std::string_view file, std::string_view section, std::string_view key);
Status DeleteIniSection(std::string_view file, std::string_view section);

// Drops every cached parse (tests that rewrite files within one clock tick).
void ForgetProfileCache();

}  // namespace common
