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

#include "common/status.h"

namespace common {

// The longest value a read returns; longer values come back cut to this.
inline constexpr size_t kMaxIniValue = 4999;

// The largest profile file read or edited. No file of the server comes near
// it (32767 shops take some 30 MB); a larger one is refused with a reason
// rather than read into memory whole.
inline constexpr size_t kMaxProfileFileBytes = size_t{256} << 20;

// The value of `key` in the first section named `section` of `file` (a tool
// path, resolved without regard to case). "" when the file, the section or
// the key is missing. A parsed copy of the file is kept and reused while the
// file on disk is unchanged (same device, inode, size, modification and
// change time),
// so many reads of one large file cost one parse; a file read within the
// file system's timestamp step of its last change is read again next time.
std::string ReadIniKey(std::string_view file, std::string_view section, std::string_view key);

class ProfileIndex;
class KeyFiller;

// Several reads of one file as it stands when the reader is made: the file is
// found and checked once, and each Get returns what ReadIniKey would have
// returned at that moment. For a procedure that reads many keys in a row,
// such as one record's conversion, so that it checks the file once rather
// than once per key.
class ProfileReader {
 public:
  explicit ProfileReader(std::string_view file);
  ~ProfileReader();
  std::string Get(std::string_view section, std::string_view key) const;

  // One section, found once for the reads of many of its keys. Valid while
  // the reader that made it lives.
  class Section {
   public:
    std::string Get(std::string_view key) const;

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
// never left half-written. Fails, changing nothing, for a missing folder, a
// path that is a folder or not an ordinary file, or a read-only file (no
// owner write bit). OK when the file holds the value afterwards; otherwise
// the status says why.
Status WriteIniKey(std::string_view file, std::string_view section, std::string_view key,
                   std::string_view value);

// Several writes to one file, each with exactly the effect of WriteIniKey,
// applied in memory and put on disk at once by Commit: one read and at most
// one crash-safe write however many keys are set.
class ProfileEdit {
 public:
  explicit ProfileEdit(std::string_view file);
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

  // Writes the file when any Set changed it; nothing at all otherwise.
  // Fails, leaving the file as it was, when it cannot be written (same rules
  // as WriteIniKey).
  Status Commit();

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
