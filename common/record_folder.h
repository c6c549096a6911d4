// The folder a job writes one file per record into. The folder is reached
// by the trusted walk and listed once, when the job starts; each record
// file is then opened or created relative to it with one call (never
// through a link, O_NOFOLLOW) and checked on its descriptor, rather than
// looked up, checked and opened by name every time. A record whose name is
// unusual (several names that differ only in case, a name that vanished
// since the listing, a link) goes the general way of WriteRecordAt or the
// caller's general path, so every file ends up exactly as there, and a link
// the operator did not make is refused there with its reason. The first
// write removes the temporary files that killed runs of the tools left in
// the folder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/server_folder.h"
#include "common/status.h"
#include "common/trusted_folder.h"

namespace common {

class RecordFolder {
 public:
  // `folder` is a tool path; a trailing separator is allowed.
  explicit RecordFolder(std::string_view folder);
  // The folder `name` ("\\Items\\") of a job's server folder.
  RecordFolder(const ServerFolder& server, std::string_view name);
  ~RecordFolder();
  RecordFolder(const RecordFolder&) = delete;
  RecordFolder& operator=(const RecordFolder&) = delete;

  // Does what WriteRecordAt does for `name` in the folder.
  Status Write(std::string_view name, const std::vector<uint8_t>& bytes);

  // Does what ReadRecordAt does for `name` in the folder.
  Status Read(std::string_view name, size_t size, std::vector<uint8_t>* out,
              size_t* delivered = nullptr);

  // What Write of `name` would fail or refuse at before its first byte,
  // found without writing anything: a folder that could not be reached, a
  // link the tools do not follow, something that is not an ordinary file, a
  // file the caller may not open for writing (for root, one whose owner
  // write bit is clear), a new file in a folder the caller may not write in.
  // OK for a name not there yet that Write could make.
  Status CheckWrite(std::string_view name) const;

  // True when the listing held no file of this name in any case: the file
  // is new to the job, and CreateNew may make it.
  bool IsNew(std::string_view name) const;

  // True when the folder holds no entry `name` in any case (a link counts,
  // wherever it points): what the listing says when it knows, else what
  // the folder holds now. False when the folder could not be reached.
  bool IsMissing(std::string_view name) const;

  // Makes the file `name`, which IsNew said was not there, holding `bytes`,
  // crash-safely: a temporary file beside it is written, flushed and renamed
  // to the name (refusing to replace a file that appeared meanwhile). The
  // rename reaches the disk with the job's one flush of the file system.
  // Sets `notDone` and changes nothing when it cannot be made this way (a
  // file of that name appeared after all, the folder cannot be opened); the
  // caller then edits the file the general way.
  Status CreateNew(std::string_view name, std::string_view bytes, bool* notDone);

  // The tool path of `name` in the folder, for the general way.
  std::string ToolPath(std::string_view name) const;

  // The folder, open; not valid() when it could not be reached (every
  // record then goes the general way, which says why).
  const Folder& folder() const { return folder_; }
  // Why the folder could not be reached; OK when it was.
  const Status& status() const { return reached_; }

 private:
  enum class Known { kNew, kExact, kOneMatch, kUnusual };
  // What the listing says of `name`; `host` is then the file's host path.
  Known Look(std::string_view name, std::string* host) const;

  // The general way: by name relative to the folder when it is open;
  // otherwise every record fails with the reason the folder could not be.
  Status WriteGeneral(std::string_view name, const std::vector<uint8_t>& bytes);
  Status ReadGeneral(std::string_view name, size_t size, std::vector<uint8_t>* out,
                     size_t* delivered);
  // Lists the folder once it is open.
  void List();
  // Removes the stale temporary files the listing found, once.
  void CleanUp();

  std::string tool_;  // the folder as given, ending in a separator
  Folder folder_;
  Status reached_;  // why folder_ could not be opened, when it could not
  bool isListed_ = false;
  std::vector<std::string> temps_found_;  // names that look like temporary files
  bool cleaned_ = false;
  bool root_ = false;
  // The names the listing held, side by side in `names_`, found by their
  // case-folded hash (open addressing: name index + 1, 0 when free).
  struct Listed {
    uint64_t hash;
    uint32_t offset, length;
    bool several;  // other names of the same form: resolved by name
  };
  const Listed* FindListed(std::string_view name, uint64_t hash) const;
  void AddListed(std::string_view name, uint64_t hash);
  void NoteMade(uint64_t hash);
  bool Made(uint64_t hash) const;
  std::string names_;
  std::vector<Listed> listed_;
  std::vector<uint32_t> listedSlots_;
  // The case-folded hashes of the names this job made (0 when free): such a
  // name, in any spelling, goes the general way, which finds the file.
  std::vector<uint64_t> made_;
  size_t madeCount_ = 0;
  std::string path_;  // the host path of the record at hand
};

}  // namespace common
