#include "common/server_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "common/program_folder.h"
#include "common/text_util.h"

namespace common {

namespace {

constexpr std::string_view kServerExeName = "server.exe";
// Enough for any command line that names a program; a longer one is read
// this far (its first arguments are the ones that matter).
constexpr size_t kCommandLineLimit = 256 * 1024;

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

// The last component of a name in host or Windows style.
std::string_view BaseName(std::string_view name) {
  const size_t cut = name.find_last_of("/\\");
  return cut == std::string_view::npos ? name : name.substr(cut + 1);
}

std::string Slashes(std::string_view windowsPath) {
  std::string out(windowsPath);
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

// `path` (absolute) with ".", ".." and repeated separators taken out, by
// name only; for comparing names where the folder cannot be looked at.
std::string Lexical(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t at = 0;
  while (at < path.size()) {
    size_t end = path.find('/', at);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(at, end - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::string out;
  for (std::string_view p : parts) {
    out += '/';
    out += p;
  }
  return out.empty() ? "/" : out;
}

// A small /proc file, read whole (up to `limit` bytes); nothing when it
// cannot be read.
std::optional<std::string> ReadProcFile(int procFd, const std::string& name, size_t limit) {
  const int fd = openat(procFd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return std::nullopt;
  std::string out;
  char buf[8192];
  bool failed = false;
  while (out.size() < limit) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failed = true;
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  if (failed) return std::nullopt;
  return out;
}

// The link's text; nothing, with errno set, when it cannot be read.
std::optional<std::string> ReadProcLink(int procFd, const std::string& name) {
  char buf[PATH_MAX];
  const ssize_t n = readlinkat(procFd, name.c_str(), buf, sizeof buf);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof buf) {
    if (n >= 0) errno = ENAMETOOLONG;
    return std::nullopt;
  }
  return std::string(buf, static_cast<size_t>(n));
}

// The server folder as the processes' paths are compared with it.
class Target {
 public:
  explicit Target(const std::string& folder) {
    names_.push_back(Lexical(folder));
    if (char* real = realpath(folder.c_str(), nullptr)) {
      names_.push_back(real);
      std::free(real);
    }
    struct stat st;
    if (stat(folder.c_str(), &st) == 0) id_ = st;
  }

  // Whether the absolute host path `path` names this folder's server.exe.
  bool Names(const std::string& path) const {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return false;
    if (!SameName(std::string_view(path).substr(slash + 1), kServerExeName)) return false;
    const std::string dir = slash == 0 ? std::string("/") : path.substr(0, slash);
    struct stat st;
    if (id_ && stat(dir.c_str(), &st) == 0) {
      return st.st_dev == id_->st_dev && st.st_ino == id_->st_ino;
    }
    // A folder we may not look at, or a spelling that only wine's
    // case-blind lookup finds: compare by name.
    const std::string lexical = Lexical(dir);
    for (const std::string& name : names_) {
      if (SameName(lexical, name)) return true;
    }
    return false;
  }

 private:
  std::vector<std::string> names_;  // as given and as resolved, both lexical
  std::optional<struct stat> id_;
};

// Where a command-line argument puts the file it names.
struct Place {
  enum Kind { kHostPath, kUnsettled, kNowhere } kind = kNowhere;
  std::string path;
};

// One process's view, read only as far as an argument needs it.
class ProcessView {
 public:
  ProcessView(int procFd, pid_t pid) : procFd_(procFd), dir_(Dec(pid) + "/") {}

  std::optional<std::string> Executable() const { return ReadProcLink(procFd_, dir_ + "exe"); }
  std::optional<std::string> CommandLine() const {
    return ReadProcFile(procFd_, dir_ + "cmdline", kCommandLineLimit);
  }

  Place PlaceOf(std::string_view arg) {
    // NT forms wine may show: "\\?\Z:\...", "\??\Z:\...", "\\?\unix\...".
    if (StartsWith(arg, "\\\\?\\") || StartsWith(arg, "\\??\\")) {
      arg.remove_prefix(4);
      if (arg.size() > 5 && SameName(arg.substr(0, 4), "unix") &&
          (arg[4] == '\\' || arg[4] == '/')) {
        return {Place::kHostPath, Slashes(arg.substr(4))};
      }
    }
    const bool drive = arg.size() >= 2 && arg[1] == ':' &&
                       ((arg[0] >= 'A' && arg[0] <= 'Z') || (arg[0] >= 'a' && arg[0] <= 'z'));
    if (drive) {
      if (arg.size() < 3 || (arg[2] != '\\' && arg[2] != '/')) return {Place::kUnsettled, {}};
      const std::string rest = Slashes(arg.substr(2));
      if (LowerAsciiChar(arg[0]) == 'z') return {Place::kHostPath, rest};
      return DriveRoot(LowerAsciiChar(arg[0]), rest);
    }
    if (!arg.empty() && arg[0] == '/') return {Place::kHostPath, std::string(arg)};
    // The root of the process's current Windows drive: not known here.
    if (!arg.empty() && arg[0] == '\\') return {Place::kUnsettled, {}};
    if (!cwd_) cwd_ = ReadProcLink(procFd_, dir_ + "cwd").value_or("");
    if (cwd_->empty() || (*cwd_)[0] != '/') return {Place::kUnsettled, {}};
    return {Place::kHostPath, *cwd_ + "/" + Slashes(arg)};
  }

 private:
  // A drive other than Z: is a link in the process's wine prefix.
  Place DriveRoot(char letter, const std::string& rest) {
    if (!environment_) {
      environment_ = ReadProcFile(procFd_, dir_ + "environ", kCommandLineLimit).value_or("");
    }
    std::string prefix, home;
    for (size_t at = 0; at < environment_->size();) {
      size_t end = environment_->find('\0', at);
      if (end == std::string::npos) end = environment_->size();
      const std::string_view entry = std::string_view(*environment_).substr(at, end - at);
      // The first of a name counts, as getenv finds it.
      if (prefix.empty() && StartsWith(entry, "WINEPREFIX=")) prefix = entry.substr(11);
      if (home.empty() && StartsWith(entry, "HOME=")) home = entry.substr(5);
      at = end + 1;
    }
    if (prefix.empty() && !home.empty()) prefix = home + "/.wine";
    if (prefix.empty() || prefix[0] != '/') return {Place::kUnsettled, {}};
    const std::string link = prefix + "/dosdevices/" + letter + ":";
    char* root = realpath(link.c_str(), nullptr);
    if (!root) return {errno == ENOENT ? Place::kNowhere : Place::kUnsettled, {}};
    Place place{Place::kHostPath, std::string(root) + rest};
    std::free(root);
    return place;
  }

  int procFd_;
  std::string dir_;
  std::optional<std::string> cwd_;          // "" when it cannot be read
  std::optional<std::string> environment_;  // "" when it cannot be read
};

// Whether process `pid` is the server: certainly (true), possibly (false),
// or not at all (nothing).
std::optional<bool> Examine(int procFd, pid_t pid, const Target& target) {
  ProcessView process(procFd, pid);
  std::optional<std::string> exe = process.Executable();
  // A kernel thread, a zombie or a process gone by now: none runs a server,
  // and their command lines need not be read.
  if (!exe && errno == ENOENT) return std::nullopt;
  if (exe && !exe->empty()) {
    // A program file replaced or removed since it started.
    constexpr std::string_view kDeleted = " (deleted)";
    if (exe->size() > kDeleted.size() &&
        std::string_view(*exe).substr(exe->size() - kDeleted.size()) == kDeleted) {
      exe->resize(exe->size() - kDeleted.size());
    }
    if ((*exe)[0] == '/' && target.Names(*exe)) return true;
  }
  const std::optional<std::string> commandLine = process.CommandLine();
  if (!commandLine) return std::nullopt;
  bool possibly = false;
  const std::string_view args(*commandLine);
  for (size_t at = 0; at < args.size();) {
    size_t end = args.find('\0', at);
    if (end == std::string_view::npos) end = args.size();
    const std::string_view arg = args.substr(at, end - at);
    at = end + 1;
    if (!SameName(BaseName(arg), kServerExeName)) continue;
    const Place place = process.PlaceOf(arg);
    if (place.kind == Place::kHostPath && target.Names(place.path)) return true;
    if (place.kind == Place::kUnsettled) possibly = true;
  }
  if (possibly) return false;
  return std::nullopt;
}

std::string PidList(const std::vector<pid_t>& pids) {
  std::string out = pids.size() == 1 ? "process " : "processes ";
  for (size_t i = 0; i < pids.size(); ++i) {
    if (i > 0) out += ", ";
    out += Dec(pids[i]);
  }
  return out;
}

}  // namespace

std::vector<ServerProcess> FindServerProcesses(const std::string& folder) {
  std::vector<ServerProcess> found;
  const int procFd = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (procFd < 0) return found;
  DIR* proc = fdopendir(dup(procFd));
  if (!proc) {
    close(procFd);
    return found;
  }
  const Target target(folder);
  const pid_t self = getpid();
  while (const dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || pid <= 0 || pid == self) continue;
    if (const std::optional<bool> is = Examine(procFd, static_cast<pid_t>(pid), target)) {
      found.push_back({static_cast<pid_t>(pid), *is});
    }
  }
  closedir(proc);
  close(procFd);
  std::sort(found.begin(), found.end(),
            [](const ServerProcess& a, const ServerProcess& b) { return a.pid < b.pid; });
  return found;
}

std::vector<ServerProcess> FindRunningServer() { return FindServerProcesses(ProgramFolder()); }

std::string DescribeServerProcesses(const std::vector<ServerProcess>& running) {
  std::vector<pid_t> certain, possible;
  for (const ServerProcess& p : running) (p.certain ? certain : possible).push_back(p.pid);
  std::string out;
  if (!certain.empty()) out = PidList(certain);
  if (!possible.empty()) {
    if (!out.empty()) out += "; ";
    out += "possibly " + PidList(possible) +
           (possible.size() == 1 ? " (a server.exe whose folder cannot be checked)"
                                 : " (server.exe programs whose folders cannot be checked)");
  }
  return out;
}

Status CheckServerBeforeWrite(MessagePort& messages, ServerCheck mode) {
  return CheckServerBeforeWrite(ProgramFolder(), messages, mode);
}

Status CheckServerBeforeWrite(const std::string& folder, MessagePort& messages, ServerCheck mode) {
  const std::vector<ServerProcess> running = FindServerProcesses(folder);
  if (running.empty()) return Status::OK();
  const bool certain =
      std::any_of(running.begin(), running.end(), [](const ServerProcess& p) { return p.certain; });
  const std::string who = std::string("The game server of this folder ") +
                          (certain ? "is running (" : "may be running (") +
                          DescribeServerProcesses(running) + ")";
  switch (mode) {
    case ServerCheck::kForce:
      messages.Show(who + "; writing anyway (--force).", kServerRunningTitle, MsgButtons::Ok,
                    MsgIcon::None);
      return Status::OK();
    case ServerCheck::kRefuse:
      return Status::Aborted(who + ". Stop the server first, or give --force to write anyway.");
    case ServerCheck::kAsk:
      break;
  }
  if (messages.Show(who + ".\n\nWriting its files while it runs can lose the server's saves or "
                          "these changes. Write anyway?",
                    kServerRunningTitle, MsgButtons::YesNoDefaultNo,
                    MsgIcon::None) == MsgAnswer::Yes) {
    return Status::OK();
  }
  return Status::Aborted(who + ".");
}

}  // namespace common
