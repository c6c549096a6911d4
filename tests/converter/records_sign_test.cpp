// Sign conversion: signs.ini sections to length-prefixed Signs\Sign<N>.dat.
#include <gtest/gtest.h>

#include <string>

#include "common/profile.h"
#include "common/status.h"
#include "converter/profile_jobs.h"
#include "tests/support/scratch_folder.h"

namespace vostrel {
namespace {

class SignConversion : public ::testing::Test {
 protected:
  void SetUp() override {
    server.MakeDir("Signs");
    state.MaxSigns = 10;
    state.SignTable.assign(11, SignRec{});
  }

  // Converts sign n, which must succeed.
  void Convert(int16_t n) {
    const common::Status s = ConvertSign(state, n);
    ASSERT_TRUE(s.ok()) << s.ToString();
  }

  ScratchFolder server;
  ConverterState state;
};

TEST_F(SignConversion, HeaderWithEmptyLinesGivesFourteenBytes) {
  server.Write("signs.ini", "[SIGN4]\r\nHeader=Hello\r\n");
  Convert(4);
  EXPECT_EQ(server.Read("Signs/Sign4.dat"),
            std::string("\x05\x00Hello\x00\x00\x00\x00\x00\x00\x00", 14));
}

TEST_F(SignConversion, TextsAreStoredExactlyAsRead) {
  server.Write("signs.ini",
               "[SIGN10]\n"
               "Header=Old  Mill\n"
               "Line1=Caf\xE9 au lait\n"
               "Line2=  trimmed ends  \n"
               "Line3=x\n");
  Convert(10);
  const std::string got = server.Read("Signs/Sign10.dat");
  // Inner spaces and single-byte characters pass through; the profile reader
  // itself drops the blanks around a value.
  EXPECT_EQ(got, std::string("\x09\x00", 2) + "Old  Mill" + std::string("\x0C\x00", 2) +
                     "Caf\xE9 au lait" + std::string("\x0C\x00", 2) + "trimmed ends" +
                     std::string("\x01\x00", 2) + "x" + std::string(1, '\0'));
  EXPECT_EQ(state.SignTable[10].Line1, "Caf\xE9 au lait");
}

TEST_F(SignConversion, LongestLineKeepsItsFullLength) {
  server.Write("signs.ini", "[SIGN1]\nLine2=" + std::string(4999, 'q') + "\n" +
                                "[SIGN2]\nHeader=" + std::string(6000, 'r') + "\n");
  Convert(1);
  const std::string got = server.Read("Signs/Sign1.dat");
  ASSERT_EQ(got.size(), 9u + 4999u);
  EXPECT_EQ(got.substr(4, 2), "\x87\x13");
  EXPECT_EQ(got.substr(6, 4999), std::string(4999, 'q'));

  // A longer value is delivered cut to 4999 bytes and stored as such.
  Convert(2);
  const std::string cut = server.Read("Signs/Sign2.dat");
  ASSERT_EQ(cut.size(), 9u + 4999u);
  EXPECT_EQ(cut.substr(0, 2), "\x87\x13");
}

TEST_F(SignConversion, MissingSectionGivesNineZeroBytes) {
  server.Write("signs.ini", "[SIGN1]\nHeader=One\n");
  Convert(3);
  EXPECT_EQ(server.Read("Signs/Sign3.dat"), std::string(9, '\0'));
}

TEST_F(SignConversion, ShorterSignOverwritesOnlyTheStart) {
  server.Write("signs.ini", "[SIGN1]\nHeader=A much longer header\n");
  Convert(1);
  const std::string before = server.Read("Signs/Sign1.dat");
  ASSERT_EQ(before.size(), 9u + 20u);

  server.Write("signs.ini", "[SIGN1]\nHeader=Short\n");
  common::ForgetProfileCache();
  Convert(1);
  const std::string after = server.Read("Signs/Sign1.dat");
  const std::string record = std::string("\x05\x00", 2) + "Short" + std::string(7, '\0');
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(after.substr(0, record.size()), record);
  EXPECT_EQ(after.substr(record.size()), before.substr(record.size()));
}

TEST_F(SignConversion, NumbersOutsideTheTableOrAMissingFolderWriteNothing) {
  server.Write("signs.ini", "[SIGN11]\nHeader=Eleven\n[SIGN1]\nHeader=One\n");
  EXPECT_EQ(ConvertSign(state, 11).code(), common::Status::Code::kOutOfRange);
  EXPECT_EQ(ConvertSign(state, 0).code(), common::Status::Code::kOutOfRange);
  EXPECT_EQ(ConvertSign(state, -5).code(), common::Status::Code::kOutOfRange);
  EXPECT_FALSE(server.Exists("Signs/Sign11.dat"));

  ScratchFolder bare;
  bare.Write("signs.ini", "[SIGN1]\nHeader=One\n");
  EXPECT_TRUE(ConvertSign(state, 1).IsNotFound());
  EXPECT_FALSE(bare.Exists("Signs"));
}

TEST(SignJob, SkipsTheSignWhoseFileCannotBeWritten) {
  ScratchFolder server;
  server.Write("signs.ini", "[SIGN2]\nHeader=Two\n[SIGN3]\nHeader=Three\n");
  server.MakeDir("Signs/Sign2.dat");  // a folder where the file should go
  ConverterState state;
  state.MaxSigns = 3;
  state.SignTable.assign(4, SignRec{});
  common::JobEvents events;

  const common::JobResult result = ConvertSigns(common::ServerFolder(server.path()), state, events);
  const std::vector<common::ItemProblem>& skipped = result.problems;

  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_EQ(skipped[0].item, 2);
  EXPECT_FALSE(skipped[0].why.message().empty());
  EXPECT_EQ(server.Read("Signs/Sign1.dat"), std::string(9, '\0'));
  EXPECT_EQ(server.Read("Signs/Sign3.dat").substr(2, 5), "Three");
  EXPECT_EQ(common::OutcomeOf(result), common::Outcome::kSkipped);
  EXPECT_TRUE(result.flushed.ok());
}

}  // namespace
}  // namespace vostrel
