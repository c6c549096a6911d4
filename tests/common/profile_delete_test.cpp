// Removing keys and sections, the host writer's forms without a value.
#include <gtest/gtest.h>

#include "common/profile.h"
#include "common/program_folder.h"
#include "tests/common/status_assert.h"
#include "tests/support/scratch_folder.h"

namespace common {

namespace {

TEST(ProfileDelete, RemovesOnlyTheFirstKeyOfItsNameAndLetsTheNextOneCount) {
  ScratchFolder s;
  s.Write("a.ini", "[S]\r\nk=1\r\n; note\r\nK=2\r\n[T]\r\nk=3\r\n");
  const std::string file = ProgramFolder() + "\\a.ini";
  ASSERT_TRUE(IsOk(DeleteIniKey(file, "s", "K")));
  EXPECT_EQ(s.Read("a.ini"), "[S]\r\n; note\r\nK=2\r\n[T]\r\nk=3\r\n");
  EXPECT_EQ(ReadIniKey(file, "S", "k"), "2");
}

TEST(ProfileDelete, RemovesASectionUpToTheNextHeader) {
  ScratchFolder s;
  s.Write("a.ini", "top=0\n[S]\nk=1\n\n; c\n[T]\nk=3\n");
  const std::string file = ProgramFolder() + "\\a.ini";
  ASSERT_TRUE(IsOk(DeleteIniSection(file, " S ")));
  EXPECT_EQ(s.Read("a.ini"), "top=0\n[T]\nk=3\n");
  ASSERT_TRUE(IsOk(DeleteIniSection(file, "T")));
  EXPECT_EQ(s.Read("a.ini"), "top=0\n");
}

TEST(ProfileDelete, NothingToRemoveChangesNothingAndCreatesNothing) {
  ScratchFolder s;
  s.Write("a.ini", "[S]\r\nk=1\r\n");
  EXPECT_TRUE(IsOk(DeleteIniKey(ProgramFolder() + "\\a.ini", "S", "missing")));
  EXPECT_TRUE(IsOk(DeleteIniSection(ProgramFolder() + "\\a.ini", "Missing")));
  EXPECT_EQ(s.Read("a.ini"), "[S]\r\nk=1\r\n");
  EXPECT_TRUE(IsOk(DeleteIniKey(ProgramFolder() + "\\none.ini", "S", "k")));
  EXPECT_FALSE(s.Exists("none.ini"));
}

}  // namespace

}  // namespace common
