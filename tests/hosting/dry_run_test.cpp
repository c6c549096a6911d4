// A dry run as an operator without root, to whom the file modes apply: it
// foresees the records the real run cannot write, and writes nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "common/server_folder.h"
#include "converter/conversion.h"
#include "tests/support/run_as.h"
#include "tests/support/scratch_folder.h"

namespace vostrel {
namespace {

// What a job did: its count and each record left out, with why.
std::string Told(const common::JobResult& r) {
  std::string text = std::to_string(r.done) + " done";
  for (const common::ItemProblem& p : r.problems) {
    text += "; " + std::to_string(p.item) +
            (p.kind == common::ItemProblem::Kind::kSkipped ? " skipped: " : " failed: ") +
            p.why.message();
  }
  return text;
}

TEST(DryRunAsOperator, ForeseesWhatTheModesRefuse) {
  ScratchFolder server;
  chmod(server.path().c_str(), 0755);
  server.Write("signs.ini", "[SIGN1]\r\nHeader=Hi\r\n[SIGN3]\r\nHeader=Ho\r\n");
  server.Write("items.ini", "[ITEM1]\r\nName=Axe\r\n");
  // The operator may rewrite Sign1.dat but not Sign2.dat, and may make no
  // new file in the folder.
  server.MakeDir("Signs");
  server.Write("Signs/Sign1.dat", "old");
  server.Write("Signs/Sign2.dat", "old");
  ASSERT_EQ(chown(server.At("Signs/Sign1.dat").c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod(server.At("Signs/Sign2.dat").c_str(), 0644), 0);

  const std::string outcome = tests::RunAs(tests::kStranger, [&]() -> std::string {
    const common::ServerFolder folder(server.path());
    ConverterState state;
    common::JobEvents quiet;
    const common::JobResult dry = RunConversion(folder, Page::Signs, 3, false, state, quiet, true);
    if (server.Read("Signs/Sign1.dat") != "old") return "the dry run wrote Sign1.dat";
    const common::JobResult real = RunConversion(folder, Page::Signs, 3, false, state, quiet);
    if (server.Read("Signs/Sign1.dat") == "old") return "the real run did not write Sign1.dat";
    if (Told(dry) != Told(real)) return "dry: " + Told(dry) + "\nreal: " + Told(real);
    if (real.done != 1 || real.failed() != 2) return "unexpected: " + Told(real);
    // No Items folder, and none the operator may make in the server folder.
    const common::JobResult dryItems =
        RunConversion(folder, Page::Items, 2, false, state, quiet, true);
    const common::JobResult realItems = RunConversion(folder, Page::Items, 2, false, state, quiet);
    if (Told(dryItems) != Told(realItems) || realItems.failed() != 2) {
      return "dry: " + Told(dryItems) + "\nreal: " + Told(realItems);
    }
    return "";
  });
  EXPECT_EQ(outcome, "");
  EXPECT_FALSE(server.Exists("Signs/Sign3.dat"));
}

}  // namespace
}  // namespace vostrel
