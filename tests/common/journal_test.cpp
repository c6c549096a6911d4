// The journal of changes: whole lines from tools writing at once, and never
// through a link the operator did not make.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <string>
#include <vector>

#include "common/qt/journal.h"
#include "common/server_folder.h"
#include "tests/support/scratch_folder.h"

namespace common {
namespace {

TEST(Journal, ToolsAppendingAtOnceNeverMixTheirLines) {
  ScratchFolder server;
  const ServerFolder folder(server.path());
  constexpr int kWriters = 3, kLines = 100;
  std::vector<pid_t> writers;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = fork();
    if (pid == 0) {
      JournalEntry e;
      e.action = "convert";
      // Long enough that a line written in pieces would show.
      e.what = std::string(4000, static_cast<char>('a' + w));
      for (int i = 0; i < kLines; ++i) {
        if (!AppendJournal(folder, e).ok()) _exit(1);
      }
      _exit(0);
    }
    writers.push_back(pid);
  }
  for (pid_t pid : writers) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::vector<QJsonObject> entries;
  int unreadable = -1;
  ASSERT_TRUE(ReadJournal(folder, &entries, &unreadable).ok());
  EXPECT_EQ(unreadable, 0);
  ASSERT_EQ(entries.size(), static_cast<size_t>(kWriters * kLines));
  for (const QJsonObject& e : entries) {
    const QString what = e["what"].toString();
    ASSERT_EQ(what.size(), 4000);
    EXPECT_EQ(what.count(what[0]), 4000) << "a line holds another's bytes";
    EXPECT_EQ(e["action"].toString(), "convert");
    EXPECT_TRUE(e.contains("time") && e.contains("uid") && e.contains("user"));
  }
}

TEST(Journal, ALinkOfAnotherUserIsNotWrittenThrough) {
  ScratchFolder elsewhere;
  elsewhere.Write("victim", "keep\n");
  ScratchFolder server;
  const std::string link = server.At(kJournalFile);
  ASSERT_EQ(symlink(elsewhere.At("victim").c_str(), link.c_str()), 0);
  ASSERT_EQ(lchown(link.c_str(), 1234, 1234), 0);
  JournalEntry e;
  e.action = "wipe";
  const Status s = AppendJournal(ServerFolder(server.path()), e);
  EXPECT_FALSE(s.ok());
  EXPECT_NE(s.message().find("not followed"), std::string::npos) << s.ToString();
  EXPECT_EQ(elsewhere.Read("victim"), "keep\n");
}

}  // namespace
}  // namespace common
