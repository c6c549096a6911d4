#include "converter/convert_command.h"

#include <csignal>
#include <vector>

#include "common/cli/command_line.h"
#include "converter/converter_state.h"
#include "converter/map_job.h"
#include "converter/profile_jobs.h"

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

volatile std::sig_atomic_t gInterrupted = 0;

// The window's JobUi on a console: the status and count become a progress
// line, boxes are printed, and an interrupt stops the job after the record
// at hand, as closing the window does.
class ConsoleJobUi : public JobUi {
 public:
  ConsoleJobUi(bool quiet, bool force) : progress_(quiet), force_(force) {}
  void Begin(const char* label) { label_ = label; }
  void PumpEventsOnce() override {}
  void SetProgress(uint8_t) override {}
  void SetCount(int32_t n, int32_t max) override { progress_.Update(n, max); }
  void SetStatus(Page, const std::string& caption) override {
    if (caption == kStatusInitiated) {
      progress_.Begin(label_);
    } else {
      progress_.End(caption);
    }
  }
  bool StopRequested() override { return gInterrupted != 0; }
  common::MessagePort& Messages() override { return messages_; }
  // No one to ask: refuse unless --force.
  common::ServerCheck ServerCheckMode() override {
    return force_ ? common::ServerCheck::kForce : common::ServerCheck::kRefuse;
  }
  void Stopped() { progress_.End("stopped"); }

 private:
  cli::ProgressLine progress_;
  cli::ConsoleMessages messages_;
  bool force_;
  const char* label_ = "";
};

void OnInterrupt(int) { gInterrupted = 1; }

}  // namespace

const cli::Manual& Manual() {
  static const cli::Manual manual{
      "Vostrel",
      "convert a game server's legacy world data into one file per record",
      "Vostrel converts the legacy world data of a game server's folder (items.ini, "
      "spells.ini, signs.ini, shops.ini, npcs.ini and the maps) into one file per record. "
      "Without a command it opens its window, with a page for each kind of data; with a "
      "command it runs the same jobs with no display at all.\n\n"
      "Progress goes to standard error: on a terminal one line per job, redrawn with the count "
      "and a bar; in a log a line at every tenth. Every message the window would show in a "
      "box is printed as \"<title>: <text>\", and nothing waits for a click. An interrupt "
      "(Ctrl-C, SIGTERM) stops a conversion after the record at hand, as closing the window "
      "does.",
      {"[--server-dir DIR]",
       "convert KIND... [--max N] [--win98] [--force] [--server-dir DIR] [--quiet]"},
      {{"convert", "KIND...",
        "Run the conversions named: items, spells, signs, shops, npcs, maps, or all (every "
        "kind, in the window's tab order).",
        cli::Completion::kWords}},
      {{"max", "N",
        "Convert records 1 to N, read as the window's Max boxes read it (default: 1000 for "
        "items and maps, 500 for the others). A refused maximum runs nothing.",
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
      {{0, "done"},
       {1, "failed (a file not found, a write that failed, a job that stopped, this folder's "
           "server running)"},
       {2, "bad usage"},
       {3, "done with records skipped (a record that failed, or a file the tools refuse to "
           "touch, such as a link the operator did not make)"}},
      {{"items.ini, spells.ini, signs.ini, npcs.ini",
        "Read; each record N becomes Items/ItemN.dat, Spells/SpellN.dat, Signs/SignN.dat or "
        "NPCs/NPCN.dat, written over an older one. A missing folder is made."},
       {"shops.ini",
        "Read; each record N is written into Shops/ShopN.dat, a profile file that is edited "
        "(other sections are kept) and replaced through a hidden temporary file, so that a "
        "crash never leaves it half-written."},
       {"maps/mapN.dat", "Read; each map N becomes newmaps/mapN.dat (in the Windows 98 layout "
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

  const bool quiet = parser.isSet("quiet");
  ConsoleJobUi ui(quiet, parser.isSet(kForce));
  // A refused maximum runs nothing at all, whichever kind comes first.
  const bool maxGiven = parser.isSet(kMax);
  const std::string maxText = parser.value(kMax).toStdString();
  if (maxGiven) {
    if (maxText.empty()) return cli::UsageError("--max needs a number");
    if (!ReadMaximum(maxText, ui)) return cli::kExitUsage;
  }

  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  ConverterState state;
  bool failed = false, skipped = false;
  for (const KindName* k : kinds) {
    ui.Begin(k->label);
    const std::string text = maxGiven ? maxText : DefaultMaximum(k->page);
    const JobOutcome outcome = k->page == Page::Maps
                                   ? MapConvertClick(state, text, parser.isSet(kWin98) ? 1 : 0, ui)
                                   : ConvertClick(state, k->page, text, ui);
    // The server stays up for the jobs after this one too: none of them runs.
    if (outcome == JobOutcome::kServerRunning) return cli::kExitFailed;
    failed |= outcome == JobOutcome::kFailed || outcome == JobOutcome::kRefused;
    skipped |= outcome == JobOutcome::kSkipped;
    if (ui.StopRequested()) {
      ui.Stopped();
      return cli::kExitFailed;
    }
  }
  if (failed) return cli::kExitFailed;
  return skipped ? cli::kExitSkipped : cli::kExitDone;
}

}  // namespace vostrel
