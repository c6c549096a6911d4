// Shop conversion: shops.ini sections copied into profile files
// Shops\Shop<N>.dat, with empty trade values filled in.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "common/profile.h"
#include "common/profile_document.h"
#include "common/status.h"
#include "converter/profile_jobs.h"
#include "tests/support/scratch_folder.h"

namespace vostrel {
namespace {

// Profile files are written with CR LF line ends.
std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

class ShopConversion : public ::testing::Test {
 protected:
  void SetUp() override { server.MakeDir("Shops"); }

  // Converts shop n, which must succeed.
  static void Convert(int32_t n) {
    const common::Status s = ConvertShop(n);
    ASSERT_TRUE(s.ok()) << s.ToString();
  }

  ScratchFolder server;
};

TEST_F(ShopConversion, NewFileHoldsTheFiftyTwoKeysInOrder) {
  server.Write("shops.ini",
               "[shop3]\n"
               "name=Smithy\n"
               "JoinSay=Welcome!\n"
               "FixesItems=1\n"
               "GiveItem1=4\n"
               "GiveValue1=yes\n"
               "GETVALUE1=  12.50  \n"
               "GiveItem2=5\n"
               "GiveItem9=7\n"
               "GetValue9=8\n"
               "Owner=Bob\n"
               "[SHOP4]\n"
               "Name=Not this one\n");
  Convert(3);

  // Values are copied as text (yes, 12.50 stay as they are); empty trade
  // values and FixesItems become 0, an empty LeaveSay stays empty. Section
  // and keys take the server's spelling; slot 9 and Owner are not copied.
  EXPECT_EQ(server.Read("Shops/Shop3.dat"), Crlf(R"([SHOP3]
Name=Smithy
JoinSay=Welcome!
LeaveSay=
FixesItems=1
GiveItem1=4
GiveValue1=yes
Give2Item1=0
Give2Value1=0
GetItem1=0
GetValue1=12.50
GiveItem2=5
GiveValue2=0
Give2Item2=0
Give2Value2=0
GetItem2=0
GetValue2=0
GiveItem3=0
GiveValue3=0
Give2Item3=0
Give2Value3=0
GetItem3=0
GetValue3=0
GiveItem4=0
GiveValue4=0
Give2Item4=0
Give2Value4=0
GetItem4=0
GetValue4=0
GiveItem5=0
GiveValue5=0
Give2Item5=0
Give2Value5=0
GetItem5=0
GetValue5=0
GiveItem6=0
GiveValue6=0
Give2Item6=0
Give2Value6=0
GetItem6=0
GetValue6=0
GiveItem7=0
GiveValue7=0
Give2Item7=0
Give2Value7=0
GetItem7=0
GetValue7=0
GiveItem8=0
GiveValue8=0
Give2Item8=0
Give2Value8=0
GetItem8=0
GetValue8=0
)"));
  EXPECT_FALSE(server.Exists("Shops/Shop4.dat"));
}

TEST_F(ShopConversion, MissingSectionGivesEmptyTextsAndZeros) {
  server.Write("shops.ini", "[SHOP1]\nName=One\n");
  Convert(12);
  const std::string file = server.At("Shops/Shop12.dat");
  EXPECT_EQ(common::ReadIniKey(file, "SHOP12", "Name"), "");
  EXPECT_EQ(common::ReadIniKey(file, "SHOP12", "LeaveSay"), "");
  EXPECT_EQ(common::ReadIniKey(file, "SHOP12", "FixesItems"), "0");
  EXPECT_EQ(common::ReadIniKey(file, "SHOP12", "GetValue8"), "0");
  const std::string text = server.Read("Shops/Shop12.dat");
  EXPECT_EQ(text.rfind("[SHOP12]\r\nName=\r\nJoinSay=\r\nLeaveSay=\r\nFixesItems=0\r\n", 0), 0u);
  EXPECT_EQ(text.find("GiveItem9"), std::string::npos);
}

TEST_F(ShopConversion, ExistingFileKeepsItsOtherKeysAndSections) {
  server.Write("shops.ini", "[SHOP2]\nName=New name\nGiveItem1=9\n");
  server.Write("Shops/Shop2.dat",
               "; notes kept by hand\r\n"
               "[Extra]\r\n"
               "Colour=red\r\n"
               "[SHOP2]\r\n"
               "Name=Old name\r\n"
               "Keeper=Ann\r\n"
               "GiveItem1=3\r\n"
               "GiveItem9=7\r\n");
  Convert(2);

  const std::string file = server.At("Shops/Shop2.dat");
  EXPECT_EQ(common::ReadIniKey(file, "Extra", "Colour"), "red");
  EXPECT_EQ(common::ReadIniKey(file, "SHOP2", "Keeper"), "Ann");
  EXPECT_EQ(common::ReadIniKey(file, "SHOP2", "GiveItem9"), "7");
  EXPECT_EQ(common::ReadIniKey(file, "SHOP2", "Name"), "New name");
  EXPECT_EQ(common::ReadIniKey(file, "SHOP2", "GiveItem1"), "9");
  EXPECT_EQ(common::ReadIniKey(file, "SHOP2", "GetValue8"), "0");
  const std::string text = server.Read("Shops/Shop2.dat");
  EXPECT_EQ(text.rfind("; notes kept by hand\r\n[Extra]\r\nColour=red\r\n[SHOP2]\r\n"
                       "Name=New name\r\nKeeper=Ann\r\nGiveItem1=9\r\nGiveItem9=7\r\n",
                       0),
            0u)
      << text;
}

TEST_F(ShopConversion, ConvertingTwiceGivesTheSameFile) {
  server.Write("shops.ini", "[SHOP1]\nName=Inn\nJoinSay=Hi\nGetItem4=2\n");
  Convert(1);
  const std::string first = server.Read("Shops/Shop1.dat");
  Convert(1);
  EXPECT_EQ(server.Read("Shops/Shop1.dat"), first);
}

TEST_F(ShopConversion, UnwritableShopFileIsAnErrorNamingTheFile) {
  server.Write("shops.ini", "[SHOP5]\nName=Five\n");
  server.Write("Shops/Shop5.dat", "[SHOP5]\r\nName=Locked\r\n");
  ASSERT_EQ(chmod(server.At("Shops/Shop5.dat").c_str(), 0444), 0);

  // A read-only shop file must not pass as converted.
  const common::Status s = ConvertShop(5);
  EXPECT_FALSE(s.ok());
  EXPECT_NE(s.message().find("Shop5.dat"), std::string::npos) << s.ToString();
  EXPECT_EQ(server.Read("Shops/Shop5.dat"), "[SHOP5]\r\nName=Locked\r\n");

  ScratchFolder bare;  // no Shops folder
  bare.Write("shops.ini", "[SHOP1]\nName=One\n");
  EXPECT_FALSE(ConvertShop(1).ok());
  EXPECT_FALSE(bare.Exists("Shops"));
}

TEST(ShopJob, ReadOnlyShopIsListedAsSkipped) {
  ScratchFolder server;
  server.Write("shops.ini", "[SHOP1]\nName=One\n[SHOP2]\nName=Two\n[SHOP3]\nName=Three\n");
  server.Write("Shops/Shop2.dat", "locked");
  ASSERT_EQ(chmod(server.At("Shops/Shop2.dat").c_str(), 0444), 0);
  ConverterState state;
  state.MaxShops = 3;
  common::JobEvents events;

  const common::JobResult result = ConvertShops(common::ServerFolder(server.path()), state, events);
  const std::vector<common::ItemProblem>& skipped = result.problems;

  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_EQ(skipped[0].item, 2);
  EXPECT_NE(skipped[0].why.message().find("Shop2.dat"), std::string::npos) << skipped[0].why.message();
  EXPECT_EQ(server.Read("Shops/Shop2.dat"), "locked");
  EXPECT_EQ(common::ReadIniKey(server.At("Shops/Shop3.dat"), "SHOP3", "Name"), "Three");
  EXPECT_EQ(common::OutcomeOf(result), common::Outcome::kSkipped);
  EXPECT_TRUE(result.flushed.ok());
}

}  // namespace
}  // namespace vostrel

namespace vostrel {
namespace {

// A shop file new to the job is written whole; it must be what the profile
// writer makes of the same keys set one by one in a missing file.
TEST(NewShopFile, IsWhatTheEditorMakesOfTheSameKeys) {
  const std::vector<std::pair<std::string, std::string>> keys = {
      {"Name", "  \"Blue\" shop"}, {"JoinSay", "[hi]"}, {"LeaveSay", "a=b;c"},
      {"FixesItems", "0"},         {"GiveItem1", ""},   {"GiveValue1", "\xE9\xFF"},
      {"Give2Item1", " 7 "},       {"GetItem1", "\t1"}};
  common::ProfileDocument doc("");
  for (const auto& [key, value] : keys) doc.Set("SHOP12", key, value);
  EXPECT_EQ(NewShopFileText("SHOP12", keys), doc.Serialize());
}

}  // namespace
}  // namespace vostrel
