#include "common/record_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/atomic_file.h"
#include "common/binary_record.h"
#include "common/host_path.h"
#include "common/text_util.h"

namespace common {

namespace {

bool PlainName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    if (IsSeparator(c) || c == '\0') return false;
  }
  return true;
}

bool WriteAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

RecordFolder::RecordFolder(std::string_view folder) : tool_(folder) {
  if (tool_.empty() || !IsSeparator(tool_.back())) tool_ += '\\';
  host_ = ResolvePath(tool_);
  root_ = geteuid() == 0;
  DIR* dir = opendir(host_.c_str());
  if (!dir) return;  // every record goes the general way, which says why
  while (dirent* e = readdir(dir)) {
    const std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    auto [it, inserted] = byUpper_.try_emplace(UpperAscii(name), name);
    if (!inserted) it->second.clear();  // several spellings: resolved by name
  }
  closedir(dir);
  listed_ = true;
}

RecordFolder::~RecordFolder() {
  if (dirFd_ >= 0) close(dirFd_);
}

std::string RecordFolder::ToolPath(std::string_view name) const {
  return tool_ + std::string(name);
}

RecordFolder::Known RecordFolder::Look(std::string_view name, std::string* host) const {
  if (!listed_ || !PlainName(name)) return Known::kUnusual;
  auto it = byUpper_.find(UpperAscii(name));
  if (it == byUpper_.end()) {
    *host = JoinHostPath(host_, std::string(name));
    return Known::kNew;
  }
  if (it->second.empty()) return Known::kUnusual;
  *host = JoinHostPath(host_, it->second);
  return it->second == name ? Known::kExact : Known::kOneMatch;
}

bool RecordFolder::IsNew(std::string_view name) const {
  std::string host;
  return Look(name, &host) == Known::kNew;
}

Status RecordFolder::Write(std::string_view name, const std::vector<uint8_t>& bytes) {
  std::string host;
  const Known known = Look(name, &host);
  if (known == Known::kUnusual) return WriteRecordFile(ToolPath(name), bytes);
  if (known == Known::kNew) {
    const int fd = open(host.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
      // Made meanwhile by someone else: the general way finds it.
      if (errno == EEXIST) return WriteRecordFile(ToolPath(name), bytes);
      return PosixError("cannot create " + host, errno);
    }
    byUpper_.emplace(UpperAscii(name), std::string(name));
    return WriteRecordToOpenFile(fd, host, true, nullptr, bytes);
  }
  // Opened without blocking, so that a FIFO put there meanwhile cannot hang
  // the job; anything but an ordinary file the caller may write goes the
  // general way, which refuses it with its reason.
  const int fd = open(host.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return WriteRecordFile(ToolPath(name), bytes);
  struct stat st;
  // Opening for writing has shown that the system lets the caller write it;
  // root, whom it lets write anything, honours the owner write bit.
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (root_ && (st.st_mode & S_IWUSR) == 0)) {
    close(fd);
    return WriteRecordFile(ToolPath(name), bytes);
  }
  return WriteRecordToOpenFile(fd, host, false, &st, bytes);
}

Status RecordFolder::Read(std::string_view name, size_t size, std::vector<uint8_t>* out,
                          size_t* delivered) {
  std::string host;
  const Known known = Look(name, &host);
  // A missing file is created by the general way, as the host's open does.
  if (known == Known::kUnusual || known == Known::kNew) {
    return ReadRecordFile(ToolPath(name), size, out, delivered);
  }
  const int fd = open(host.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return ReadRecordFile(ToolPath(name), size, out, delivered);
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return ReadRecordFile(ToolPath(name), size, out, delivered);
  }
  return ReadRecordFromOpenFile(fd, host, size, out, delivered);
}

Status RecordFolder::CreateNew(std::string_view name, std::string_view bytes, bool* notDone) {
  *notDone = true;
  std::string target;
  if (Look(name, &target) != Known::kNew) return Status::OK();
  if (dirFd_ < 0) {
    dirFd_ = open(host_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0) return Status::OK();
    nameMax_ = fpathconf(dirFd_, _PC_NAME_MAX);
    if (nameMax_ <= 0) nameMax_ = 255;
    pid_ = std::to_string(getpid());
  }
  // Named as ReplaceFileAtomically names its temporary files: hidden, so
  // that no search of the tools sees it, and cut to the folder's limit.
  int fd = -1;
  std::string temp;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    const std::string suffix = ".tmp-" + pid_ + "-r" + std::to_string(++temps_);
    std::string base(name);
    const size_t room = static_cast<size_t>(nameMax_) - 1 - suffix.size();
    if (base.size() > room) base.resize(room);
    temp = host_ + "/." + base + suffix;
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  *notDone = false;
  if (fd < 0) return PosixError("cannot create " + temp, errno);
  auto fail = [&](const std::string& what, int err) {
    close(fd);
    unlink(temp.c_str());
    return PosixError(what, err);
  };
  if (WriteFaultInjected(target)) return fail("cannot write " + temp, ENOSPC);
  if (!WriteAll(fd, bytes)) return fail("cannot write " + temp, errno);
  if (fsync(fd) != 0) return fail("cannot flush " + temp, errno);
  if (close(fd) != 0) {
    const int err = errno;
    unlink(temp.c_str());
    return PosixError("cannot close " + temp, err);
  }
  // Never over a file that appeared since the listing: that one is edited,
  // not replaced.
  int rc = renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
  if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
    struct stat st;
    if (lstat(target.c_str(), &st) == 0) {
      errno = EEXIST;
    } else {
      rc = rename(temp.c_str(), target.c_str());
    }
  }
  if (rc != 0) {
    const int err = errno;
    unlink(temp.c_str());
    if (err == EEXIST) {
      *notDone = true;
      return Status::OK();
    }
    return PosixError("cannot replace " + target, err);
  }
  // Make the rename itself durable; a failure here leaves a complete file.
  fsync(dirFd_);
  byUpper_.emplace(UpperAscii(name), std::string(name));
  return Status::OK();
}

}  // namespace common
