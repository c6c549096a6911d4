// Inputs that once broke the platform layer, kept so the faults stay fixed.
#include <gtest/gtest.h>

#include <string>

#include "file_search.h"
#include "scratch_folder.h"

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

}  // namespace
