// Every file and folder of the game server's folder that the tools name,
// in one place. Paths are tool paths: the program folder joined by plain
// concatenation with a name that mostly begins with "\", resolved without
// regard to case (common/host_path.h).
//
// Some names are spelled differently where they are tested, read, created
// and written ("spells.ini" and "\Spells.ini", "\NewMaps\", "\Newmaps\" and
// "\newmaps\", "\NPCs\" and "\NPCS\"). These are the spellings the server's
// tools have always used; as names resolve without regard to case they all
// denote the same file or folder, and they are kept as they are so that a
// new file or folder gets the same spelling as ever.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace common::layout {

// One kind of world data kept in a profile file, converted to one file per
// record.
struct ProfileKindFiles {
  const char* sourceTested;   // the name the kind's page hands FileIsPresent
  const char* source;         // the source as the record converter reads it
  const char* outputFolder;   // the folder the job makes when it is missing
  const char* recordPrefix;   // a record's file: prefix + N + ".dat"
  const char* sectionPrefix;  // a record's section, in source and shop file: prefix + N
};

inline constexpr ProfileKindFiles kItems{"\\items.ini", "\\items.ini", "\\Items\\", "\\Items\\Item",
                                         "ITEM"};
inline constexpr ProfileKindFiles kSpells{"spells.ini", "\\Spells.ini", "\\Spells\\",
                                          "\\Spells\\Spell", "SPELL"};
inline constexpr ProfileKindFiles kSigns{"signs.ini", "\\signs.ini", "\\Signs\\", "\\Signs\\Sign",
                                         "SIGN"};
inline constexpr ProfileKindFiles kShops{"shops.ini", "\\shops.ini", "\\Shops\\", "\\Shops\\Shop",
                                         "SHOP"};
inline constexpr ProfileKindFiles kNPCs{"npcs.ini", "\\npcs.ini", "\\NPCs\\", "\\NPCS\\NPC", "NPC"};

// Maps: the legacy files are read from maps, the converted ones written to
// newmaps, both named map<N>.dat.
inline constexpr char kMapsTested[] = "Maps\\";          // FileIsPresent: source folder
inline constexpr char kNewMapsTested[] = "\\NewMaps\\";  // FileIsPresent: target folder
inline constexpr char kNewMapsFolder[] = "\\Newmaps\\";  // created when the test fails
inline constexpr char kLegacyMapPrefix[] = "\\maps\\map";
inline constexpr char kConvertedMapPrefix[] = "\\newmaps\\map";

// Accounts: one profile file per account in this folder.
inline constexpr char kAccountsFolder[] = "\\Accounts\\";
// The item files the account view reads, in the profile layout, at the same
// paths as the converted item records: kItems.recordPrefix + N + ".dat".
inline constexpr char kItemsFolder[] = "\\Items\\";
// An item file's name in that folder: this + N + ".dat".
inline constexpr char kItemFileStem[] = "Item";
static_assert(std::string_view(kItems.recordPrefix) ==
              std::string_view("\\Items\\Item"));
// The game server itself, which Ruvane starts.
inline constexpr char kServerExe[] = "\\server.exe";

// What the tools themselves add to the server folder, by plain name.
// One line of JSON for every change a tool makes.
inline constexpr char kJournalFile[] = "server-tools.journal";
// The wipes' backups, one folder each, and the manifest in each.
inline constexpr char kBackupsFolder[] = "Backups";
inline constexpr char kManifestFile[] = "manifest.json";
// What the started server prints, appended; never rotated or truncated.
inline constexpr char kServerLogName[] = "server-output.log";

// The program folder + `name`.
std::string ServerPath(std::string_view name);

// The program folder + `prefix` + N in decimal + ".dat".
std::string RecordFile(std::string_view prefix, int32_t n);

// The account file of `fileName` (an entry of the accounts folder).
std::string AccountFile(std::string_view fileName);

}  // namespace common::layout
