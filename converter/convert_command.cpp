#include "converter/convert_command.h"

#include <optional>
#include <string>
#include <vector>

#include "common/cli/command_line.h"
#include "common/cli/job_console.h"
#include "common/server_folder.h"
#include "common/text_util.h"
#include "converter/conversion.h"
#include "converter/converter_state.h"

namespace vostrel {

namespace {

namespace cli = common::cli;

const QString kMax = QStringLiteral("max");
const QString kWin98 = QStringLiteral("win98");
const QString kForce = QStringLiteral("force");

struct KindName {
  const char* name;
  Page page;
  const char* label;  // the progress line's name
};

// In the window's tab order, which `all` follows.
const KindName kKindNames[] = {
    {"items", Page::Items, "Items"}, {"spells", Page::Spells, "Spells"},
    {"signs", Page::Signs, "Signs"}, {"shops", Page::Shops, "Shops"},
    {"npcs", Page::NPCs, "NPCs"},    {"maps", Page::Maps, "Maps"},
};

constexpr cli::ItemWords kRecords{"record", "records", "written"};
constexpr cli::ItemWords kMaps{"map", "maps", "written"};

const cli::ItemWords& WordsOf(Page page) { return page == Page::Maps ? kMaps : kRecords; }

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
  KindConsole(bool quiet, const KindName& kind)
      : ConsoleJob(quiet, WordsOf(kind.page)), kind_(kind) {
    Label(kind.label);
  }
  void ItemProblem(const common::ItemProblem& p) override {
    std::string line = std::string(kind_.label) + ": " + WordsOf(kind_.page).one + " " +
                       common::Dec(p.item) +
                       (p.kind == common::ItemProblem::Kind::kSkipped ? " skipped" : " failed");
    if (!p.name.empty()) line += " (" + p.name + ")";
    Note(line + ": " + p.why.message());
    ConsoleJob::ItemProblem(p);
  }

 private:
  const KindName& kind_;
};

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
      "with --quiet.",
      {"[--server-dir DIR]",
       "convert KIND... [--max N] [--win98] [--force] [--server-dir DIR] [--quiet]"},
      {{"convert", "KIND...",
        "Run the conversions named: items, spells, signs, shops, npcs, maps, or all (every "
        "kind, in the window's tab order).",
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
        "convert"}},
      [] {
        std::vector<const char*> words;
        for (const KindName& k : kKindNames) words.push_back(k.name);
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
      if (wanted == "all" || wanted == k.name) {
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
    if (const common::Status s = CheckServer(server, messages, mode); !s.ok()) {
      // The server stays up for the jobs after this one too: none of them
      // runs.
      cli::PrintErr(std::string(common::kServerRunningTitle) + ": " + kPromptServerRunning +
                    s.message() + " (server folder " + server.root() + ")");
      return cli::kExitFailed;
    }
    KindConsole events(quiet, k);
    results.push_back(RunConversion(server, k.page, kindMax, win98, state, events));
  }
  cli::ConsoleJob(quiet, kRecords).PrintTotal(results);
  return cli::ExitStatusOf(results);
}

}  // namespace vostrel
