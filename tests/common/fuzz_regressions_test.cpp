// Inputs that once broke the platform layer, kept so the faults stay fixed.
#include <gtest/gtest.h>

#include <string>

#include "common/file_search.h"
#include "common/profile.h"
#include "tests/common/status_assert.h"
#include "tests/support/scratch_folder.h"

namespace common {

namespace {

// A name may hold "*" itself; the pattern's "*" must still act as a wildcard
// rather than match that character literally and then give up.
TEST(FuzzRegressions, StarInPatternIsAWildcardEvenAgainstAStarInTheName) {
  EXPECT_TRUE(WildcardMatch("*", "*RRRRRR^:aR"));
  EXPECT_TRUE(WildcardMatch("*.ini", "*x.ini"));
  EXPECT_TRUE(WildcardMatch("a*", "a*b"));
  EXPECT_FALSE(WildcardMatch("*.ini", "*x.dat"));

  ScratchFolder server;
  server.Write("Accounts/*odd.ini", "[A]\r\n");
  EXPECT_TRUE(FileIsPresent("\\Accounts\\", false));
  EXPECT_EQ(FindFirstFile(server.path() + "\\Accounts\\*.ini"), "*odd.ini");
}

// A key written into the part before the first section becomes the file's
// first line. Had it begun like a byte-order mark, every later read would
// have taken the whole file for UTF-16 (or cut the key's name) and lost the
// other values; such a write is refused and leaves the file alone.
TEST(FuzzRegressions, KeyThatWouldBeginTheFileLikeAByteOrderMarkIsRefused) {
  ScratchFolder server;
  const std::string original = "[S]\r\nk=v\r\n";
  server.Write("a.ini", original);
  const std::string file = server.path() + "\\a.ini";

  const Status refused = WriteIniKey(file, "", "\xFF\xFE[x", "1");
  EXPECT_EQ(refused.code(), Status::Code::kInvalidArgument) << refused.ToString();
  EXPECT_NE(refused.message().find("byte-order mark"), std::string::npos) << refused.ToString();
  EXPECT_FALSE(WriteIniKey(file, " ", "\x0B\xEF\xBB\xBFkey", "1").ok());
  EXPECT_EQ(server.Read("a.ini"), original);
  ForgetProfileCache();
  EXPECT_EQ(ReadIniKey(file, "S", "k"), "v");

  // The same key in a new file: nothing is created.
  EXPECT_FALSE(WriteIniKey(server.path() + "\\new.ini", "", "\xFF\xFEk", "1").ok());
  EXPECT_FALSE(server.Exists("new.ini"));

  // Elsewhere in the file, or behind a real UTF-8 mark, such a name is fine.
  EXPECT_TRUE(IsOk(WriteIniKey(file, "S", "\xFF\xFEk", "2")));
  EXPECT_EQ(ReadIniKey(file, "S", "\xFF\xFEk"), "2");
  server.Write("bom.ini", "\xEF\xBB\xBF");
  EXPECT_TRUE(IsOk(WriteIniKey(server.path() + "\\bom.ini", "", "\xFF\xFEk", "3")));
  EXPECT_EQ(ReadIniKey(server.path() + "\\bom.ini", "", "\xFF\xFEk"), "3");
}

}  // namespace

}  // namespace common
