#include "converter/convert_command.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <optional>
#include <string>
#include <vector>

#include "common/cli/command_line.h"
#include "common/cli/job_console.h"
#include "common/qt/ansi_text.h"
#include "common/server_folder.h"
#include "common/text_util.h"
#include "converter/conversion.h"
#include "converter/converter_state.h"
#include "converter/record_show.h"

namespace vostrel {

namespace {

namespace cli = common::cli;

const QString kMax = QStringLiteral("max");
const QString kWin98 = QStringLiteral("win98");
const QString kForce = QStringLiteral("force");
const QString kDryRun = QStringLiteral("dry-run");
const QString kJson = QStringLiteral("json");
// The shape of `show --json` (docs/json.md).
constexpr int kShowJsonVersion = 1;

// A KIND on the command line is its page's job name ("items").
struct KindName {
  Page page;
  const char* label;  // the progress line's name
};

// In the window's tab order, which `all` follows.
const KindName kKindNames[] = {
    {Page::Items, "Items"}, {Page::Spells, "Spells"}, {Page::Signs, "Signs"},
    {Page::Shops, "Shops"}, {Page::NPCs, "NPCs"},     {Page::Maps, "Maps"},
};

constexpr cli::ItemWords kRecords{"record", "records", "written",
                                  "blank (no section in the source)"};
constexpr cli::ItemWords kMaps{"map", "maps", "written", "blank (no legacy file)"};
constexpr cli::ItemWords kDryRecords{"record", "records", "would be written",
                                     "blank (no section in the source)"};
constexpr cli::ItemWords kDryMaps{"map", "maps", "would be written", "blank (no legacy file)"};

const cli::ItemWords& WordsOf(Page page, bool dryRun) {
  if (page == Page::Maps) return dryRun ? kDryMaps : kMaps;
  return dryRun ? kDryRecords : kRecords;
}

// A maximum on the command line: a whole decimal number from 1 to 32767 and
// nothing else. The window's Max boxes read more forms (the numeric text
// rule); a script gets told rather than have "5,000" convert 5 records.
std::optional<int16_t> ParseMaximum(const std::string& text) {
  if (text.empty()) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > 32767) return std::nullopt;  // before it could overflow
  }
  if (value < 1) return std::nullopt;
  return static_cast<int16_t>(value);
}

// A job's events on the console (cli::ConsoleJob), with a line for each
// record it left out, naming where the record came from.
class KindConsole : public cli::ConsoleJob {
 public:
  KindConsole(bool quiet, const KindName& kind, bool dryRun)
      : ConsoleJob(quiet, WordsOf(kind.page, dryRun)), kind_(kind), dryRun_(dryRun) {
    Label(kind.label);
  }
  void ItemProblem(const common::ItemProblem& p) override {
    const bool skipped = p.kind == common::ItemProblem::Kind::kSkipped;
    std::string line = std::string(kind_.label) + ": " + WordsOf(kind_.page, false).one + " " +
                       common::Dec(p.item) +
                       (dryRun_ ? (skipped ? " would be skipped" : " would fail")
                                : (skipped ? " skipped" : " failed"));
    if (!p.name.empty()) line += " (" + p.name + ")";
    Note(line + ": " + p.why.message());
    ConsoleJob::ItemProblem(p);
  }
  // A map shorter than its layout: named, with its size and what was made
  // of it.
  void ItemNoted(const common::ItemNote& n) override {
    Note(std::string(kind_.label) + ": " + WordsOf(kind_.page, false).one + " " +
         common::Dec(n.item) + " (" + n.name + ") " + n.what);
  }

 private:
  const KindName& kind_;
  bool dryRun_;
};

// The kind a `show` names: as `convert` takes it, or in the singular
// ("item", "NPC"), in any case.
const KindName* ShownKind(const QString& arg) {
  const std::string wanted = arg.toLower().toStdString();
  for (const KindName& k : kKindNames) {
    const std::string plural = JobName(k.page);
    if (wanted == plural || wanted == plural.substr(0, plural.size() - 1)) return &k;
  }
  return nullptr;
}

// The singular a record's JSON names its kind by ("item").
std::string Singular(const KindName& k) {
  const std::string plural = JobName(k.page);
  return plural.substr(0, plural.size() - 1);
}

QJsonValue JsonOf(const FieldValue& f) {
  if (f.isText) return common::AnsiToQString(f.text);
  if (f.isList) {
    QJsonArray list;
    for (int64_t v : f.list) list.append(static_cast<qint64>(v));
    return list;
  }
  return static_cast<qint64>(f.number);
}

std::string TextOf(const FieldValue& f) {
  if (f.isText) return f.text;
  if (f.isList) {
    std::string text;
    for (int64_t v : f.list) text += (text.empty() ? "" : " ") + common::Dec(v);
    return text;
  }
  return common::Dec(f.number);
}

// `show KIND N`: the fields of one converted file, one "name: value" a line
// (PrintOut shows a control character as its escape), or one JSON object.
int RunShow(QCommandLineParser& parser, const QStringList& args) {
  if (args.size() != 2) return cli::UsageError("show needs a KIND and a number N");
  const KindName* kind = ShownKind(args[0]);
  if (!kind) return cli::UsageError("unknown KIND " + args[0]);
  const std::optional<int16_t> n = ParseMaximum(args[1].toStdString());
  if (!n) {
    return cli::UsageError("N takes a whole number from 1 to 32767, not \"" + args[1] + "\"");
  }
  const common::ServerFolder server = common::ServerFolder::Program();
  ShownRecord shown;
  if (const common::Status s = ReadConvertedRecord(server, kind->page, *n, &shown); !s.ok()) {
    cli::PrintErr(s.message());
    return cli::kExitFailed;
  }
  if (parser.isSet(kJson)) {
    QJsonObject fields;
    for (const FieldValue& f : shown.fields) fields[common::AnsiToQString(f.name)] = JsonOf(f);
    QJsonObject o;
    o["version"] = kShowJsonVersion;
    o["kind"] = QString::fromStdString(Singular(*kind));
    o["number"] = *n;
    o["file"] = QString::fromStdString(shown.file);
    o["path"] = QString::fromLocal8Bit(shown.host.c_str());
    // A shop file is text, of no fixed size.
    o["size"] =
        kind->page == Page::Shops ? QJsonValue() : QJsonValue(static_cast<qint64>(shown.size));
    if (kind->page != Page::Shops) o["tail"] = static_cast<qint64>(shown.tail);
    o["fields"] = fields;
    cli::PrintJson(QJsonDocument(o));
    return cli::kExitDone;
  }
  for (const FieldValue& f : shown.fields) cli::PrintOut(f.name + ": " + TextOf(f));
  if (shown.tail > 0) {
    cli::PrintErr(shown.file + ": " + common::Dec(static_cast<int64_t>(shown.tail)) +
                  " bytes after the record are left from an older, longer file; the server "
                  "reads only the record");
  }
  return cli::kExitDone;
}

// A check's notice as the window's box says it, and where it looked.
std::string NoticeText(const Notice& notice) {
  std::string text = notice.title + ": " + notice.prompt;
  if (!notice.where.empty()) text += " (" + notice.where + ")";
  return text;
}

}  // namespace

const cli::Manual& Manual() {
  static const cli::Manual manual{
      "Vostrel",
      "convert a game server's legacy world data into one file per record",
      "Vostrel converts the legacy world data of a game server's folder (items.ini, "
      "spells.ini, signs.ini, shops.ini, npcs.ini and the maps) into one file per record. "
      "Without a command it opens its window, with a page for each kind of data; with a "
      "command it runs the same jobs with no display at all.\n\n"
      "Progress goes to standard error: on a terminal one line per job, redrawn with the count, "
      "a bar, the rate, the time taken and the time left; in a log a line at every tenth with "
      "the time of day. Each job ends with a line of its counts and its time, and `convert all` "
      "with their total. A record left out is named on a line of its own, with its section and "
      "source file. Every message the window would show in a box is printed as \"<title>: "
      "<text>\", followed by the folder it looked in where the text names none, and nothing "
      "waits for a click. An interrupt (Ctrl-C, SIGTERM) stops a conversion after the record "
      "at hand, as closing the window does, and says what was done and what was not, also "
      "with --quiet.\n\n"
      "A job's last line also counts the records written blank because the source has no "
      "section for them (the maps with no legacy file), and each legacy map shorter than "
      "its layout is named with its size (it is converted as a full map, the missing "
      "fields as zeros). Every conversion that started is entered in server-tools.journal in "
      "the server folder (a journal that cannot be written is a warning; the conversion "
      "stands), but not a dry run.",
      {"[--server-dir DIR]",
       "convert KIND... [--max N] [--win98] [--force] [--dry-run] [--server-dir DIR] [--quiet]",
       "show KIND N [--json] [--server-dir DIR]"},
      {{"convert", "KIND...",
        "Run the conversions named: items, spells, signs, shops, npcs, maps, or all (every "
        "kind, in the window's tab order).",
        cli::Completion::kWords},
       {"show", "KIND N",
        "Print the fields of converted file N of KIND (item, spell, sign, shop, npc or map; "
        "the plural and any case are taken too): Items/ItemN.dat, Spells/SpellN.dat, "
        "Signs/SignN.dat, NPCs/NPCN.dat, the 52 keys of section SHOPN of Shops/ShopN.dat, "
        "or newmaps/mapN.dat, whose tiles are summed up by how many set each field. One "
        "\"name: value\" a line, as the record's layout names its fields; a file shorter "
        "than its record, or of another layout than the conversion writes, is an error "
        "(status 1) that says what was expected. A file longer than its record is read as "
        "the server reads it, the record at its start, and standard error says how many "
        "bytes of an older file follow it.",
        cli::Completion::kWords}},
      {{"max", "N",
        "Convert records 1 to N, a whole decimal number from 1 to 32767 and nothing else "
        "(default: 1000 for items and maps, 500 for the others). Any other value (\"abc\", "
        "\"0\", \"-5\", \"5,000\") runs nothing and ends with status 2.",
        "convert"},
       {"win98", nullptr, "Write the maps in the layout for Windows 98 (maps only).", "convert"},
       {"force", nullptr,
        "Convert even while this folder's server.exe is running (without it the command "
        "refuses, status 1, and converts nothing).",
        "convert"},
       {"dry-run", nullptr,
        "Read and convert everything but write nothing: no folder, no file, no flush, no "
        "journal entry. Each job says how many records would be written, how many of them "
        "blank, and names each record that would be skipped or fail, with the reason; the "
        "exit status is the one the real run would have. What only the write itself can "
        "show (a full disk, a folder that cannot be made) is not foreseen; a file or folder "
        "that the write would refuse or could not open (a link the tools do not follow, "
        "something that is not an ordinary file, a read-only file, a record folder that is "
        "a plain file) is. Since nothing is written, a running server is no reason to "
        "refuse.",
        "convert"},
       {"json", nullptr, "Print the record as one JSON object (described in docs/json.md).",
        "show"}},
      [] {
        std::vector<const char*> words;
        for (const KindName& k : kKindNames) words.push_back(JobName(k.page));
        words.push_back("all");
        return words;
      }(),
      {{0, "done: every record of every job written, and flushed to the disk"},
       {1,
        "failed: a source file not found or unreadable, a job in which no record could be "
        "written, a map that stopped its job, files that could not be flushed to the disk, "
        "this folder's server running, or the output not written"},
       {2,
        "bad usage: an unknown command, KIND or option, or a --max that is not a whole "
        "number from 1 to 32767; nothing was converted"},
       {3,
        "done with records skipped: some records were written, others were left out (a "
        "value that does not fit its field, a write that failed, or a file the tools refuse "
        "to touch, such as a link the operator did not make); each is named"},
       {130,
        "interrupted (SIGINT, Ctrl-C): the job stopped after the record at hand, and the "
        "summary says what was done and what was not"},
       {143, "terminated (SIGTERM), as for 130"}},
      {{"items.ini, spells.ini, signs.ini, npcs.ini",
        "Read; each record N becomes Items/ItemN.dat, Spells/SpellN.dat, Signs/SignN.dat or "
        "NPCs/NPCN.dat, written over an older one. A missing folder is made."},
       {"shops.ini",
        "Read; each record N is written into Shops/ShopN.dat, a profile file that is edited "
        "(other sections are kept) and replaced through a hidden temporary file, so that a "
        "crash never leaves it half-written."},
       {"maps/mapN.dat",
        "Read; each map N becomes newmaps/mapN.dat (in the Windows 98 layout "
        "with --win98)."}},
      {{"NAMES",
        "Every name in the server folder is found without regard to case (Items, items and "
        "ITEMS are the same folder), as the server itself finds them."}},
      {{"convert all --server-dir /srv/game",
        "Convert every kind of data of the server in /srv/game:"},
       {"convert maps --max 200 --win98 --server-dir /srv/game",
        "Convert the first 200 maps in the layout for Windows 98:"}},
      {"Calmet(1)", "Ruvane(1)"},
      "vostrel",
      "Game Data Converter",
      "game;server;convert;items;maps;",
  };
  return manual;
}

int RunCommand(QCommandLineParser& parser) {
  QStringList args = parser.positionalArguments();
  if (args.isEmpty()) return cli::UsageError("no command given");
  const QString command = args.takeFirst();
  if (command == "show") return RunShow(parser, args);
  if (command != "convert") return cli::UsageError("unknown command " + command);
  if (args.isEmpty()) return cli::UsageError("convert needs at least one KIND");

  std::vector<const KindName*> kinds;
  auto add = [&kinds](const KindName& k) {
    for (const KindName* have : kinds) {
      if (have == &k) return;
    }
    kinds.push_back(&k);
  };
  for (const QString& arg : args) {
    const QString wanted = arg.toLower();
    bool known = false;
    for (const KindName& k : kKindNames) {
      if (wanted == "all" || wanted == JobName(k.page)) {
        add(k);
        known = true;
      }
    }
    if (!known) return cli::UsageError("unknown KIND " + arg);
  }

  // A refused maximum runs nothing at all, whichever kind comes first.
  std::optional<int16_t> max;
  if (parser.isSet(kMax)) {
    max = ParseMaximum(parser.value(kMax).toStdString());
    if (!max) {
      return cli::UsageError("--max takes a whole number from 1 to 32767, not \"" +
                             parser.value(kMax) + "\"");
    }
  }
  const bool quiet = parser.isSet("quiet");
  const bool win98 = parser.isSet(kWin98);
  const bool dryRun = parser.isSet(kDryRun);
  const common::ServerCheck mode =
      parser.isSet(kForce) ? common::ServerCheck::kForce : common::ServerCheck::kRefuse;

  cli::Interrupts::Watch();
  const common::ServerFolder server = common::ServerFolder::Program();
  cli::ConsoleMessages messages;
  ConverterState state;
  std::vector<common::JobResult> results;
  for (size_t i = 0; i < kinds.size(); ++i) {
    const KindName& k = *kinds[i];
    if (cli::Interrupts::Requested()) {
      // What was not done: the kinds after the one the interrupt stopped.
      std::string rest;
      for (size_t j = i; j < kinds.size(); ++j)
        rest += std::string(j > i ? ", " : "") + kinds[j]->label;
      cli::PrintErr(rest + ": not started (interrupted)");
      break;
    }
    const int16_t kindMax = max ? *max : static_cast<int16_t>(std::stoi(DefaultMaximum(k.page)));
    if (const std::optional<Notice> notice = CheckSource(server, k.page)) {
      cli::PrintErr(NoticeText(*notice));
      results.push_back(NotStarted(k.page, kindMax, notice->why));
      continue;
    }
    // A dry run writes nothing, so a running server is no reason to refuse.
    if (const common::Status s =
            dryRun ? common::Status::OK() : CheckServer(server, messages, mode);
        !s.ok()) {
      // The server stays up for the jobs after this one too: none of them
      // runs.
      cli::PrintErr(std::string(common::kServerRunningTitle) + ": " + kPromptServerRunning +
                    s.message() + " (server folder " + server.root() + ")");
      return cli::kExitFailed;
    }
    KindConsole events(quiet, k, dryRun);
    results.push_back(RunConversion(server, k.page, kindMax, win98, state, events, dryRun));
    if (dryRun) continue;
    // The change is made whatever becomes of its entry in the journal.
    if (const common::Status s = JournalConversion(server, results.back()); !s.ok()) {
      cli::PrintErr(std::string(k.label) + ": warning: not entered in the journal: " + s.message());
    }
  }
  cli::ConsoleJob(quiet, dryRun ? kDryRecords : kRecords).PrintTotal(results);
  return cli::ExitStatusOf(results);
}

}  // namespace vostrel
