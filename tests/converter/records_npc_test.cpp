// NPC conversion: npcs.ini sections to 319-byte NPCs\NPC<N>.dat files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/status.h"
#include "converter/profile_jobs.h"
#include "tests/support/le_bytes.h"
#include "tests/support/scratch_folder.h"

namespace vostrel {
namespace {

class NPCConversion : public ::testing::Test {
 protected:
  void SetUp() override {
    // The job creates the folder with this spelling; the converter asks
    // for "NPCS" and must still land here.
    server.MakeDir("NPCs");
    state.MaxNPCs = 10;
    state.NPCTable.assign(11, NPCRec{});
  }

  // Converts NPC n, which must succeed.
  void Convert(int32_t n) {
    const common::Status s = ConvertNPC(state, n);
    ASSERT_TRUE(s.ok()) << s.ToString();
  }

  ScratchFolder server;
  ConverterState state;
};

TEST_F(NPCConversion, EveryFieldAtItsOffsetInTheExistingFolder) {
  const std::string say(255, 'a');
  server.Write("npcs.ini",
               "[NPC7]\r\n"
               "Name=Rat\r\n"
               "AttackSay=" +
                   say +
                   "\r\n"
                   "Sprite=12\r\n"
                   "SpawnSecs=-2\r\n"
                   "SpawnTime=9\r\n"
                   "Behavior=3\r\n"
                   "Range=70000\r\n"
                   "DropChance=-1\r\n"
                   "DropItem=32767\r\n"
                   "DropItemValue=2.5\r\n"
                   "STR=1\r\nDEF=2\r\nSPEED=3\r\nMAGI=4\r\n"
                   "HP=12abc\r\n"
                   "EXP=2147483647\r\n");
  Convert(7);

  namespace fs = std::filesystem;
  ASSERT_TRUE(server.Exists("NPCs/NPC7.dat"));
  int folders = 0;
  for (const auto& e : fs::directory_iterator(server.path())) folders += e.is_directory();
  EXPECT_EQ(folders, 1) << "a second NPC folder was created";

  const std::string got = server.Read("NPCs/NPC7.dat");
  ASSERT_EQ(got.size(), kNPCRecSize);
  EXPECT_EQ(got.substr(0, 20), "Rat" + std::string(17, ' '));
  EXPECT_EQ(got.substr(20, 255), say);  // exactly 255: stored whole, no padding
  EXPECT_EQ(got.substr(275, 4), Le32(12));
  EXPECT_EQ(got.substr(279, 4), Le32(-2));
  EXPECT_EQ(got[283], 3);  // Behavior before SpawnTime on disk
  EXPECT_EQ(got[284], 9);
  EXPECT_EQ(got.substr(285, 4), Le32(70000));
  EXPECT_EQ(got.substr(289, 2), Le16(-1));
  EXPECT_EQ(got.substr(291, 2), Le16(32767));
  EXPECT_EQ(got.substr(293, 2), Le16(2));
  EXPECT_EQ(got.substr(295, 16), Le32(1) + Le32(2) + Le32(3) + Le32(4));
  EXPECT_EQ(got.substr(311, 4), Le32(12));
  EXPECT_EQ(got.substr(315, 4), Le32(2147483647));
}

TEST_F(NPCConversion, LongTextsAreCutAndMissingSectionsGiveBlanks) {
  server.Write("npcs.ini", "[NPC10]\nName=Twenty-five characters!!\nAttackSay=" +
                               std::string(300, 'b') + "\nHP=abc\n");
  Convert(10);
  std::string got = server.Read("NPCs/NPC10.dat");
  ASSERT_EQ(got.size(), kNPCRecSize);
  EXPECT_EQ(got.substr(0, 20), "Twenty-five characte");
  EXPECT_EQ(got.substr(20, 255), std::string(255, 'b'));
  EXPECT_EQ(got.substr(311, 4), Le32(0));

  Convert(1);
  EXPECT_EQ(server.Read("NPCs/NPC1.dat"), std::string(275, ' ') + std::string(44, '\0'));
}

TEST_F(NPCConversion, OverflowWritesNothing) {
  server.Write("npcs.ini",
               "[NPC2]\nName=Bat\nSprite=4\nSpawnTime=255.5\nBehavior=1\n"
               "[NPC3]\nDropChance=40000\n"
               "[NPC4]\nBehavior=-1\n"
               "[NPC5]\nEXP=2147483648\n"
               "[NPC6]\nSpawnTime=255\n");
  server.Write("NPCs/NPC2.dat", "old bat");

  // SpawnTime 255.5 rounds to 256.
  const common::Status s = ConvertNPC(state, 2);
  EXPECT_EQ(s.code(), common::Status::Code::kOutOfRange) << s.ToString();
  EXPECT_EQ(s.message().rfind("\"SpawnTime\"", 0), 0u) << s.ToString();
  EXPECT_EQ(server.Read("NPCs/NPC2.dat"), "old bat");
  EXPECT_EQ(state.NPCTable[2].Name, "Bat" + std::string(17, ' '));
  EXPECT_EQ(state.NPCTable[2].Sprite, 4);
  EXPECT_EQ(state.NPCTable[2].Behavior, 0);

  for (int n : {3, 4, 5}) {
    EXPECT_EQ(ConvertNPC(state, n).code(), common::Status::Code::kOutOfRange) << n;
    EXPECT_FALSE(server.Exists("NPCs/NPC" + std::to_string(n) + ".dat")) << n;
  }
  Convert(6);
  EXPECT_EQ(static_cast<uint8_t>(server.Read("NPCs/NPC6.dat")[284]), 255);
}

TEST_F(NPCConversion, LongerOldFileKeepsItsTail) {
  server.Write("npcs.ini", "[NPC1]\nName=Rat\n");
  server.Write("NPCs/NPC1.dat", std::string(319, 'x') + "TAIL");
  Convert(1);
  const std::string got = server.Read("NPCs/NPC1.dat");
  ASSERT_EQ(got.size(), 323u);
  EXPECT_EQ(got.substr(0, 3), "Rat");
  EXPECT_EQ(got.substr(315), std::string(4, '\0') + "TAIL");
}

TEST_F(NPCConversion, NumbersOutsideTheTableWriteNothing) {
  server.Write("npcs.ini", "[NPC11]\nName=Eleven\n");
  EXPECT_EQ(ConvertNPC(state, 11).code(), common::Status::Code::kOutOfRange);
  EXPECT_EQ(ConvertNPC(state, 0).code(), common::Status::Code::kOutOfRange);
  EXPECT_FALSE(server.Exists("NPCs/NPC11.dat"));
}

TEST(NPCJob, SkipsTheBadRecordReportsItAndGoesOn) {
  ScratchFolder server;
  server.Write("npcs.ini",
               "[NPC5]\nName=Five\nSpawnTime=300\n"
               "[NPC6]\nName=Six\nBehavior=2\n");
  ConverterState state;
  state.MaxNPCs = 6;
  state.NPCTable.assign(7, NPCRec{});
  common::JobEvents events;

  const common::JobResult result = ConvertNPCs(common::ServerFolder(server.path()), state, events);
  const std::vector<common::ItemProblem>& skipped = result.problems;

  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_EQ(skipped[0].item, 5);
  EXPECT_NE(skipped[0].why.message().find("SpawnTime"), std::string::npos) << skipped[0].why.message();
  EXPECT_FALSE(server.Exists("NPCs/NPC5.dat"));
  EXPECT_EQ(server.Read("NPCs/NPC6.dat").substr(0, 4), "Six ");
  EXPECT_EQ(server.Read("NPCs/NPC6.dat")[283], 2);
  EXPECT_EQ(server.Read("NPCs/NPC4.dat").size(), kNPCRecSize);
  EXPECT_EQ(common::OutcomeOf(result), common::Outcome::kSkipped);
  EXPECT_TRUE(result.flushed.ok());
}

}  // namespace
}  // namespace vostrel
