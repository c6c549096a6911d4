// Helpers for tests that kill, starve and feed bad files to the tools' jobs:
// folder snapshots, a child process killed on demand, a small tmpfs and a
// watchdog.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "accounts/account_list.h"
#include "accounts/accounts_state.h"
#include "accounts/character_view.h"
#include "accounts/inventory_wipe.h"
#include "common/message_port.h"
#include "tests/support/recording_messages.h"

namespace reliability {

namespace fs = std::filesystem;

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// True for the name of a temporary file left by an interrupted replacement.
inline bool IsTempName(const std::string& name) {
  return !name.empty() && name[0] == '.' && name.find(".tmp-") != std::string::npos;
}

// Every ordinary file of `folder` but the temporary ones, name -> bytes.
inline std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (e.is_regular_file() && !IsTempName(name)) files[name] = ReadBytes(e.path().string());
  }
  return files;
}

inline std::vector<std::string> TempLeftovers(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (IsTempName(name)) names.push_back(name);
  }
  return names;
}

// Puts `files` into `folder` again, byte for byte, and removes the files
// that are not among them; temporary leftovers are kept.
inline void Restore(const std::string& folder, const std::map<std::string, std::string>& files) {
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (!IsTempName(name) && !files.count(name)) fs::remove_all(e.path());
  }
  for (const auto& [name, bytes] : files) {
    const std::string path = folder + "/" + name;
    WriteBytes(path, bytes);
    // Saved a while ago, as the server's files are when a job starts: a file
    // changed just now is waited for (it may be half saved), which would
    // put the whole run's writes into its last few milliseconds.
    timespec past[2];
    clock_gettime(CLOCK_REALTIME, &past[0]);
    past[0].tv_sec -= 10;
    past[1] = past[0];
    utimensat(AT_FDCWD, path.c_str(), past, 0);
  }
}

// Runs `job` in a child process. With `killAfter` set, the child is killed
// with SIGKILL after that delay, unless it has ended already. Returns true
// when the child ran to its end and exited with 0.
inline bool RunInChild(const std::function<void()>& job,
                       const std::chrono::microseconds* killAfter = nullptr) {
  pid_t pid = fork();
  if (pid == 0) {
    try {
      job();
    } catch (...) {
      _exit(3);
    }
    _exit(0);
  }
  if (pid < 0) return false;
  if (killAfter) {
    if (killAfter->count() > 0) usleep(static_cast<useconds_t>(killAfter->count()));
    kill(pid, SIGKILL);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A tmpfs of `size` mounted over `folder` for the life of the object.
class TmpfsMount {
 public:
  TmpfsMount(const std::string& folder, const std::string& size) : folder_(folder) {
    const std::string options = "size=" + size;
    mounted_ = mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~TmpfsMount() {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  }
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;
  bool mounted() const { return mounted_; }

  // Fills what space is left with a file of that name, so that the next
  // write needing a new block fails.
  void FillUp(const std::string& name) const {
    std::ofstream out(folder_ + "/" + name, std::ios::binary);
    const std::string block(1024, 'F');
    for (int i = 0; i < 100000 && out; ++i) out.write(block.data(), block.size()), out.flush();
    // A file system this small has a few bytes left once blocks run out.
    struct statvfs sv;
    if (statvfs(folder_.c_str(), &sv) == 0 && sv.f_bavail > 0) {
      std::ofstream more(folder_ + "/" + name + "2", std::ios::binary);
      for (int i = 0; i < 100000 && more; ++i) more.put('F'), more.flush();
    }
  }

 private:
  std::string folder_;
  bool mounted_ = false;
};

// Makes the ScratchFolders created during its life live on a fresh tmpfs,
// where flushing to disk costs nothing: a killed process loses nothing that
// reached the page cache, so kill tests lose no strength there and run
// quickly. Without the right to mount, scratch folders stay where they are.
class ScratchOnTmpfs {
 public:
  ScratchOnTmpfs() {
    const char* old = std::getenv("TMPDIR");
    hadOld_ = old != nullptr;
    if (old) old_ = old;
    std::string tmpl = (fs::temp_directory_path() / "ram-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) return;
    folder_ = tmpl;
    mount_ = std::make_unique<TmpfsMount>(folder_, "256m");
    if (mount_->mounted()) setenv("TMPDIR", folder_.c_str(), 1);
  }
  ~ScratchOnTmpfs() {
    if (hadOld_) {
      setenv("TMPDIR", old_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
    mount_.reset();
    if (!folder_.empty()) rmdir(folder_.c_str());
  }
  bool active() const { return mount_ && mount_->mounted(); }

 private:
  bool hadOld_ = false;
  std::string old_;
  std::string folder_;
  std::unique_ptr<TmpfsMount> mount_;
};

// Ends the test process with a message when a test blocks for longer than
// `seconds`: a test that hangs must fail, not stall the suite.
class Watchdog {
 public:
  explicit Watchdog(unsigned seconds) {
    signal(SIGALRM, [](int) {
      static const char msg[] = "watchdog: the test blocked\n";
      [[maybe_unused]] ssize_t n = write(2, msg, sizeof msg - 1);
      _exit(99);
    });
    alarm(seconds);
  }
  ~Watchdog() { alarm(0); }
};

}  // namespace reliability
