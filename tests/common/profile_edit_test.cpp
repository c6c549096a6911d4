// Editing profile files in place: which bytes a write changes, where new
// lines go, and that a batch of edits equals the same writes one by one.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <tuple>
#include <vector>

#include "common/profile.h"
#include "common/program_folder.h"
#include "tests/common/status_assert.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/tool_paths.h"

namespace common {

namespace {

using namespace std::string_literals;

ino_t InodeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Writes `start` to a.ini, applies `set`, and returns the file's bytes.
std::string AfterWrite(const std::string& start, const std::string& section, const std::string& key,
                       const std::string& value) {
  ScratchFolder server;
  server.Write("a.ini", start);
  EXPECT_TRUE(IsOk(WriteIniKey(Tool("a.ini"), section, key, value)));
  return server.Read("a.ini");
}

TEST(ProfileInPlace, ReplacesEverythingAfterTheEqualsSignOnly) {
  EXPECT_EQ(AfterWrite("; top\r\n[S]\r\n  Key1  =  old  \r\n\tx = 1\r\n", "s", "KEY1", "new"),
            "; top\r\n[S]\r\n  Key1  =new\r\n\tx = 1\r\n");
  // A NUL ends the stored value; what stood behind it on that line goes too.
  EXPECT_EQ(AfterWrite("[S]\r\na=1\0tail\r\nb=2\0x\r\n"s, "S", "a", "2"),
            "[S]\r\na=2\r\nb=2\0x\r\n"s);
  // A key without "=" gets its value appended; its spelling stays.
  EXPECT_EQ(AfterWrite("[S]\r\nMyKey\r\nmykey=v\r\n", "S", "mykey", "w"),
            "[S]\r\nMyKey=w\r\nmykey=v\r\n");
}

TEST(ProfileInPlace, KeepsTheFileOwnLineEndings) {
  EXPECT_EQ(AfterWrite("[S]\na=1\n\n[T]\nb=2\n", "S", "c", "3"), "[S]\na=1\nc=3\n\n[T]\nb=2\n");
  EXPECT_EQ(AfterWrite("[S]\ra=1\r", "T", "c", "3"), "[S]\ra=1\r[T]\rc=3\r");
  // No line break after the last line: one is added before the new line.
  EXPECT_EQ(AfterWrite("[S]\na=1", "S", "b", "2"), "[S]\na=1\nb=2\n");
  // A single line without any ending: the new lines get CR LF.
  EXPECT_EQ(AfterWrite("[S]", "S", "b", "2"), "[S]\r\nb=2\r\n");
  // Mixed endings: the first one is the file's own.
  EXPECT_EQ(AfterWrite("[S]\na=1\r\nb=2\r\n", "S", "c", "3"), "[S]\na=1\r\nb=2\r\nc=3\n");
}

TEST(ProfileInPlace, NewKeyGoesToTheFirstSectionOfItsName) {
  EXPECT_EQ(AfterWrite("[S]\r\na=1\r\n\r\n\r\n[T]\r\n[s]\r\nb=2\r\n", "S", "b", "X"),
            "[S]\r\na=1\r\nb=X\r\n\r\n\r\n[T]\r\n[s]\r\nb=2\r\n");
  // Before any header: the lines there form the section "".
  EXPECT_EQ(AfterWrite("top=1\r\n[S]\r\n", "", "more", "2"), "top=1\r\nmore=2\r\n[S]\r\n");
  EXPECT_EQ(AfterWrite("[S]\r\n", "", "k", "v"), "k=v\r\n[S]\r\n");
}

TEST(ProfileInPlace, UtfEightMarkIsKept) {
  EXPECT_EQ(AfterWrite("\xEF\xBB\xBF[S]\r\na=1\r\n", "S", "a", "\xE9"),
            "\xEF\xBB\xBF[S]\r\na=\xE9\r\n");
  EXPECT_EQ(AfterWrite("\xEF\xBB\xBF\r\n", "S", "a", "1"), "\xEF\xBB\xBF[S]\r\na=1\r\n");
}

TEST(ProfileInPlace, SameValueLeavesTheFileAlone) {
  ScratchFolder server;
  server.Write("a.ini", "[S]\nK =  v \n");
  const ino_t before = InodeOf(server.At("a.ini"));
  EXPECT_TRUE(IsOk(WriteIniKey(Tool("a.ini"), "s", "k", "\t v")));
  ProfileEdit edit(Tool("a.ini"));
  edit.Set("S", "K", "v");
  EXPECT_TRUE(IsOk(edit.Commit()));
  EXPECT_EQ(InodeOf(server.At("a.ini")), before);
  EXPECT_EQ(server.Read("a.ini"), "[S]\nK =  v \n");
  // A value with trailing blanks differs from the trimmed stored one.
  EXPECT_TRUE(IsOk(WriteIniKey(Tool("a.ini"), "s", "k", "v ")));
  EXPECT_EQ(server.Read("a.ini"), "[S]\nK =v \n");
}

TEST(ProfileInPlace, ValueWithLineBreaksIsFollowedByLaterWrites) {
  ScratchFolder server;
  ASSERT_TRUE(IsOk(WriteIniKey(Tool("a.ini"), "S", "a", "1\r\n[T]\r\nt=2")));
  EXPECT_EQ(ReadIniKey(Tool("a.ini"), "T", "t"), "2");
  ASSERT_TRUE(IsOk(WriteIniKey(Tool("a.ini"), "T", "u", "3")));
  EXPECT_EQ(server.Read("a.ini"), "[S]\r\na=1\r\n[T]\r\nt=2\r\nu=3\r\n");
}

// Applies `sets` one WriteIniKey at a time to one copy and as one
// ProfileEdit to another; both must end with the same bytes.
void ExpectBatchEqualsSingles(
    const std::string& start,
    const std::vector<std::tuple<std::string, std::string, std::string>>& sets) {
  std::string singles;
  {
    ScratchFolder server;
    if (!start.empty()) server.Write("a.ini", start);
    for (const auto& [s, k, v] : sets) ASSERT_TRUE(IsOk(WriteIniKey(Tool("a.ini"), s, k, v)));
    singles = server.Read("a.ini");
  }
  ScratchFolder server;
  if (!start.empty()) server.Write("a.ini", start);
  ProfileEdit edit(Tool("a.ini"));
  for (const auto& [s, k, v] : sets) edit.Set(s, k, v);
  ASSERT_TRUE(IsOk(edit.Commit()));
  EXPECT_EQ(server.Read("a.ini"), singles) << "from: " << start;
}

TEST(ProfileEditBatch, EqualsTheSameWritesOneByOne) {
  const std::vector<std::tuple<std::string, std::string, std::string>> sets = {
      {"S", "a", "9"},
      {"s", "NEW", "n"},
      {"T", "x", "  lead"},
      {"S", "new", "n2"},
      {"U", "k", "v\r\nw"},
      {"U", "w", "again"},
      {"", "top", "1"},
      {" T ", "y", "trail  "},
      {"[X]", "z", "1"},
      {"V", "k0", "1"},
      {"V", "[a]", "b"},
      {"V", "k", "="},
      {"S", "b", "\x80\xFF"},
      {"S", "a", "9"},
      {"S", "noeq", "set"},
      {"W", "k\0tail"s, "v"},
      {"W", "k", "x"},
      // A value that turns its own line into a header.
      {"S", "[x", "1"},
      {"S", "[x", "]"},
      {"S", "after", "1"},
  };
  ExpectBatchEqualsSingles("", sets);
  ExpectBatchEqualsSingles("[S]\r\na=1\r\n; note\r\nnoeq\r\n\r\n[T]\r\nx=2\r\n[S]\r\nb=3", sets);
  ExpectBatchEqualsSingles("[S]\na=1\n\n[T]\n  x  =  2  \n", sets);
  ExpectBatchEqualsSingles("\xEF\xBB\xBFtop=0\r[S]\ra=\"1\"\r", sets);
  ExpectBatchEqualsSingles("\r\n  \r\n", sets);
}

TEST(ProfileEditBatch, WipeOfManyKeysWritesOnce) {
  ScratchFolder server;
  std::string text;
  for (int c = 1; c <= 3; ++c) {
    text += "[CHAR" + std::to_string(c) + "]\r\nName=N" + std::to_string(c) + "\r\n";
    for (int slot = 1; slot <= 100; ++slot) {
      text += "InvItemNum" + std::to_string(slot) + "=" + std::to_string(slot) + "\r\n";
      text += "InvItemVal" + std::to_string(slot) + "=" + std::to_string(slot * 2) + "\r\n";
    }
  }
  server.Write("Accounts/bob.ini", text);
  const ino_t before = InodeOf(server.At("Accounts/bob.ini"));
  ProfileEdit edit(Tool("Accounts\\BOB.ini"));
  for (int c = 1; c <= 3; ++c)
    for (int slot = 1; slot <= 100; ++slot) {
      edit.Set("CHAR" + std::to_string(c), "InvItemNum" + std::to_string(slot), "0");
      edit.Set("CHAR" + std::to_string(c), "InvItemVal" + std::to_string(slot), "0");
    }
  // Nothing is on disk before the commit.
  EXPECT_EQ(server.Read("Accounts/bob.ini"), text);
  ASSERT_TRUE(IsOk(edit.Commit()));
  EXPECT_NE(InodeOf(server.At("Accounts/bob.ini")), before);
  std::string expected;
  for (int c = 1; c <= 3; ++c) {
    expected += "[CHAR" + std::to_string(c) + "]\r\nName=N" + std::to_string(c) + "\r\n";
    for (int slot = 1; slot <= 100; ++slot)
      expected += "InvItemNum" + std::to_string(slot) + "=0\r\nInvItemVal" + std::to_string(slot) +
                  "=0\r\n";
  }
  EXPECT_EQ(server.Read("Accounts/bob.ini"), expected);
  // A second commit with nothing new writes nothing.
  const ino_t after = InodeOf(server.At("Accounts/bob.ini"));
  EXPECT_TRUE(IsOk(edit.Commit()));
  EXPECT_EQ(InodeOf(server.At("Accounts/bob.ini")), after);
}

TEST(ProfileEditBatch, NothingChangedMeansNothingWritten) {
  ScratchFolder server;
  server.Write("a.ini", "[S]\r\na=1\r\n");
  const ino_t before = InodeOf(server.At("a.ini"));
  ProfileEdit edit(Tool("a.ini"));
  edit.Set("S", "a", "1");
  EXPECT_TRUE(IsOk(edit.Commit()));
  EXPECT_EQ(InodeOf(server.At("a.ini")), before);
  ProfileEdit missing(Tool("b.ini"));
  EXPECT_TRUE(IsOk(missing.Commit()));
  EXPECT_FALSE(server.Exists("b.ini"));
}

}  // namespace

}  // namespace common
