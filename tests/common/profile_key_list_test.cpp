// Reading a record's keys in one pass over its section gives what reading
// them one at a time gives, whatever the section holds.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "common/profile_index.h"

namespace common {
namespace {

// Every key of `names` in `section`, read both ways.
void ExpectSameAsLookup(const ProfileIndex& index, std::string_view section,
                        const std::vector<std::string_view>& names) {
  const KeyList keys(names);
  std::vector<std::string_view> values(names.size(), "stale");
  index.LookupAll(index.FindSection(section), keys, values.data());
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(std::string(values[i]), index.Lookup(section, names[i]))
        << "[" << section << "] " << names[i];
  }
}

TEST(KeyList, ReadsLikeOneLookUpPerKey) {
  const ProfileIndex index(
      "[NPC1]\r\n"
      "name=Guard\r\n"      // another case than asked
      "  Sprite = 12 \r\n"  // blanks around
      "Range\r\n"           // no "=": holds nothing, hides the later one
      "Range=5\r\n"
      "HP=1\r\n"
      "hp=2\r\n"                 // a later namesake is never read
      "AttackSay=\"Halt!\"\r\n"  // one pair of quotes removed
      "; comment=3\r\n"
      "EXP=\r\n"
      "[NPC2]\r\n"
      "Name=Second\r\n"
      "[npc1]\r\n"
      "Name=A second NPC1, never read\r\n");
  const std::vector<std::string_view> keys = {"Name", "Sprite", "Range", "HP",  "AttackSay",
                                              "EXP",  "STR",    "",      " HP", "Missing"};
  ExpectSameAsLookup(index, "NPC1", keys);
  ExpectSameAsLookup(index, "NPC2", keys);
  ExpectSameAsLookup(index, "NPC3", keys);  // no such section: every value empty

  const KeyList few({"Sprite", "Name"});
  std::string_view values[2];
  index.LookupAll(index.FindSection("npc1"), few, values);
  EXPECT_EQ(values[0], "12");
  EXPECT_EQ(values[1], "Guard");
}

TEST(KeyList, AgreesWithLookUpOnRandomSections) {
  std::mt19937 rng(11);
  const char* names[] = {"A", "b", "B ", "Key", "KEY", "k\0ey", "x", "Long name", "=", ";c"};
  for (int round = 0; round < 200; ++round) {
    std::string text = "[S]\r\n";
    const int lines = static_cast<int>(rng() % 12);
    for (int l = 0; l < lines; ++l) {
      const std::string name(names[rng() % std::size(names)]);
      switch (rng() % 4) {
        case 0:
          text += name + "\r\n";
          break;
        case 1:
          text += name + "=\"v" + std::to_string(l) + "\"\r\n";
          break;
        default:
          text += " " + name + " = v" + std::to_string(l) + "\n";
      }
    }
    const ProfileIndex index(text + "[T]\r\nA=other\r\n");
    SCOPED_TRACE(text);
    ExpectSameAsLookup(index, "S", {"A", "B", "Key", "x", "Long name", "k", "T"});
  }
}

TEST(KeyList, ManyKeysAtOnce) {
  std::string text = "[SHOP1]\r\n";
  std::vector<std::string> owned;
  for (int i = 0; i < 100; ++i) {
    owned.push_back("Key" + std::to_string(i));
    if (i % 3 != 0) text += owned.back() + "=" + std::to_string(i * 7) + "\r\n";
  }
  const ProfileIndex index(text);
  ExpectSameAsLookup(index, "SHOP1", std::vector<std::string_view>(owned.begin(), owned.end()));
}

}  // namespace
}  // namespace common
