// Runs every recorded profile-file case (reads and writes with exact bytes,
// recorded on the host) against ReadIniKey and WriteIniKey. Each case file
// is one test, named after the file, in its own scratch server folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/profile.h"
#include "common/program_folder.h"
#include "tests/support/scratch_folder.h"

namespace common {

namespace fs = std::filesystem;

namespace {

const char kCasesDir[] = PROFILE_CASES_DIR;

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t at = s.find(sep, start);
    out.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return out;
    start = at + 1;
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Bytes and expected results: "\xNN" and "\\". Command fields also know
// "\t", "\n" and "\r"; any other backslash stands for itself (a path such as
// "\Items.INI").
std::string Unescape(const std::string& s, bool commandField) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 >= s.size()) {
      out.push_back(s[i]);
      continue;
    }
    char n = s[i + 1];
    if (n == '\\') {
      out.push_back('\\');
      ++i;
    } else if (n == 'x' && i + 3 < s.size() && HexDigit(s[i + 2]) >= 0 && HexDigit(s[i + 3]) >= 0) {
      out.push_back(static_cast<char>(HexDigit(s[i + 2]) * 16 + HexDigit(s[i + 3])));
      i += 3;
    } else if (commandField && (n == 't' || n == 'n' || n == 'r')) {
      out.push_back(n == 't' ? '\t' : n == 'n' ? '\n' : '\r');
      ++i;
    } else {
      out.push_back('\\');
    }
  }
  return out;
}

struct Command {
  char op;  // 'R' or 'W'
  std::string file, section, key, value;
  bool deletes = false;  // a "\N" argument: the host's delete form
};

struct Expect {
  char op;
  long ret;
  std::string value;
};

struct Case {
  std::string description;
  std::set<std::string> tags;
  std::vector<std::string> dirs;
  std::vector<std::pair<std::string, std::string>> files;
  std::vector<Command> commands;
  std::vector<Expect> expects;
  std::map<std::string, std::string> finals;
};

Case ParseCase(const std::string& text) {
  Case c;
  for (std::string line : Split(text, '\n')) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line[0] == '#') {
      c.description = line;
      continue;
    }
    std::vector<std::string> f = Split(line, '\t');
    auto field = [&](size_t i) { return i < f.size() ? f[i] : std::string(); };
    if (f[0] == "tags") {
      for (const std::string& t : Split(field(1), ',')) c.tags.insert(t);
    } else if (f[0] == "dir") {
      c.dirs.push_back(field(1));
    } else if (f[0] == "file") {
      c.files.emplace_back(field(1), Unescape(field(2), false));
    } else if (f[0] == "final") {
      c.finals[field(1)] = Unescape(field(2), false);
    } else if (f[0] == "cmd") {
      Command cmd;
      cmd.op = field(1).empty() ? '?' : field(1)[0];
      for (size_t i = 3; i < f.size(); ++i)
        if (f[i] == "\\N") cmd.deletes = true;
      cmd.file = Unescape(field(2), true);
      cmd.section = Unescape(field(3), true);
      cmd.key = Unescape(field(4), true);
      cmd.value = Unescape(field(5), true);
      c.commands.push_back(cmd);
    } else if (f[0] == "expect") {
      Expect e;
      e.op = field(1).empty() ? '?' : field(1)[0];
      e.ret = std::stol(field(2));
      e.value = e.op == 'R' ? Unescape(field(3), false) : field(3);
      c.expects.push_back(e);
    } else {
      ADD_FAILURE() << "unknown record: " << line.substr(0, 60);
    }
  }
  return c;
}

std::string Printable(const std::string& s) {
  std::string out;
  for (unsigned char ch : s.substr(0, 300)) {
    if (ch >= 0x20 && ch < 0x7F && ch != '\\') {
      out.push_back(static_cast<char>(ch));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", ch);
      out += buf;
    }
  }
  if (s.size() > 300) out += "...(" + std::to_string(s.size()) + " bytes)";
  return out;
}

// Where the recorded host differs from the behaviour these tools keep, the
// result the tools must give instead, with the reason: for a command's own
// result, or for what the key it names reads back as at the end. Only cases
// tagged "wine" may appear here.
struct Deviation {
  const char* caseName;
  size_t command;  // index among the case's commands
  bool readBack;
  const char* why;
  const char* expected;  // escaped as in the case files; null: 4999 "x"
};

const Deviation kDeviations[] = {
    {"f009", 1, false,
     "a quoted 5001-byte value loses its quotes first and is then cut to 4999 bytes", nullptr},
    {"f024", 1, false, "the bytes after a UTF-8 byte-order mark are passed through, not decoded",
     R"(\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80)"},
    {"r0013", 6, false,
     "the bytes after a UTF-8 byte-order mark are passed through, so the key matches",
     R"(\xE9\x85)"},
    {"r0013", 6, true, "the bytes after a UTF-8 byte-order mark are kept as they are",
     R"(\xE9\x85)"},
    {"f015", 0, true, "an edit keeps the empty section headers that the other writer dropped", ""},
    {"f042", 0, true, "a value is written into a UTF-8-marked file as the bytes given",
     R"(\xE9\x80)"},
    {"r0109", 1, true, "a value is written into a UTF-8-marked file as the bytes given",
     R"( \xE9p\xE9e )"},
    {"r0109", 4, true, "a value is written into a UTF-8-marked file as the bytes given",
     R"( \xE9p\xE9e )"},
    {"r0109", 6, true, "a value is written into a UTF-8-marked file as the bytes given",
     R"( \xE9p\xE9e )"},
};

const Deviation* DeviationFor(const std::string& name, size_t command, bool readBack) {
  for (const Deviation& d : kDeviations)
    if (name == d.caseName && command == d.command && readBack == d.readBack) return &d;
  return nullptr;
}

std::string DeviationValue(const Deviation& d) {
  return d.expected ? Unescape(d.expected, false) : std::string(4999, 'x');
}

std::string ToolPath(const std::string& root, const std::string& name) {
  std::string path = root + "\\" + name;
  std::replace(path.begin() + static_cast<long>(root.size()), path.end(), '/', '\\');
  return path;
}

// Every file (anything but a folder) under `root`, by its relative name.
std::map<std::string, std::string> FilesUnder(const std::string& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_directory()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    out[fs::relative(e.path(), root).generic_string()] = ss.str();
  }
  return out;
}

ino_t InodeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(kCasesDir, ec))
    if (e.path().extension() == ".case") names.push_back(e.path().stem().string());
  std::sort(names.begin(), names.end());
  // A missing folder must not pass as "no cases": one test reports it.
  if (names.empty()) names.push_back("missing_cases_folder");
  return names;
}

class ProfileCase : public testing::TestWithParam<std::string> {};

TEST_P(ProfileCase, MatchesRecording) {
  const std::string name = GetParam();
  const fs::path file = fs::path(kCasesDir) / (name + ".case");
  ASSERT_TRUE(fs::exists(file)) << "no profile cases at " << kCasesDir;
  std::ifstream in(file, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  const Case c = ParseCase(ss.str());
  SCOPED_TRACE(name + " " + c.description);
  ASSERT_EQ(c.commands.size(), c.expects.size());
  const bool wine = c.tags.count("wine") > 0;

  ScratchFolder server;
  for (const std::string& d : c.dirs) server.MakeDir(d);
  std::map<std::string, ino_t> inodes;
  for (const auto& [fname, bytes] : c.files) {
    server.Write(fname, bytes);
    inodes[fname] = InodeOf(server.At(fname));
  }

  for (size_t i = 0; i < c.commands.size(); ++i) {
    const Command& cmd = c.commands[i];
    const Expect& exp = c.expects[i];
    SCOPED_TRACE("command " + std::to_string(i) + ": " + cmd.op + " " + Printable(cmd.file) + " [" +
                 Printable(cmd.section) + "] " + Printable(cmd.key));
    ASSERT_EQ(exp.op, cmd.op);
    const std::string path = ToolPath(server.path(), cmd.file);
    if (cmd.op == 'R') {
      std::string got = ReadIniKey(path, cmd.section, cmd.key);
      std::string want = exp.value;
      const Deviation* d = DeviationFor(name, i, false);
      if (d) {
        ASSERT_TRUE(wine) << "deviations are for recordings of the other implementation only";
        want = DeviationValue(*d);
      } else {
        EXPECT_EQ(static_cast<long>(got.size()), exp.ret);
      }
      EXPECT_EQ(Printable(got), Printable(want)) << (d ? d->why : "");
    } else {
      // "\N" stands for no value (delete the key) or no key (delete the section).
      const Status st = !cmd.deletes       ? WriteIniKey(path, cmd.section, cmd.key, cmd.value)
                        : cmd.key == "\\N" ? DeleteIniSection(path, cmd.section)
                                           : DeleteIniKey(path, cmd.section, cmd.key);
      EXPECT_EQ(st.ok() ? 1 : 0, exp.ret) << st.ToString();
    }
  }

  const std::map<std::string, std::string> actual = FilesUnder(server.path());
  std::set<std::string> actualNames, wantNames;
  for (const auto& [n, b] : actual) actualNames.insert(n);
  for (const auto& [n, b] : c.finals) wantNames.insert(n);
  ASSERT_EQ(actualNames, wantNames) << "files left in the folder";

  const bool exact = c.tags.count("canonical") && !c.tags.count("wine-rewrite");
  ScratchFolder recorded;  // the recorded final files, to read them back
  for (const auto& [fname, bytes] : c.finals) recorded.Write(fname, bytes);
  for (const auto& [fname, want] : c.finals) {
    SCOPED_TRACE("final " + fname);
    const std::string& got = actual.at(fname);
    auto initial = std::find_if(c.files.begin(), c.files.end(),
                                [&](const auto& f) { return f.first == fname; });
    const bool untouched = initial != c.files.end() && initial->second == want;
    if (exact || untouched) {
      EXPECT_EQ(Printable(got), Printable(want));
    }
    if (untouched) {
      // The host did not touch this file, so neither may we: not even rewrite it.
      EXPECT_EQ(InodeOf(server.At(fname)), inodes[fname]) << "file was rewritten";
    }
  }
  if (!exact) {
    // The recording re-serialised whole files; what must agree is what every
    // named key reads back as.
    for (size_t i = 0; i < c.commands.size(); ++i) {
      const Command& cmd = c.commands[i];
      std::string ours = ReadIniKey(ToolPath(server.path(), cmd.file), cmd.section, cmd.key);
      std::string theirs = ReadIniKey(ToolPath(recorded.path(), cmd.file), cmd.section, cmd.key);
      if (const Deviation* d = DeviationFor(name, i, true)) {
        ASSERT_TRUE(wine) << "deviations are for recordings of the other implementation only";
        EXPECT_EQ(Printable(ours), Printable(DeviationValue(*d))) << d->why;
        continue;
      }
      EXPECT_EQ(Printable(ours), Printable(theirs))
          << "read-back of [" << Printable(cmd.section) << "] " << Printable(cmd.key) << " in "
          << cmd.file;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Recorded, ProfileCase, testing::ValuesIn(CaseNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace

}  // namespace common
