#include "common/record_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/atomic_file.h"
#include "common/binary_record.h"
#include "common/host_path.h"
#include "common/text_util.h"
#include "common/unique_fd.h"

namespace common {

namespace {

bool PlainName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    if (IsSeparator(c) || c == '\0') return false;
  }
  return true;
}

}  // namespace

RecordFolder::RecordFolder(std::string_view folder) : tool_(folder) {
  if (tool_.empty() || !IsSeparator(tool_.back())) tool_ += '\\';
  // Every record goes the general way, which says why, when the folder
  // cannot be reached or listed.
  reached_ = OpenFolder(tool_, &folder_);
  if (reached_.ok()) List();
}

RecordFolder::RecordFolder(const ServerFolder& server, std::string_view name)
    : tool_(server.Path(name)) {
  if (tool_.empty() || !IsSeparator(tool_.back())) tool_ += '\\';
  reached_ = server.OpenFolder(name, &folder_);
  if (reached_.ok()) List();
}

void RecordFolder::List() {
  root_ = geteuid() == 0;
  UniqueFd listFd;
  if (!OpenFolderForReading(folder_, &listFd).ok()) return;
  DIR* dir = fdopendir(listFd.release());
  if (!dir) return;
  while (dirent* e = readdir(dir)) {
    const std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    if (name[0] == '.' && LooksLikeTemp(name)) temps_found_.emplace_back(name);
    AddListed(name, NameHash(name));
  }
  closedir(dir);
  isListed_ = true;
}

RecordFolder::~RecordFolder() = default;

void RecordFolder::CleanUp() {
  if (cleaned_) return;
  cleaned_ = true;
  if (!temps_found_.empty()) RemoveStaleTemps(folder_, temps_found_);
}

Status RecordFolder::WriteGeneral(std::string_view name, const std::vector<uint8_t>& bytes) {
  if (!folder_.valid()) return reached_.WithContext("cannot write " + SpelledPath(ToolPath(name)));
  return WriteRecordAt(folder_, ResolveName(folder_, name), bytes);
}

Status RecordFolder::ReadGeneral(std::string_view name, size_t size, std::vector<uint8_t>* out,
                                 size_t* delivered) {
  if (!folder_.valid()) {
    out->assign(size, 0);
    if (delivered) *delivered = 0;
    return reached_.WithContext("cannot read " + SpelledPath(ToolPath(name)));
  }
  return ReadRecordAt(folder_, ResolveName(folder_, name), size, out, delivered);
}

std::string RecordFolder::ToolPath(std::string_view name) const {
  return tool_ + std::string(name);
}

const RecordFolder::Listed* RecordFolder::FindListed(std::string_view name, uint64_t hash) const {
  if (listedSlots_.empty()) return nullptr;
  const size_t mask = listedSlots_.size() - 1;
  for (size_t i = hash & mask; listedSlots_[i] != 0; i = (i + 1) & mask) {
    const Listed& l = listed_[listedSlots_[i] - 1];
    if (l.hash == hash && SameName(std::string_view(names_).substr(l.offset, l.length), name)) {
      return &l;
    }
  }
  return nullptr;
}

void RecordFolder::AddListed(std::string_view name, uint64_t hash) {
  if (const Listed* l = FindListed(name, hash)) {
    const_cast<Listed*>(l)->several = true;  // several spellings: resolved by name
    return;
  }
  listed_.push_back(Listed{hash, static_cast<uint32_t>(names_.size()),
                           static_cast<uint32_t>(name.size()), false});
  names_.append(name);
  if (listed_.size() * 2 > listedSlots_.size()) {
    listedSlots_.assign(std::max<size_t>(64, listedSlots_.size() * 2), 0);
    for (size_t n = 0; n < listed_.size(); ++n) {
      const size_t mask = listedSlots_.size() - 1;
      size_t i = listed_[n].hash & mask;
      while (listedSlots_[i] != 0) i = (i + 1) & mask;
      listedSlots_[i] = static_cast<uint32_t>(n + 1);
    }
    return;
  }
  const size_t mask = listedSlots_.size() - 1;
  size_t i = hash & mask;
  while (listedSlots_[i] != 0) i = (i + 1) & mask;
  listedSlots_[i] = static_cast<uint32_t>(listed_.size());
}

bool RecordFolder::Made(uint64_t hash) const {
  if (made_.empty()) return false;
  hash |= 1;  // 0 marks a free slot
  const size_t mask = made_.size() - 1;
  for (size_t i = hash & mask; made_[i] != 0; i = (i + 1) & mask) {
    if (made_[i] == hash) return true;
  }
  return false;
}

void RecordFolder::NoteMade(uint64_t hash) {
  if (Made(hash)) return;
  if ((madeCount_ + 1) * 2 > made_.size()) {
    std::vector<uint64_t> old = std::move(made_);
    made_.assign(std::max<size_t>(64, old.size() * 2), 0);
    madeCount_ = 0;
    for (uint64_t h : old) {
      if (h != 0) NoteMade(h);
    }
  }
  hash |= 1;
  const size_t mask = made_.size() - 1;
  size_t i = hash & mask;
  while (made_[i] != 0) i = (i + 1) & mask;
  made_[i] = hash;
  ++madeCount_;
}

RecordFolder::Known RecordFolder::Look(std::string_view name, std::string* host) const {
  if (!isListed_ || !PlainName(name)) return Known::kUnusual;
  const uint64_t hash = NameHash(name);
  host->clear();
  if (const Listed* l = FindListed(name, hash)) {
    if (l->several) return Known::kUnusual;
    const std::string_view listed = std::string_view(names_).substr(l->offset, l->length);
    host->append(listed);
    return listed == name ? Known::kExact : Known::kOneMatch;
  }
  // A name this job made may stand in the folder in another spelling.
  if (Made(hash)) return Known::kUnusual;
  host->append(name);
  return Known::kNew;
}

bool RecordFolder::IsNew(std::string_view name) const {
  std::string host;
  return Look(name, &host) == Known::kNew;
}

bool RecordFolder::IsMissing(std::string_view name) const {
  std::string host;
  switch (Look(name, &host)) {
    case Known::kNew:
      return true;
    case Known::kExact:
    case Known::kOneMatch:
      return false;
    case Known::kUnusual:
      break;
  }
  // Several spellings, a name this job made, a folder not listed: asked of
  // the folder, by the case rule.
  if (!folder_.valid()) return false;
  bool exists = false;
  ResolveName(folder_, name, &exists);
  return !exists;
}

Status RecordFolder::Write(std::string_view name, const std::vector<uint8_t>& bytes) {
  CleanUp();
  std::string& entry = path_;  // reused: no new string per record
  const Known known = Look(name, &entry);
  if (known == Known::kUnusual) return WriteGeneral(name, bytes);
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  if (known == Known::kNew) {
    FileSystem& fs = folder_.fs();
    const int fd = fs.OpenAt(folder_.fd(), entry.c_str(), O_RDWR | O_CREAT | O_EXCL | kFlags, 0666);
    if (fd < 0) {
      // Made meanwhile by someone else, or a link: the general way finds it.
      if (errno == EEXIST) return WriteGeneral(name, bytes);
      return PosixError("cannot create " + folder_.HostOf(entry), errno);
    }
    NoteMade(NameHash(name));
    AdoptFolderOwner(folder_, fd);
    return WriteRecordToOpenFile(fs, fd, folder_.HostOf(entry), folder_.fd(), entry, nullptr,
                                 bytes);
  }
  // Opened without blocking, so that a FIFO put there meanwhile cannot hang
  // the job, and without following a link; anything but an ordinary file
  // the caller may write goes the general way, which follows a trusted link
  // and refuses the rest with its reason.
  FileSystem& fs = folder_.fs();
  const int fd = fs.OpenAt(folder_.fd(), entry.c_str(), O_RDWR | kFlags, 0);
  if (fd < 0) return WriteGeneral(name, bytes);
  struct stat st;
  // Opening for writing has shown that the system lets the caller write it;
  // root, whom it lets write anything, honours the owner write bit.
  if (fs.Fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (root_ && (st.st_mode & S_IWUSR) == 0)) {
    close(fd);
    return WriteGeneral(name, bytes);
  }
  return WriteRecordToOpenFile(fs, fd, folder_.HostOf(entry), -1, entry, &st, bytes);
}

Status RecordFolder::CheckWrite(std::string_view name) const {
  if (!folder_.valid()) return reached_.WithContext("cannot write " + SpelledPath(ToolPath(name)));
  bool exists = false;
  const std::string entry = ResolveName(folder_, name, &exists);
  if (!exists) {
    // A new file needs leave to write in the folder (root always has it).
    if (faccessat(folder_.fd(), ".", W_OK, AT_EACCESS) != 0) {
      return PosixError("cannot create " + folder_.HostOf(entry), errno);
    }
    return Status::OK();
  }
  // Opening an existing file for writing changes nothing in it, and asks the
  // system exactly what the write would ask; no O_CREAT, so nothing is made.
  UniqueFd fd;
  struct stat st;
  Target where;
  const Status s = OpenFile(folder_, entry, O_RDWR, 0, &fd, &st, nullptr, &where);
  // A trusted link to a missing file: the write would make the file.
  if (s.IsNotFound()) return Status::OK();
  // Said as the write, which opens with O_CREAT, says it.
  if (!s.ok() && !IsRefusal(s) && s.sysError() != 0) {
    return PosixError("cannot open or create " + folder_.HostOf(entry), s.sysError());
  }
  if (!s.ok()) return s;
  if (geteuid() == 0 && (st.st_mode & S_IWUSR) == 0) {
    return Status::IOError(where.host() + " is read-only", EACCES);
  }
  return Status::OK();
}

Status RecordFolder::Read(std::string_view name, size_t size, std::vector<uint8_t>* out,
                          size_t* delivered) {
  std::string& entry = path_;
  const Known known = Look(name, &entry);
  // A missing file is created by the general way, as the host's open does.
  if (known == Known::kUnusual || known == Known::kNew) {
    return ReadGeneral(name, size, out, delivered);
  }
  FileSystem& fs = folder_.fs();
  const int fd =
      fs.OpenAt(folder_.fd(), entry.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
  if (fd < 0) return ReadGeneral(name, size, out, delivered);
  struct stat st;
  if (fs.Fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return ReadGeneral(name, size, out, delivered);
  }
  return ReadRecordFromOpenFile(fs, fd, folder_.HostOf(entry), size, out, delivered);
}

Status RecordFolder::CreateNew(std::string_view name, std::string_view bytes, bool* notDone) {
  *notDone = true;
  std::string target;
  if (Look(name, &target) != Known::kNew) return Status::OK();
  CleanUp();
  *notDone = false;
  const Status s = CreateFile(folder_, target, bytes, 0666, true);
  // A file of that name appeared since the listing: that one is edited,
  // not replaced.
  if (s.IsChanged()) {
    *notDone = true;
    return Status::OK();
  }
  if (s.ok()) NoteMade(NameHash(name));
  return s;
}

}  // namespace common
