// Fuzzes profile-file reads and writes: arbitrary file bytes, then a sequence
// of reads and writes whose names and values come from the input.
//
// Invariants checked on every step:
//  - a read agrees with a straightforward line-by-line reader written here,
//    and the cached read agrees with a fresh parse;
//  - a write succeeds, a readable value reads back as written (leading and
//    trailing blanks dropped, one pair of quotes removed, cut to 4999 bytes);
//  - writing the same value again leaves the file byte-identical;
//  - no temporary file is left beside the profile file;
//  - one ProfileEdit with the same Set calls gives the same bytes as the
//    sequence of WriteIniKey calls.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_search.h"
#include "common/host_path.h"
#include "common/profile.h"
#include "common/program_folder.h"
#include "fuzz/fuzz_support.h"

namespace {

bool IsBlank(char c) { return c == '\t' || c == '\x0B' || c == '\x0C' || c == '\x1A' || c == ' '; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view Nul(std::string_view s) { return s.substr(0, s.find('\0')); }

char Up(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool Same(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Up(a[i]) != Up(b[i])) return false;
  return true;
}

// The value a reader hands back for a stored (trimmed) value.
std::string ForCaller(std::string_view v) {
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
    v = v.substr(1, v.size() - 2);
  return std::string(v.substr(0, 4999));
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

// A header's name, or nothing for a line that is no header.
std::optional<std::string_view> HeaderName(std::string_view line) {
  std::string_view body = Trim(line);
  if (body.empty() || body[0] != '[') return std::nullopt;
  size_t close = body.rfind(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Nul(Trim(body.substr(1, close - 1)));
}

// The straightforward reader: walks the lines until the first section of
// the name, then returns its first key of the name. Nothing for UTF-16
// files, which it does not decode.
std::optional<std::string> ReferenceRead(std::string_view bytes, std::string_view section,
                                         std::string_view key) {
  if (bytes.substr(0, 2) == "\xFF\xFE") return std::nullopt;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  section = Trim(Nul(section));
  key = Trim(Nul(key));
  std::vector<std::string> seen{""};
  bool inside = section.empty();  // lines before any header form section ""
  for (std::string_view line : Lines(bytes)) {
    if (auto name = HeaderName(line)) {
      if (inside) return "";  // left the first section of the name
      bool dup = false;
      for (const std::string& s : seen) dup = dup || Same(s, *name);
      if (!dup) seen.emplace_back(*name);
      inside = !dup && Same(*name, section);
      continue;
    }
    if (!inside || Trim(line).empty()) continue;
    size_t eq = line.find('=');
    std::string_view name = Nul(Trim(eq == std::string_view::npos ? line : line.substr(0, eq)));
    if (!Same(name, key)) continue;
    if (eq == std::string_view::npos) return "";
    return ForCaller(Nul(Trim(line.substr(eq + 1))));
  }
  return "";
}

std::string FlipCase(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 32);
    else if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c + 32);
  }
  return s;
}

// Names that the file itself uses, so that reads and writes hit them.
std::vector<std::string> NamesIn(std::string_view bytes) {
  std::vector<std::string> names{"", "A", "Sec"};
  for (std::string_view line : Lines(bytes)) {
    if (names.size() >= 64) break;
    if (auto h = HeaderName(line)) {
      names.emplace_back(*h);
    } else if (size_t eq = line.find('='); eq != std::string_view::npos) {
      names.emplace_back(Nul(Trim(line.substr(0, eq))));
    }
  }
  return names;
}

// Whether a written key can be read back: its line must parse as that key
// with that value, and the section's header as that section.
bool Readable(std::string_view section, std::string_view key, std::string_view value) {
  section = Nul(section);
  key = Nul(key);
  value = Nul(value);
  auto hasBreak = [](std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
  };
  if (hasBreak(section) || hasBreak(key) || hasBreak(value)) return false;
  std::string_view k = Trim(key);
  if (k.find('=') != std::string_view::npos) return false;
  // A key that makes its line a header line.
  if (HeaderName(std::string(k) + "=" + std::string(TrimLeft(value)))) return false;
  return true;
}

struct Write {
  std::string section, key, value;
};

struct Session {
  std::string folder;
  std::string file;  // the tool path used for every call
};

std::string FileBytes(const Session& s) {
  std::string bytes;
  if (!ReadBytes(common::ResolvePath(s.file), &bytes)) return "";
  return bytes;
}

void CheckRead(const Session& s, const std::string& section, const std::string& key) {
  std::string cached = common::ReadIniKey(s.file, section, key);
  common::ForgetProfileCache();
  std::string fresh = common::ReadIniKey(s.file, section, key);
  FUZZ_CHECK(cached == fresh, "cached read [" + Escaped(section) + "] " + Escaped(key) +
                                  " gave \"" + Escaped(cached) + "\", a fresh parse \"" +
                                  Escaped(fresh) + "\"");
  std::string bytes;
  bool exists = ReadBytes(common::ResolvePath(s.file), &bytes);
  std::optional<std::string> expected = exists ? ReferenceRead(bytes, section, key) : "";
  if (expected) {
    FUZZ_CHECK(fresh == *expected, "read [" + Escaped(section) + "] " + Escaped(key) + " gave \"" +
                                       Escaped(fresh) + "\", expected \"" + Escaped(*expected) +
                                       "\" in file \"" + Escaped(bytes) + "\"");
  }
}

void CheckNoStrayFiles(const Session& s) {
  std::vector<std::string> names;
  const common::Status listed = common::ListFolder(s.folder + "/", &names);
  FUZZ_CHECK(listed.ok(), "cannot list the scratch folder: " + listed.ToString());
  for (const std::string& n : names) {
    FUZZ_CHECK(n == "." || n == ".." || n == "test.ini" || n == "TEST.INI" || n == "copy.ini",
               "stray file left behind: " + Escaped(n));
  }
}

// Returns false when the write legitimately failed (a UTF-16 file).
bool CheckWrite(const Session& s, const Write& w) {
  std::string before = FileBytes(s);
  bool utf16 = before.substr(0, 2) == "\xFF\xFE";
  common::Status st = common::WriteIniKey(s.file, w.section, w.key, w.value);
  CheckNoStrayFiles(s);
  if (utf16) {
    FUZZ_CHECK(!st.ok() && FileBytes(s) == before, "a UTF-16 file was rewritten");
    FUZZ_CHECK(st.code() == common::Status::Code::kNotSupported,
               "a UTF-16 file was refused for another reason: " + st.ToString());
    return false;
  }
  if (!st.ok() && before.substr(0, 3) != "\xEF\xBB\xBF" && Trim(Nul(w.section)).empty()) {
    // A key put first into the part before any header may begin like a
    // byte-order mark; such a write is refused and changes nothing.
    std::string_view k = TrimLeft(Nul(w.key));
    if (k.substr(0, 2) == "\xFF\xFE" || k.substr(0, 3) == "\xEF\xBB\xBF") {
      FUZZ_CHECK(FileBytes(s) == before, "a refused write changed the file");
      FUZZ_CHECK(st.code() == common::Status::Code::kInvalidArgument,
                 "a key like a byte-order mark was refused for another reason: " + st.ToString());
      return false;
    }
  }
  FUZZ_CHECK(st.ok(), "write failed: " + st.ToString());
  std::string after = FileBytes(s);
  if (Readable(w.section, w.key, w.value)) {
    std::string expected = ForCaller(Trim(Nul(w.value)));
    common::ForgetProfileCache();
    std::string got = common::ReadIniKey(s.file, w.section, w.key);
    FUZZ_CHECK(got == expected, "wrote [" + Escaped(w.section) + "] " + Escaped(w.key) + "=\"" +
                                    Escaped(w.value) + "\", read back \"" + Escaped(got) +
                                    "\"; file before \"" + Escaped(before) + "\" after \"" +
                                    Escaped(after) + "\"");
    st = common::WriteIniKey(s.file, w.section, w.key, w.value);
    FUZZ_CHECK(st.ok(), "second write failed: " + st.ToString());
    std::string again = FileBytes(s);
    FUZZ_CHECK(again == after, "writing the same value twice changed the file from \"" +
                                   Escaped(after) + "\" to \"" + Escaped(again) + "\"");
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  Session s;
  // A new folder for every input: a file replaced within one clock tick
  // looks unchanged to the caches, which is no fault of the input.
  static unsigned counter = 0;
  EmptyFolder(ScratchRoot());
  s.folder = ScratchRoot() + "/in" + std::to_string(++counter);
  mkdir(s.folder.c_str(), 0755);
  common::SetProgramFolder(s.folder);
  common::ForgetProfileCache();

  const std::string original = in.ConsumeRandomLengthString(1 << 16);
  // An empty input means "no file"; anything else is the file's bytes.
  if (!original.empty()) WriteBytes(s.folder + "/test.ini", original);
  // Another case and a doubled separator: both resolve to the same file.
  s.file = s.folder + (original.size() % 2 ? "\\TEST.INI" : "\\\\TEST.INI");

  std::vector<std::string> names = NamesIn(original);
  auto pickName = [&]() -> std::string {
    std::string n = in.ConsumeBool() ? names[in.ConsumeIntegralInRange<size_t>(0, names.size() - 1)]
                                     : in.ConsumeRandomLengthString(24);
    return in.ConsumeBool() ? FlipCase(n) : n;
  };

  std::vector<Write> writes;
  bool writable = true;
  int ops = 0;
  while (in.remaining_bytes() > 0 && ops < 48) {
    ++ops;
    std::string section = pickName();
    std::string key = pickName();
    if (in.ConsumeBool()) {
      CheckRead(s, section, key);
      continue;
    }
    std::string value = in.ConsumeRandomLengthString(64);
    if (in.ConsumeIntegralInRange<int>(0, 15) == 0) {
      // Long values around the read limit.
      size_t length = in.ConsumeIntegralInRange<size_t>(4990, 5010);
      while (!value.empty() && value.size() < length) value += value;
      value.resize(value.empty() ? 0 : length);
    }
    Write w{section, key, value};
    if (!CheckWrite(s, w)) writable = false;
    writes.push_back(w);
  }
  if (ops == 0) {
    // A bare file: read what it names and add to its first section.
    for (size_t i = 0; i + 1 < names.size(); ++i) CheckRead(s, names[i], names[i + 1]);
    for (size_t i = 0; i < names.size(); ++i) CheckRead(s, names[i], names[i]);
    Write w1{names.size() > 3 ? names[3] : "Sec", "Key", "value"};
    Write w2{"New Section", names.size() > 4 ? names[4] : "k", " two words "};
    for (const Write& w : {w1, w2}) {
      if (!CheckWrite(s, w)) writable = false;
      writes.push_back(w);
    }
  }

  // The same writes as one edit of a copy of the original file.
  if (writable && !writes.empty()) {
    const std::string copyPath = s.folder + "/copy.ini";
    if (!original.empty()) WriteBytes(copyPath, original);
    common::ProfileEdit edit(s.folder + "\\copy.ini");
    for (const Write& w : writes) edit.Set(w.section, w.key, w.value);
    const common::Status committed = edit.Commit();
    FUZZ_CHECK(committed.ok(), "edit failed: " + committed.ToString());
    std::string single = FileBytes(s), batched;
    ReadBytes(copyPath, &batched);
    FUZZ_CHECK(single == batched, "one edit gave \"" + Escaped(batched) +
                                      "\" where single writes gave \"" + Escaped(single) + "\"");
  }
  return 0;
}
