// Calmet's JSON against its description, docs/json.md: the schema written
// there checks the page's own examples and what every command with --json
// really prints, so that neither can change without the other.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/accounts/account_files.h"
#include "tests/support/run_command.h"
#include "tests/support/scratch_folder.h"

namespace {

using calmet_test::Section;

std::string ReadDoc() {
  std::ifstream in(std::string(TOOLS_SOURCE_DIR) + "/docs/json.md", std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

QJsonValue Parse(const std::string& text, const std::string& what) {
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError)
      << what << ": " << error.errorString().toStdString() << "\n" << text;
  return doc.isObject() ? QJsonValue(doc.object()) : QJsonValue();
}

// The ```json block that follows the line "<!-- marker -->".
QJsonValue Block(const std::string& doc, const std::string& marker) {
  const size_t at = doc.find("<!-- " + marker + " -->\n```json\n");
  if (at == std::string::npos) {
    ADD_FAILURE() << "docs/json.md has no block " << marker;
    return {};
  }
  const size_t begin = doc.find('\n', doc.find("```json", at)) + 1;
  const size_t end = doc.find("\n```", begin);
  return Parse(doc.substr(begin, end - begin), marker);
}

// The part of JSON Schema the description uses. A keyword it does not know
// is an error, so that the page cannot say more than is checked.
class Schema {
 public:
  explicit Schema(QJsonObject root) : defs_(root["$defs"].toObject()) {}

  // Where `value` does not fit definition `name`, one line each.
  std::vector<std::string> Misfits(const QJsonValue& value, const QString& name) const {
    std::vector<std::string> out;
    if (!defs_.contains(name)) {
      out.push_back("no definition " + name.toStdString());
    } else {
      Check(value, defs_[name].toObject(), "$", &out);
    }
    return out;
  }

 private:
  static bool HasType(const QJsonValue& v, const QString& type) {
    if (type == "null") return v.isNull();
    if (type == "string") return v.isString();
    if (type == "boolean") return v.isBool();
    if (type == "object") return v.isObject();
    if (type == "array") return v.isArray();
    if (type == "number") return v.isDouble();
    if (type == "integer") return v.isDouble() && std::floor(v.toDouble()) == v.toDouble();
    return false;
  }

  void Check(const QJsonValue& v, const QJsonObject& s, const std::string& at,
             std::vector<std::string>* out) const {
    static const std::set<QString> known = {"$ref",       "type",     "const",
                                            "properties", "required", "additionalProperties",
                                            "items",      "minItems", "maxItems"};
    for (const QString& key : s.keys()) {
      if (!known.count(key)) out->push_back(at + ": unknown keyword " + key.toStdString());
    }
    if (s.contains("$ref")) {
      const QString ref = s["$ref"].toString();
      const QString name = ref.mid(QStringLiteral("#/$defs/").size());
      if (!ref.startsWith("#/$defs/") || !defs_.contains(name)) {
        out->push_back(at + ": no definition " + ref.toStdString());
      } else {
        Check(v, defs_[name].toObject(), at, out);
      }
    }
    if (s.contains("type")) {
      const QJsonArray types =
          s["type"].isArray() ? s["type"].toArray() : QJsonArray{s["type"]};
      bool fits = false;
      for (const QJsonValue& t : types) fits = fits || HasType(v, t.toString());
      if (!fits) {
        out->push_back(at + ": " + QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact)
                                       .toStdString() +
                       " is not of type " +
                       QJsonDocument(types).toJson(QJsonDocument::Compact).toStdString());
        return;
      }
    }
    if (s.contains("const") && v != s["const"]) out->push_back(at + ": not the constant");
    if (v.isObject()) {
      const QJsonObject o = v.toObject();
      const QJsonObject properties = s["properties"].toObject();
      for (const QJsonValue& key : s["required"].toArray()) {
        if (!o.contains(key.toString())) {
          out->push_back(at + ": no key " + key.toString().toStdString());
        }
      }
      for (const QString& key : o.keys()) {
        const std::string here = at + "." + key.toStdString();
        if (properties.contains(key)) {
          Check(o[key], properties[key].toObject(), here, out);
        } else if (s.contains("additionalProperties") && !s["additionalProperties"].toBool()) {
          out->push_back(here + ": a key the description does not have");
        }
      }
    }
    if (v.isArray()) {
      const QJsonArray a = v.toArray();
      if (s.contains("minItems") && a.size() < s["minItems"].toInt()) {
        out->push_back(at + ": too few items");
      }
      if (s.contains("maxItems") && a.size() > s["maxItems"].toInt()) {
        out->push_back(at + ": too many items");
      }
      if (s.contains("items")) {
        for (qsizetype i = 0; i < a.size(); ++i) {
          Check(a[i], s["items"].toObject(), at + "[" + std::to_string(i) + "]", out);
        }
      }
    }
  }

  QJsonObject defs_;
};

std::string Lines(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& line : lines) s += line + "\n";
  return s;
}

TEST(CalmetJson, TheDescriptionsExamplesFitItsSchema) {
  const std::string doc = ReadDoc();
  const Schema schema(Block(doc, "schema").toObject());
  for (const char* command : {"list", "show", "find", "find-item", "backups", "journal"}) {
    const QJsonValue example = Block(doc, std::string("example: ") + command);
    ASSERT_TRUE(example.isObject()) << command;
    EXPECT_EQ(Lines(schema.Misfits(example, command)), "") << command;
  }
  // The check sees a wrong type, a missing key, an extra key and a wrong
  // version.
  QJsonObject show = Block(doc, "example: show").toObject();
  QJsonArray characters = show["characters"].toArray();
  QJsonObject first = characters[0].toObject();
  first["level"] = "7";
  first.remove("magic");
  first["colour"] = "red";
  characters[0] = first;
  show["characters"] = characters;
  show["version"] = 2;
  EXPECT_EQ(schema.Misfits(show, "show"),
            (std::vector<std::string>{
                "$.characters[0]: no key magic",
                "$.characters[0].colour: a key the description does not have",
                "$.characters[0].level: [\"7\"] is not of type [\"integer\",\"null\"]",
                "$.version: not the constant"}));
}

// A server as players leave it: a level that is no number, an empty
// character, an item whose file is gone, names with controls, an entry that
// is no account.
void MakeServer(const ScratchFolder& s) {
  s.Write("Items/Item1.dat", calmet_test::ItemFile("1", "Gold", "12"));
  s.Write("Accounts/alice.ini",
          Section("CHAR1", {{"Name", "Alice"},
                            {"Access", "1"},
                            {"Level", "7"},
                            {"STR", " 10 "},
                            {"DEF", "4"},
                            {"SPEED", "ten"},
                            {"MAGI", "2.5"},
                            {"InvItemNum1", "1"},
                            {"InvItemVal1", "250"},
                            {"InvItemNum2", "9"},
                            {"InvItemVal2", "12abc"}}) +
              Section("CHAR2", {{"Name", "Thorn\x1b[2J"}, {"Level", "12abc"}, {"Access", "9"}}));
  s.Write("Accounts/bob.ini", "");
  s.MakeDir("Accounts/broken.ini");
}

TEST(CalmetJson, EveryCommandsOutputFitsTheDescription) {
  const std::string doc = ReadDoc();
  const Schema schema(Block(doc, "schema").toObject());
  ScratchFolder s;
  MakeServer(s);
  auto run = [&](std::vector<std::string> args, int status) {
    args.insert(args.end(), {"--json", "--server-dir", s.path()});
    const tests::CommandResult r = tests::RunProgram("Calmet", args);
    EXPECT_EQ(r.exitStatus, status) << args.front() << ": " << r.err;
    return Parse(r.out, args.front()).toObject();
  };

  const QJsonObject list = run({"list"}, 0);
  EXPECT_EQ(Lines(schema.Misfits(list, "list")), "");
  EXPECT_EQ(list["count"], QJsonValue(3));
  EXPECT_EQ(list["folder"].toString().toStdString(), s.At("Accounts"));

  const QJsonObject show = run({"show", "alice"}, 0);
  EXPECT_EQ(Lines(schema.Misfits(show, "show")), "");
  const QJsonObject alice = show["characters"][0].toObject();
  EXPECT_EQ(alice["strength"], QJsonValue(10));
  EXPECT_EQ(alice["magic"], QJsonValue(2));  // 2.5, rounded half to even
  EXPECT_EQ(alice["speed"], QJsonValue(QJsonValue::Null));
  EXPECT_EQ(alice["texts"]["speed"].toString(), "ten");
  EXPECT_EQ(alice["slots"][1]["item"], QJsonValue(9));
  EXPECT_EQ(alice["slots"][1]["name"], QJsonValue(QJsonValue::Null));  // no Item9.dat
  EXPECT_EQ(alice["slots"][1]["value"], QJsonValue(QJsonValue::Null));
  EXPECT_EQ(alice["slots"][1]["texts"]["value"].toString(), "12abc");
  const QJsonObject thorn = show["characters"][1].toObject();
  EXPECT_EQ(thorn["level"], QJsonValue(QJsonValue::Null));
  EXPECT_EQ(thorn["texts"]["level"].toString(), "12abc");
  EXPECT_EQ(thorn["access"], QJsonValue(9));
  EXPECT_EQ(thorn["name"].toString(), QString::fromUtf8("Thorn\x1b[2J"));
  const QJsonObject empty = show["characters"][2].toObject();
  EXPECT_EQ(empty["name"], QJsonValue(QJsonValue::Null));
  EXPECT_EQ(empty["level"], QJsonValue(QJsonValue::Null));
  EXPECT_EQ(empty["caption"].toString(), "Character Three");


  const QJsonObject find = run({"find", "thorn"}, 3);
  EXPECT_EQ(Lines(schema.Misfits(find, "find")), "");
  EXPECT_EQ(find["searched"], QJsonValue(2));
  EXPECT_EQ(find["count"], QJsonValue(1));
  EXPECT_EQ(find["accounts"][0]["file"].toString(), "alice.ini");
  EXPECT_EQ(find["problems"][0]["file"].toString(), "broken.ini");
  EXPECT_NE(find["problems"][0]["reason"].toString().indexOf("not an ordinary file"), -1);
  const QJsonObject none = run({"find", "nobody"}, 3);
  EXPECT_EQ(Lines(schema.Misfits(none, "find")), "");
  EXPECT_EQ(none["accounts"].toArray().size(), 0);

  const QJsonObject holders = run({"find", "--item", "1"}, 3);
  EXPECT_EQ(Lines(schema.Misfits(holders, "find-item")), "");
  EXPECT_EQ(holders["holders"][0]["character_name"].toString(), "Alice");
  EXPECT_EQ(holders["holders"][0]["value"], QJsonValue(250));

  // A wipe (the broken account left out) writes a backup and a journal entry.
  s.Write("Accounts/bob.ini", "[CHAR1]\r\nName=Bob\r\n");
  const tests::CommandResult wiped =
      tests::RunProgram("Calmet", {"wipe", "--yes", "--server-dir", s.path()});
  EXPECT_EQ(wiped.exitStatus, 1) << wiped.err;
  const QJsonObject backups = run({"backups"}, 0);
  EXPECT_EQ(Lines(schema.Misfits(backups, "backups")), "");
  EXPECT_EQ(backups["count"], QJsonValue(1));
  EXPECT_EQ(backups["backups"][0]["files"], QJsonValue(2));
  const QJsonObject journal = run({"journal"}, 0);
  EXPECT_EQ(Lines(schema.Misfits(journal, "journal")), "");
  EXPECT_EQ(journal["since"], QJsonValue(QJsonValue::Null));
  EXPECT_EQ(journal["entries"][0]["skipped"], QJsonValue(1));
}

}  // namespace
