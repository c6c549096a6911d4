// Spell conversion: spells.ini sections to 55-byte Spells\Spell<N>.dat files.
#include <gtest/gtest.h>

#include <string>

#include "common/status.h"
#include "converter/profile_jobs.h"
#include "tests/support/le_bytes.h"
#include "tests/support/scratch_folder.h"

namespace vostrel {
namespace {

class SpellConversion : public ::testing::Test {
 protected:
  void SetUp() override {
    server.MakeDir("Spells");
    state.MaxSpells = 10;
    state.SpellTable.assign(11, SpellRec{});
  }

  // Converts spell n, which must succeed.
  void Convert(int32_t n) {
    const common::Status s = ConvertSpell(state, n);
    ASSERT_TRUE(s.ok()) << s.ToString();
  }

  ScratchFolder server;
  ConverterState state;
};

TEST_F(SpellConversion, FieldsLandAtTheirOffsetsWhateverTheReadOrder) {
  // Lower-case source name: the converter asks for "Spells.ini".
  server.Write("spells.ini",
               "[SPELL7]\r\n"
               "Name=Lightning Strike Of Doom\r\n"  // 25 characters
               "Type=3.5\r\n"
               "Data1=-1\r\n"
               "Data2=32767\r\n"
               "Data3=-32768\r\n"
               "Data4=2.5\r\n"
               "Data5=12abc\r\n"
               "ClassReq=3\r\n"
               "GuildReq=Mages\r\n"
               "LevelReq=99\r\n");
  Convert(7);

  const std::string got = server.Read("Spells/Spell7.dat");
  ASSERT_EQ(got.size(), kSpellRecSize);
  EXPECT_EQ(got.substr(0, 20), "Lightning Strike Of ");
  EXPECT_EQ(got.substr(20, 20), "Mages" + std::string(15, ' '));
  EXPECT_EQ(static_cast<uint8_t>(got[40]), 3);     // ClassReq
  EXPECT_EQ(static_cast<uint8_t>(got[41]), 0x63);  // LevelReq 99
  EXPECT_EQ(static_cast<uint8_t>(got[42]), 4);     // Type 3.5 rounds to even
  EXPECT_EQ(got.substr(43, 2), "\xFF\xFF");        // Data1 -1
  EXPECT_EQ(got.substr(45, 2), Le16(32767));
  EXPECT_EQ(got.substr(47, 2), Le16(-32768));
  EXPECT_EQ(got.substr(49, 2), Le16(2));   // 2.5 rounds to even
  EXPECT_EQ(got.substr(51, 2), Le16(12));  // 12abc
  EXPECT_EQ(got.substr(53, 2), std::string(2, '\0'));

  EXPECT_EQ(got, "Lightning Strike Of Mages" + std::string(15, ' ') +
                     std::string("\x03\x63\x04", 3) + Le16(-1) + Le16(32767) + Le16(-32768) +
                     Le16(2) + Le16(12) + Le16(0));

  // The table element holds what was written.
  const SpellRec& rec = state.SpellTable[7];
  EXPECT_EQ(rec.Name, "Lightning Strike Of ");
  EXPECT_EQ(rec.GuildReq, "Mages" + std::string(15, ' '));
  EXPECT_EQ(rec.ClassReq, 3);
  EXPECT_EQ(rec.LevelReq, 99);
  EXPECT_EQ(rec.Type, 4);
  EXPECT_EQ(rec.Data1, -1);
  EXPECT_EQ(rec.Data2, 32767);
  EXPECT_EQ(rec.Data3, -32768);
  EXPECT_EQ(rec.Data4, 2);
  EXPECT_EQ(rec.Data5, 12);
}

TEST_F(SpellConversion, ShortTextsArePaddedAndLettersReadAsZero) {
  server.Write("spells.ini", "[SPELL10]\nName=Heal\nData5=abc\nType=2.5\n");
  Convert(10);
  const std::string got = server.Read("Spells/Spell10.dat");
  ASSERT_EQ(got.size(), kSpellRecSize);
  EXPECT_EQ(got.substr(0, 20), "Heal" + std::string(16, ' '));
  EXPECT_EQ(got[42], 2);
  EXPECT_EQ(got.substr(51, 2), std::string(2, '\0'));
  EXPECT_FALSE(server.Exists("Spells/Spell1.dat"));
}

TEST_F(SpellConversion, MissingSectionGivesSpacesAndZeros) {
  server.Write("spells.ini", "[SPELL1]\nName=Other\n");
  Convert(2);
  EXPECT_EQ(server.Read("Spells/Spell2.dat"), std::string(40, ' ') + std::string(15, '\0'));
}

TEST_F(SpellConversion, OverflowWritesNothingAndKeepsEarlierFields) {
  server.Write("spells.ini",
               "[SPELL3]\nName=Fire\nType=1\nClassReq=2\nGuildReq=G\nLevelReq=300\n"
               "[SPELL4]\nName=Ice\nData1=32768\nClassReq=5\n"
               "[SPELL5]\nType=255.5\n");
  server.Write("Spells/Spell3.dat", "old spell three");

  // LevelReq 300 must not fit a byte.
  const common::Status s = ConvertSpell(state, 3);
  EXPECT_EQ(s.code(), common::Status::Code::kOutOfRange) << s.ToString();
  EXPECT_EQ(s.message().rfind("\"LevelReq\"", 0), 0u) << s.ToString();
  EXPECT_EQ(server.Read("Spells/Spell3.dat"), "old spell three");
  // Everything read before LevelReq was stored; LevelReq itself was not.
  EXPECT_EQ(state.SpellTable[3].Name, "Fire" + std::string(16, ' '));
  EXPECT_EQ(state.SpellTable[3].ClassReq, 2);
  EXPECT_EQ(state.SpellTable[3].GuildReq, "G" + std::string(19, ' '));
  EXPECT_EQ(state.SpellTable[3].LevelReq, 0);

  EXPECT_EQ(ConvertSpell(state, 4).code(), common::Status::Code::kOutOfRange);
  EXPECT_FALSE(server.Exists("Spells/Spell4.dat"));
  EXPECT_EQ(state.SpellTable[4].Name, "Ice" + std::string(17, ' '));
  EXPECT_EQ(state.SpellTable[4].ClassReq, 0);  // read after the failing Data1

  EXPECT_EQ(ConvertSpell(state, 5).code(), common::Status::Code::kOutOfRange);
  EXPECT_FALSE(server.Exists("Spells/Spell5.dat"));
}

TEST_F(SpellConversion, LongerOldFileKeepsItsTail) {
  server.Write("spells.ini", "[SPELL1]\nName=Heal\n");
  server.Write("Spells/Spell1.dat", std::string(55, 'x') + "TAIL");
  Convert(1);
  const std::string got = server.Read("Spells/Spell1.dat");
  ASSERT_EQ(got.size(), 59u);
  EXPECT_EQ(got.substr(0, 4), "Heal");
  EXPECT_EQ(got.substr(53), std::string(2, '\0') + "TAIL");
}

TEST_F(SpellConversion, NumbersOutsideTheTableOrAMissingFolderWriteNothing) {
  server.Write("spells.ini", "[SPELL0]\nName=Zero\n[SPELL11]\nName=Eleven\n");
  EXPECT_EQ(ConvertSpell(state, 0).code(), common::Status::Code::kOutOfRange);
  EXPECT_EQ(ConvertSpell(state, 11).code(), common::Status::Code::kOutOfRange);
  EXPECT_EQ(ConvertSpell(state, -1).code(), common::Status::Code::kOutOfRange);
  EXPECT_FALSE(server.Exists("Spells/Spell0.dat"));
  EXPECT_FALSE(server.Exists("Spells/Spell11.dat"));

  ScratchFolder bare;  // no Spells folder at all
  bare.Write("spells.ini", "[SPELL1]\nName=Heal\n");
  EXPECT_TRUE(ConvertSpell(state, 1).IsNotFound());
  EXPECT_FALSE(bare.Exists("Spells"));
}

TEST(SpellJob, SkipsTheBadRecordReportsItAndGoesOn) {
  ScratchFolder server;
  server.Write("spells.ini",
               "[SPELL4]\nName=Four\n"
               "[SPELL5]\nName=Five\nClassReq=256\n"
               "[SPELL6]\nName=Six\nClassReq=7\n");
  server.Write("Spells/Spell5.dat", "older five");
  ConverterState state;
  state.MaxSpells = 6;
  state.SpellTable.assign(7, SpellRec{});
  common::JobEvents events;

  const common::JobResult result = ConvertSpells(common::ServerFolder(server.path()), state, events);
  const std::vector<common::ItemProblem>& skipped = result.problems;

  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_EQ(skipped[0].item, 5);
  EXPECT_NE(skipped[0].why.message().find("ClassReq"), std::string::npos) << skipped[0].why.message();
  EXPECT_EQ(server.Read("Spells/Spell5.dat"), "older five");
  for (int n : {1, 2, 3, 4, 6}) {
    EXPECT_EQ(server.Read("Spells/Spell" + std::to_string(n) + ".dat").size(), kSpellRecSize) << n;
  }
  EXPECT_EQ(server.Read("Spells/Spell6.dat")[40], 7);
  EXPECT_EQ(common::OutcomeOf(result), common::Outcome::kSkipped);
  EXPECT_TRUE(result.flushed.ok());
}

}  // namespace
}  // namespace vostrel
