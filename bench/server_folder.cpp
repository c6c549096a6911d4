#include "bench/server_folder.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "bench/fs_util.h"
#include "converter/map_records.h"

namespace bench {

namespace {

// SplitMix64: small, fast and the same on every machine.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A whole number from lo to hi inclusive.
  long long Range(long long lo, long long hi) {
    return lo + static_cast<long long>(Next() % static_cast<uint64_t>(hi - lo + 1));
  }
  template <size_t N>
  const char* Pick(const char* const (&words)[N]) {
    return words[Next() % N];
  }

 private:
  uint64_t state_;
};

const char* const kAdjectives[] = {"Rusty",  "Iron",   "Elven",   "Cursed", "Golden", "Ancient",
                                   "Frozen", "Silver", "Burning", "Broken", "Heavy",  "Swift"};
const char* const kNouns[] = {"Sword", "Shield", "Helm",  "Potion", "Ring",   "Bow",
                              "Staff", "Axe",    "Boots", "Amulet", "Dagger", "Scroll"};
const char* const kCreatures[] = {"Rat",   "Goblin", "Bandit", "Wolf",   "Skeleton", "Troll",
                                  "Guard", "Spider", "Ogre",   "Wraith", "Merchant", "Bear"};
const char* const kPlaces[] = {"Town",  "Harbour", "Forest", "Mine", "Keep",
                               "Marsh", "Crypt",   "Market", "Pass", "Temple"};
const char* const kSayings[] = {"You will not pass!", "Grrr...", "Give me your gold!",
                                "For the king!",      "Squeak!", "Leave this place, stranger."};
const char* const kGuilds[] = {"", "", "", "Knights", "Thieves Guild", "Mages"};

std::string Num(long long n) { return std::to_string(n); }

// "Key=Value" with the CR LF line ends the game server writes.
void Line(std::string& out, const char* key, const std::string& value) {
  out += key;
  out += '=';
  out += value;
  out += "\r\n";
}

void Header(std::string& out, const std::string& name) { out += "[" + name + "]\r\n"; }

std::string ItemName(Random& r) { return std::string(r.Pick(kAdjectives)) + " " + r.Pick(kNouns); }

std::string ItemsIni(int records) {
  Random r(1);
  std::string out;
  for (int n = 1; n <= records; ++n) {
    Header(out, "ITEM" + Num(n));
    Line(out, "Name", ItemName(r));
    Line(out, "Pic", Num(r.Range(0, 32767)));
    Line(out, "Type", Num(r.Range(0, 15)));
    Line(out, "Data1", Num(r.Range(-1000, 100000)));
    Line(out, "Data2", Num(r.Range(0, 5000)));
    Line(out, "Data3", Num(r.Range(0, 255)));
    Line(out, "ClassReq", Num(r.Range(0, 5)));
    Line(out, "GuildReq", r.Pick(kGuilds));
    Line(out, "LevelReq", Num(r.Range(1, 255)));
  }
  return out;
}

std::string SpellsIni(int records) {
  Random r(2);
  std::string out;
  for (int n = 1; n <= records; ++n) {
    Header(out, "SPELL" + Num(n));
    Line(out, "Name", std::string(r.Pick(kAdjectives)) + " Bolt " + Num(n % 100));
    Line(out, "Type", Num(r.Range(0, 10)));
    for (const char* key : {"Data1", "Data2", "Data3", "Data4", "Data5"}) {
      Line(out, key, Num(r.Range(-32768, 32767)));
    }
    Line(out, "ClassReq", Num(r.Range(0, 5)));
    Line(out, "GuildReq", r.Pick(kGuilds));
    Line(out, "LevelReq", Num(r.Range(1, 255)));
  }
  return out;
}

std::string NpcsIni(int records) {
  Random r(3);
  std::string out;
  for (int n = 1; n <= records; ++n) {
    Header(out, "NPC" + Num(n));
    Line(out, "Name", std::string(r.Pick(kCreatures)) + " of the " + r.Pick(kPlaces));
    Line(out, "AttackSay", r.Pick(kSayings));
    Line(out, "Sprite", Num(r.Range(0, 500)));
    Line(out, "SpawnSecs", Num(r.Range(5, 3600)));
    Line(out, "SpawnTime", Num(r.Range(0, 3)));
    Line(out, "Behavior", Num(r.Range(0, 4)));
    Line(out, "Range", Num(r.Range(1, 20)));
    Line(out, "DropChance", Num(r.Range(1, 100)));
    Line(out, "DropItem", Num(r.Range(1, 32767)));
    Line(out, "DropItemValue", Num(r.Range(1, 1000)));
    for (const char* key : {"STR", "DEF", "SPEED", "MAGI"}) Line(out, key, Num(r.Range(1, 255)));
    Line(out, "HP", Num(r.Range(10, 100000)));
    Line(out, "EXP", Num(r.Range(1, 1000000)));
  }
  return out;
}

std::string ShopsIni(int records) {
  Random r(4);
  std::string out;
  for (int n = 1; n <= records; ++n) {
    Header(out, "SHOP" + Num(n));
    Line(out, "Name", std::string(r.Pick(kPlaces)) + " Trader " + Num(n));
    Line(out, "JoinSay", "Welcome, traveller!");
    Line(out, "LeaveSay", "Come back soon.");
    Line(out, "FixesItems", Num(r.Range(0, 1)));
    for (int slot = 1; slot <= 8; ++slot) {
      const std::string s = Num(slot);
      Line(out, ("GiveItem" + s).c_str(), Num(r.Range(0, 32767)));
      Line(out, ("GiveValue" + s).c_str(), Num(r.Range(0, 500)));
      Line(out, ("Give2Item" + s).c_str(), Num(r.Range(0, 32767)));
      Line(out, ("Give2Value" + s).c_str(), Num(r.Range(0, 500)));
      Line(out, ("GetItem" + s).c_str(), Num(r.Range(0, 32767)));
      Line(out, ("GetValue" + s).c_str(), Num(r.Range(0, 500)));
    }
  }
  return out;
}

std::string SignsIni(int records) {
  Random r(5);
  std::string out;
  for (int n = 1; n <= records; ++n) {
    Header(out, "SIGN" + Num(n));
    Line(out, "Header", std::string("To the ") + r.Pick(kPlaces));
    Line(out, "Line1",
         std::string("The ") + r.Pick(kPlaces) + " lies " + Num(r.Range(1, 99)) +
             " leagues to the north.");
    Line(out, "Line2", std::string("Beware of the ") + r.Pick(kCreatures) + "s.");
    Line(out, "Line3", n % 3 == 0 ? "" : "Safe travels!");
  }
  return out;
}

std::vector<uint8_t> LegacyMap(int n) {
  Random r(1000003ull * static_cast<uint64_t>(n));
  std::vector<vostrel::LegacyMapRec> holder(1);  // large: kept off the stack
  vostrel::LegacyMapRec& m = holder.front();
  std::string name = std::string(r.Pick(kPlaces)) + " " + Num(n);
  for (size_t i = 0; i < sizeof m.Name; ++i) {
    m.Name[i] = static_cast<uint8_t>(i < name.size() ? name[i] : ' ');
  }
  m.UpdateCount = static_cast<int32_t>(r.Range(0, 500));
  m.Mode = static_cast<uint8_t>(r.Range(0, 3));
  m.Int1 = static_cast<int16_t>(r.Range(0, 32767));
  m.Int2 = static_cast<int16_t>(r.Range(0, 32767));
  m.Int3 = static_cast<int16_t>(r.Range(0, 32767));
  m.Int4 = static_cast<int16_t>(r.Range(0, 32767));
  m.Byte1 = static_cast<uint8_t>(r.Range(0, 255));
  m.Int5 = static_cast<int16_t>(r.Range(0, 100));
  m.Byte2 = static_cast<uint8_t>(r.Range(0, 255));
  m.Byte3 = static_cast<uint8_t>(r.Range(0, 255));
  m.Byte4 = static_cast<uint8_t>(r.Range(0, 255));
  m.Byte5 = static_cast<uint8_t>(r.Range(0, 255));
  for (auto& column : m.Tile) {
    for (vostrel::LegacyTileRec& t : column) {
      // Tile numbers of a real tile sheet: small, and never beyond what the
      // renumbering can hold.
      t.Layer1 = static_cast<int16_t>(r.Range(1, 2000));
      t.Layer2 = static_cast<int16_t>(r.Range(0, 3) == 0 ? r.Range(1, 2000) : 0);
      t.Layer3 = static_cast<int16_t>(r.Range(0, 7) == 0 ? r.Range(1, 2000) : 0);
      t.Layer4 = static_cast<int16_t>(r.Range(0, 15) == 0 ? r.Range(1, 2000) : 0);
      t.Kind = static_cast<uint8_t>(r.Range(0, 7) == 0 ? r.Range(1, 8) : 0);
      t.Data1 = static_cast<int16_t>(t.Kind ? r.Range(0, 32767) : 0);
      t.Data2 = static_cast<int16_t>(t.Kind ? r.Range(0, 15) : 0);
      t.Data3 = static_cast<int16_t>(t.Kind ? r.Range(0, 11) : 0);
    }
  }
  for (uint8_t& s : m.Slot) s = static_cast<uint8_t>(r.Range(0, 255));
  return vostrel::EncodeLegacyMap(m);
}

std::string ItemFileText(int n) {
  Random r(7000000ull + static_cast<uint64_t>(n));
  std::string out;
  Header(out, "ITEM" + Num(n));
  Line(out, "Name", ItemName(r));
  // Every fifth item is a currency, shown with its amount.
  Line(out, "Type", n % 5 == 0 ? "12" : Num(r.Range(0, 11)));
  return out;
}

}  // namespace

std::string AccountFileName(int index) {
  char name[32];
  std::snprintf(name, sizeof name, "player%05d.ini", index + 1);
  return name;
}

std::vector<int> AccountItems(int index, int itemFiles) {
  std::vector<int> items;
  items.reserve(300);
  const long long start = (static_cast<long long>(index) * 7919) % itemFiles;
  for (int k = 0; k < 300; ++k) items.push_back(static_cast<int>((start + k) % itemFiles) + 1);
  return items;
}

std::string AccountText(int index, int itemFiles, bool wiped) {
  Random r(9000000ull + static_cast<uint64_t>(index));
  const std::vector<int> items = AccountItems(index, itemFiles);
  std::string out;
  Header(out, "GENERAL");
  Line(out, "Login", "player" + Num(index + 1));
  Line(out, "Password", "pw" + Num(r.Range(100000, 999999)));
  for (int c = 1; c <= 3; ++c) {
    Header(out, "CHAR" + Num(c));
    Line(out, "Name", std::string(r.Pick(kAdjectives)) + r.Pick(kCreatures) + Num(index));
    Line(out, "Class", Num(r.Range(0, 5)));
    Line(out, "Sex", Num(r.Range(0, 1)));
    Line(out, "Sprite", Num(r.Range(0, 200)));
    Line(out, "Level", Num(r.Range(1, 120)));
    Line(out, "Exp", Num(r.Range(0, 5000000)));
    Line(out, "Access", Num(r.Range(0, 9) == 0 ? r.Range(1, 4) : 0));
    Line(out, "PK", "0");
    Line(out, "Guild", r.Pick(kGuilds));
    Line(out, "HP", Num(r.Range(10, 9999)));
    Line(out, "MP", Num(r.Range(0, 9999)));
    Line(out, "SP", Num(r.Range(0, 9999)));
    for (const char* key : {"STR", "DEF", "SPEED", "MAGI"}) Line(out, key, Num(r.Range(1, 255)));
    Line(out, "POINTS", Num(r.Range(0, 20)));
    Line(out, "Map", Num(r.Range(1, 32767)));
    Line(out, "X", Num(r.Range(0, 15)));
    Line(out, "Y", Num(r.Range(0, 11)));
    Line(out, "Dir", Num(r.Range(0, 3)));
    for (int slot = 1; slot <= 100; ++slot) {
      const std::string s = Num(slot);
      const int item = items[static_cast<size_t>((c - 1) * 100 + slot - 1)];
      const long long value = r.Range(1, 5000);
      const long long durability = r.Range(0, 100);
      Line(out, ("InvItemNum" + s).c_str(), wiped ? "0" : Num(item));
      Line(out, ("InvItemVal" + s).c_str(), wiped ? "0" : Num(value));
      Line(out, ("InvItemDur" + s).c_str(), wiped ? "0" : Num(durability));
    }
  }
  return out;
}

void RestoreAccounts(const std::string& root, int accounts, int itemFiles) {
  for (int a = 0; a < accounts; ++a) {
    WriteWholeFile(root + "/Accounts/" + AccountFileName(a), AccountText(a, itemFiles, false));
  }
  // A server's accounts were not all saved within the last moment: the wipe
  // waits for a file changed within its quiet period (a save may be half
  // done), which would time this restore, not the wipe.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
}

void MakeServerFolder(const std::string& root, const FolderSize& size) {
  for (const char* folder :
       {"", "/maps", "/newmaps", "/Items", "/Spells", "/NPCs", "/Shops", "/Signs", "/Accounts"}) {
    MakeFolders(root + folder);
  }
  WriteWholeFile(root + "/items.ini", ItemsIni(size.records));
  WriteWholeFile(root + "/spells.ini", SpellsIni(size.records));
  WriteWholeFile(root + "/npcs.ini", NpcsIni(size.records));
  WriteWholeFile(root + "/shops.ini", ShopsIni(size.records));
  WriteWholeFile(root + "/signs.ini", SignsIni(size.records));
  for (int n = 1; n <= size.records; ++n) {
    const std::vector<uint8_t> bytes = LegacyMap(n);
    WriteWholeFile(root + "/maps/map" + Num(n) + ".dat",
                   std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  for (int n = 1; n <= size.itemFiles; ++n) {
    WriteWholeFile(root + "/Items/Item" + Num(n) + ".dat", ItemFileText(n));
  }
  if (size.accounts > 0) RestoreAccounts(root, size.accounts, size.itemFiles);
}

}  // namespace bench
