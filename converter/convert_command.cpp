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

const QCommandLineOption kMax("max",
                              "Convert records 1 to N (default: 1000 for items and maps, 500 for "
                              "the others, as in the window).",
                              "N");
const QCommandLineOption kWin98("win98", "Convert maps in the format for Windows 98 (maps only).");
const QCommandLineOption kForce("force",
                                "Convert even while this folder's server.exe is running (without "
                                "it the command refuses, status 1, and converts nothing).");

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

void DefineOptions(QCommandLineParser& parser) {
  parser.addPositionalArgument("convert", "convert KIND...: run the conversions named.", "convert");
  parser.addPositionalArgument(
      "KIND", "items, spells, npcs, shops, signs, maps, or all (every kind, in tab order).",
      "KIND...");
  parser.addOption(kMax);
  parser.addOption(kWin98);
  parser.addOption(kForce);
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
