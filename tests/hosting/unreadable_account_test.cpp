// An account file the operator may not read is reported, never shown as an
// account with empty characters nor wiped into a stub.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "accounts/account_list.h"
#include "accounts/character_view.h"
#include "tests/support/run_as.h"
#include "tests/support/scratch_folder.h"

namespace calmet {
namespace {

TEST(UnreadableAccount, TheViewSaysWhyAndShowsNoValues) {
  ScratchFolder server;
  chmod(server.path().c_str(), 0755);
  server.Write("Accounts/bob.ini", "[CHAR1]\r\nName=Bob\r\nSTR=10\r\n");
  chmod(server.At("Accounts").c_str(), 0755);
  const std::string path = server.At("Accounts/bob.ini");
  ASSERT_EQ(chown(path.c_str(), 1234, 2000), 0);
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  const std::string result = tests::RunAs(tests::kStranger, [] {
    const AccountView view = ShowAccount(common::ServerFolder::Program(), "bob.ini");
    if (!view.characters[0].str.empty()) return std::string("a value shown");
    if (view.characters[0].caption != "Character One") {
      return "caption " + view.characters[0].caption;
    }
    return view.status.ToString();
  });
  EXPECT_NE(result.find("bob.ini: Permission denied"), std::string::npos) << result;
}

}  // namespace
}  // namespace calmet
