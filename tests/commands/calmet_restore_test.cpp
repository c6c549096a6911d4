// A wipe's way back as real processes: the backup every wipe makes, restore
// putting the accounts back, the backups' listing, the journal; find by
// item, and the names of the items the converter wrote.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/accounts/account_files.h"
#include "tests/support/file_tree.h"
#include "tests/support/run_command.h"
#include "tests/support/scratch_folder.h"

namespace calmet {
namespace {

namespace fs = std::filesystem;
using calmet_test::Section;

void MakeServer(const ScratchFolder& s) {
  s.Write("Accounts/bob.ini",
          Section("CHAR1", {{"Name", "Bobby"}, {"InvItemNum1", "7"}, {"InvItemVal1", "250"}}) +
              Section("CHAR3", {{"Name", "Tess"}, {"InvItemNum40", "7"}, {"InvItemVal40", "1"}}));
  s.Write("Accounts/Carol.ini", Section("CHAR1", {{"Name", "Carolyn"}, {"InvItemNum5", "2"}}));
  s.Write("Items/Item7.dat", calmet_test::ItemFile("7", "Gold", "12"));
}

QJsonObject Parse(const std::string& out) {
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out));
  EXPECT_TRUE(doc.isObject()) << out;
  return doc.object();
}

// The one folder below Backups, "" when there is none or several.
std::string OnlyBackup(const ScratchFolder& s) {
  if (!fs::is_directory(s.At("Backups"))) return "";
  std::vector<std::string> found;
  for (const auto& e : fs::directory_iterator(s.At("Backups"))) found.push_back(e.path());
  return found.size() == 1 ? found.front() : "";
}

tests::CommandResult Calmet(const ScratchFolder& s, std::vector<std::string> args) {
  args.push_back("--server-dir");
  args.push_back(s.path());
  return tests::RunProgram("Calmet", args);
}

struct stat StatOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st;
}

TEST(CalmetRestore, AWipeThenARestoreGivesBackEveryAccountWithItsOwnerGroupModeAndAttributes) {
  ScratchFolder s;
  MakeServer(s);
  const std::string bob = s.At("Accounts/bob.ini");
  ASSERT_EQ(chown(bob.c_str(), 1234, 2000), 0);
  ASSERT_EQ(chmod(bob.c_str(), 0640), 0);
  const bool xattrs = setxattr(bob.c_str(), "user.note", "kept", 4, 0) == 0;
  const auto before = tests::FileTree(s.At("Accounts"));

  tests::CommandResult r = Calmet(s, {"wipe", "--yes"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const std::string backup = OnlyBackup(s);
  ASSERT_NE(backup, "") << r.err;
  EXPECT_NE(r.err.find("backed up in " + backup), std::string::npos) << r.err;
  EXPECT_EQ(StatOf(backup).st_mode & 0777, 0700u);
  EXPECT_NE(tests::FileTree(s.At("Accounts")), before);

  r = Calmet(s, {"backups", "--json"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  const QJsonArray listed = Parse(r.out)["backups"].toArray();
  ASSERT_EQ(listed.size(), 1);
  EXPECT_EQ(listed[0]["path"].toString().toStdString(), backup);
  EXPECT_EQ(listed[0]["files"].toInt(), 2);
  EXPECT_TRUE(listed[0]["matches"].toBool());

  r = Calmet(s, {"restore", backup, "--yes"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(tests::FileTree(s.At("Accounts")), before);
  const struct stat st = StatOf(bob);
  EXPECT_EQ(st.st_uid, 1234u);
  EXPECT_EQ(st.st_gid, 2000u);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (xattrs) {
    char value[8] = {};
    EXPECT_EQ(getxattr(bob.c_str(), "user.note", value, sizeof value), 4);
    EXPECT_STREQ(value, "kept");
  }

  // Both changes are in the journal, with the backup they are about.
  r = Calmet(s, {"journal", "--json", "--since", "2026-01-01"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  const QJsonArray entries = Parse(r.out)["entries"].toArray();
  ASSERT_EQ(entries.size(), 2) << r.out;
  EXPECT_EQ(entries[0]["action"].toString(), "wipe");
  EXPECT_EQ(entries[1]["action"].toString(), "restore");
  for (const QJsonValue& e : entries) {
    EXPECT_EQ(e["backup"].toString().toStdString(), backup);
    EXPECT_EQ(e["done"].toInt(), 2);
    EXPECT_EQ(e["outcome"].toString(), "completed");
  }
  r = Calmet(s, {"journal", "--since", "2999-01-01T00:00:00Z"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out, "");
  for (const char* bad : {"yesterday", "2026-13-01", "2026-12-07 19:00"}) {
    EXPECT_EQ(Calmet(s, {"journal", "--since", bad}).exitStatus, 2) << bad;
  }
}

TEST(CalmetRestore, AnAccountChangedSinceTheWipeIsLeftAndNamedUnlessForced) {
  ScratchFolder s;
  MakeServer(s);
  const std::string bob = s.At("Accounts/bob.ini");
  ASSERT_EQ(chown(bob.c_str(), 1234, 2000), 0);
  ASSERT_EQ(chmod(bob.c_str(), 0600), 0);
  const auto before = tests::FileTree(s.At("Accounts"));
  ASSERT_EQ(Calmet(s, {"wipe", "--yes"}).exitStatus, 0);
  const std::string backup = OnlyBackup(s);
  // The server saved Carol after the wipe.
  s.Write("Accounts/Carol.ini", "[CHAR1]\r\nName=Carolyn\r\nLevel=9\r\n");

  tests::CommandResult r = Calmet(s, {"restore", backup, "--yes"});
  EXPECT_EQ(r.exitStatus, 3) << r.err;
  EXPECT_NE(r.err.find("Carol.ini (" + s.At("Accounts/Carol.ini") + ": changed since the wipe"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(s.Read("Accounts/bob.ini"), before.at("bob.ini"));
  EXPECT_EQ(s.Read("Accounts/Carol.ini"), "[CHAR1]\r\nName=Carolyn\r\nLevel=9\r\n");

  // Gone since, too: --force puts both back.
  fs::remove(s.At("Accounts/bob.ini"));
  r = Calmet(s, {"restore", backup, "--yes", "--force"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(tests::FileTree(s.At("Accounts")), before);
  // Made again, as the backup recorded it.
  const struct stat st = StatOf(bob);
  EXPECT_EQ(st.st_uid, 1234u);
  EXPECT_EQ(st.st_gid, 2000u);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST(CalmetRestore, ABackupThatDoesNotMatchItsManifestRestoresNothing) {
  ScratchFolder s;
  MakeServer(s);
  ASSERT_EQ(Calmet(s, {"wipe", "--yes"}).exitStatus, 0);
  const std::string backup = OnlyBackup(s);
  const auto wiped = tests::FileTree(s.At("Accounts"));
  const std::string manifest = backup + "/manifest.json";
  const std::string original = tests::FileTree(backup).at("manifest.json");
  auto writeManifest = [&](const std::string& text) {
    fs::remove(manifest);
    std::ofstream(manifest, std::ios::binary) << text;
  };

  // A copy changed (same size), then one gone, then a manifest that names a
  // file outside the accounts folder: each restores nothing.
  std::string carol = tests::FileTree(backup).at("Carol.ini");
  carol[carol.size() - 3] ^= 1;
  std::ofstream(backup + "/Carol.ini", std::ios::binary | std::ios::trunc) << carol;
  tests::CommandResult r = Calmet(s, {"restore", backup, "--yes"});
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_NE(r.err.find("Carol.ini: its content is not what the manifest lists"), std::string::npos)
      << r.err;
  EXPECT_EQ(tests::FileTree(s.At("Accounts")), wiped);

  r = Calmet(s, {"backups"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.out.find("2 files  does not match: Carol.ini"), std::string::npos) << r.out;

  fs::remove(backup + "/Carol.ini");
  r = Calmet(s, {"restore", backup, "--yes", "--force"});
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_NE(r.err.find("Carol.ini"), std::string::npos) << r.err;
  EXPECT_EQ(tests::FileTree(s.At("Accounts")), wiped);

  std::string escaping = original;
  escaping.replace(escaping.find("\"bob.ini\""), 9, "\"../bob.ini\"");
  writeManifest(escaping);
  r = Calmet(s, {"restore", backup, "--yes", "--force"});
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_NE(r.err.find("no account file: ../bob.ini"), std::string::npos) << r.err;
  EXPECT_EQ(tests::FileTree(s.At("Accounts")), wiped);
}

TEST(CalmetRestore, ABackupIsSkippedOnlyWhenTheOperatorSaysSoTwiceAndAJournalIsNoCondition) {
  ScratchFolder s;
  MakeServer(s);
  tests::CommandResult r = Calmet(s, {"wipe", "--no-backup"});
  EXPECT_EQ(r.exitStatus, 2) << r.err;
  EXPECT_EQ(Calmet(s, {"wipe", "--yes", "--no-backup", "--backup", s.At("b")}).exitStatus, 2);
  EXPECT_EQ(Calmet(s, {"restore", s.At("nowhere")}).exitStatus, 2);  // no terminal, no --yes
  // A journal that cannot be written does not fail the wipe.
  s.MakeDir("server-tools.journal");
  r = Calmet(s, {"wipe", "--yes", "--no-backup"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_FALSE(fs::exists(s.At("Backups")));
  EXPECT_NE(r.err.find("warning: the journal was not written"), std::string::npos) << r.err;
}

TEST(CalmetFind, ByItemNamesEveryAccountCharacterAndSlotHoldingIt) {
  ScratchFolder s;
  MakeServer(s);
  tests::CommandResult r = Calmet(s, {"find", "--item", "7"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out, "Bob.ini: Bobby, slot 1 (250)\nBob.ini: Tess, slot 40 (1)\n");

  r = Calmet(s, {"find", "--item", "2", "--json"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  const QJsonObject found = Parse(r.out);
  EXPECT_EQ(found["item"].toInt(), 2);
  EXPECT_EQ(found["searched"].toInt(), 2);
  const QJsonArray holders = found["holders"].toArray();
  ASSERT_EQ(holders.size(), 1);
  EXPECT_EQ(holders[0]["file"].toString(), "Carol.ini");
  EXPECT_EQ(holders[0]["character"].toInt(), 1);
  EXPECT_EQ(holders[0]["slot"].toInt(), 5);
  EXPECT_TRUE(holders[0]["value"].isNull());  // no InvItemVal5 in the file

  for (const char* bad : {"0", "-3", "x", "2147483648"}) {
    EXPECT_EQ(Calmet(s, {"find", "--item", bad}).exitStatus, 2) << bad;
  }
  EXPECT_EQ(Calmet(s, {"find", "Bob", "--item", "7"}).exitStatus, 2);
}

TEST(CalmetShow, NamesTheItemsTheConverterWrote) {
  ScratchFolder s;
  MakeServer(s);
  // An older item file with every key is longer than the record written
  // over it, and keeps its tail.
  s.Write("Items/Item7.dat", Section("ITEM7", {{"Name", "Old Gold"},
                                               {"Pic", "40"},
                                               {"Type", "12"},
                                               {"Data1", "0"},
                                               {"Data2", "0"},
                                               {"Data3", "0"},
                                               {"ClassReq", "0"},
                                               {"GuildReq", ""},
                                               {"LevelReq", "1"}}));
  s.Write("items.ini", Section("ITEM2", {{"Name", "Silver Sword"}, {"Type", "3"}}) +
                           Section("ITEM7", {{"Name", "Gold"}, {"Type", "12"}}));
  tests::CommandResult r =
      tests::RunProgram("Vostrel", {"convert", "items", "--max", "10", "--server-dir", s.path()});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  ASSERT_GT(fs::file_size(s.At("Items/Item7.dat")), 92u);
  r = Calmet(s, {"show", "bob", "--json"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const QJsonArray characters = Parse(r.out)["characters"].toArray();
  EXPECT_EQ(characters[0]["inventory"][0].toString(), "1: Gold (250)");
  EXPECT_EQ(characters[0]["slots"][0]["name"].toString(), "Gold");
  EXPECT_EQ(characters[2]["inventory"][39].toString(), "40: Gold (1)");
  r = Calmet(s, {"show", "Carol"});
  EXPECT_NE(r.out.find("  5: Silver Sword\n"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace calmet
