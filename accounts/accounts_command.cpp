#include "accounts/accounts_command.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "accounts/account_backup.h"
#include "accounts/account_list.h"
#include "accounts/accounts_state.h"
#include "accounts/character_view.h"
#include "accounts/inventory_wipe.h"
#include "common/cli/command_line.h"
#include "common/file_search.h"
#include "common/host_path.h"
#include "common/qt/ansi_text.h"
#include "common/server_layout.h"
#include "common/server_process.h"
#include "common/text_util.h"
#include "common/visible_text.h"

namespace calmet {

namespace {

namespace cli = common::cli;

const QString kJson = QStringLiteral("json");
const QString kYes = QStringLiteral("yes");
const QString kBackup = QStringLiteral("backup");
const QString kForce = QStringLiteral("force");

QString Text(const std::string& bytes) { return common::AnsiToQString(bytes); }

void PrintJson(const QJsonObject& object) { cli::PrintJson(QJsonDocument(object)); }

void PrintError(const std::string& text) {
  cli::PrintErr(QCoreApplication::applicationName().toStdString() + ": " + text);
}

// The window's start; nothing when the accounts folder cannot be read.
std::optional<AccountListing> Start(AccountsState& state, common::MessagePort& messages) {
  AccountListing listing = StartListing(state, messages);
  if (!listing.status.ok()) return std::nullopt;
  return listing;
}

// Where ACCOUNT is in the listing: the file of exactly that name (".ini" may
// be left off) first, otherwise the one file equal to it without regard to
// case, which is also how its listed name compares. Files differing only in
// case are different accounts, so a name that fits several is refused.
struct Lookup {
  int position = -1;
  std::vector<std::string> candidates;  // set when ambiguous
};

// A file name as `list` prints it: a name with control characters can be
// given the way it was shown.
bool SameFile(const std::string& file, const std::string& spelling, bool anyCase) {
  auto same = [&](const std::string& name) {
    return anyCase ? common::UpperAscii(name) == common::UpperAscii(spelling) : name == spelling;
  };
  if (same(file)) return true;
  const std::string shown = common::VisibleName(file);
  return shown != file && same(shown);
}

Lookup FindAccount(const AccountListing& listing, const QString& account) {
  // The argument as the terminal spelled it, and as the window's single-byte
  // text (what the list shows).
  std::vector<std::string> spellings = {account.toLocal8Bit().toStdString(),
                                        common::QStringToAnsi(account)};
  for (size_t i = 0, n = spellings.size(); i < n; ++i) spellings.push_back(spellings[i] + ".ini");
  Lookup found;
  for (const std::string& spelling : spellings) {
    for (size_t p = 0; p < listing.files.size(); ++p) {
      if (SameFile(listing.files[p], spelling, false)) {
        found.position = static_cast<int>(p);
        return found;
      }
    }
  }
  std::vector<int> matches;
  for (size_t p = 0; p < listing.files.size(); ++p) {
    for (const std::string& spelling : spellings) {
      if (SameFile(listing.files[p], spelling, true)) {
        matches.push_back(static_cast<int>(p));
        break;
      }
    }
  }
  if (matches.size() == 1) found.position = matches.front();
  if (matches.size() > 1) {
    for (int p : matches) found.candidates.push_back(listing.files[static_cast<size_t>(p)]);
  }
  return found;
}

QJsonObject CharacterJson(int position, const CharacterView& ch) {
  QJsonArray inventory, slotArray;
  for (const std::string& line : ch.inventory) inventory.append(Text(line));
  for (const SlotView& slot : ch.slotValues) {
    slotArray.append(QJsonObject{{"slot", slot.slot},
                                 {"item", static_cast<qint64>(slot.item)},
                                 {"name", Text(slot.name)},
                                 {"value", Text(slot.value)}});
  }
  return QJsonObject{{"position", position},     {"caption", Text(ch.caption)},
                     {"name", Text(ch.name)},    {"level", Text(ch.level)},
                     {"strength", Text(ch.str)}, {"defense", Text(ch.def)},
                     {"speed", Text(ch.spd)},    {"magic", Text(ch.magi)},
                     {"inventory", inventory},   {"slots", slotArray}};
}

QJsonObject AccountJson(const AccountListing& listing, int position, const AccountView& view) {
  QJsonArray characters;
  for (int c = 0; c < kCharacters; ++c) characters.append(CharacterJson(c + 1, view.characters[c]));
  return QJsonObject{{"name", Text(listing.lines[static_cast<size_t>(position)])},
                     {"file", Text(listing.files[static_cast<size_t>(position)])},
                     {"characters", characters}};
}

void PrintView(const AccountView& view) {
  for (int c = 0; c < kCharacters; ++c) {
    const CharacterView& ch = view.characters[c];
    if (c > 0) cli::PrintOut("");
    cli::PrintOut(ch.caption);
    cli::PrintOut("  Strength: " + ch.str);
    cli::PrintOut("  Defense: " + ch.def);
    cli::PrintOut("  Speed: " + ch.spd);
    cli::PrintOut("  Magic: " + ch.magi);
    for (const std::string& line : ch.inventory) cli::PrintOut("  " + line);
  }
}

// Reports an account the view could not read, as the window's box does.
void ShowUnreadable(const AccountView& view, common::MessagePort& messages) {
  messages.Show(std::string(kAccountUnreadable) + "\n" + common::VisibleName(view.status.message()),
                kAccountUnreadableTitle, common::MsgButtons::Ok, common::MsgIcon::Stop);
}

int List(const AccountListing& listing, bool json, bool quiet) {
  if (json) {
    QJsonArray accounts;
    for (size_t p = 0; p < listing.files.size(); ++p) {
      accounts.append(
          QJsonObject{{"name", Text(listing.lines[p])}, {"file", Text(listing.files[p])}});
    }
    PrintJson(QJsonObject{{"label", Text(listing.label)}, {"accounts", accounts}});
  } else {
    for (const std::string& line : listing.lines) cli::PrintOut(line);
  }
  if (!quiet) cli::PrintErr(listing.label);
  return cli::kExitDone;
}

int Show(const AccountListing& listing, const AccountsState& state, const QString& account,
         bool json, common::MessagePort& messages) {
  const Lookup found = FindAccount(listing, account);
  if (!found.candidates.empty()) {
    std::string names;
    for (const std::string& file : found.candidates) names += " " + file;
    return cli::UsageError("ACCOUNT " + account +
                           " fits several account files; give one of:" + Text(names));
  }
  if (found.position < 0) {
    PrintError("no account " + common::QStringToAnsi(account) + " in " +
               common::ResolvePath(common::layout::ServerPath(common::layout::kAccountsFolder)));
    return cli::kExitFailed;
  }
  // Nothing sets WipeInProgress here, so there is always a view.
  const std::optional<AccountView> view =
      ShowAccount(listing.files[static_cast<size_t>(found.position)], state);
  if (!view || !view->status.ok()) {
    if (view) ShowUnreadable(*view, messages);
    return cli::kExitFailed;
  }
  if (json) {
    PrintJson(AccountJson(listing, found.position, *view));
  } else {
    PrintView(*view);
  }
  return cli::kExitDone;
}

int Find(const AccountListing& listing, const AccountsState& state, const QString& text, bool json,
         bool quiet, common::MessagePort& messages) {
  cli::ProgressLine progress(quiet);
  progress.Begin("Accounts searched");
  const int total = static_cast<int>(listing.files.size());
  std::vector<int> matches;
  // Shown once the progress line has ended, so that they do not break it.
  std::vector<AccountView> unreadable;
  for (int p = 0; p < total; ++p) {
    // Names only: a search reads no item file.
    std::optional<AccountView> view =
        ShowAccount(listing.files[static_cast<size_t>(p)], state, ViewDepth::kCharactersOnly);
    if (view && !view->status.ok()) {
      unreadable.push_back(std::move(*view));
    } else if (view) {
      for (const CharacterView& ch : view->characters) {
        if (!ch.name.empty() && Text(ch.name).contains(text, Qt::CaseInsensitive)) {
          matches.push_back(p);
          break;
        }
      }
    }
    progress.Update(p + 1, total);
  }
  progress.End("done");
  for (const AccountView& view : unreadable) ShowUnreadable(view, messages);
  bool skipped = !unreadable.empty();

  if (json) {
    QJsonArray accounts;
    for (int p : matches) {
      const std::optional<AccountView> view =
          ShowAccount(listing.files[static_cast<size_t>(p)], state);
      if (!view || !view->status.ok()) {
        // Changed since it was searched.
        if (view) ShowUnreadable(*view, messages);
        skipped = true;
        continue;
      }
      accounts.append(AccountJson(listing, p, *view));
    }
    PrintJson(QJsonObject{{"text", text}, {"accounts", accounts}});
  } else {
    for (int p : matches) cli::PrintOut(listing.lines[static_cast<size_t>(p)]);
  }
  if (!quiet) {
    cli::PrintErr(matches.empty()
                      ? std::string("No accounts found.")
                      : "Accounts found: " + common::Dec(static_cast<int32_t>(matches.size())));
  }
  return skipped ? cli::kExitSkipped : cli::kExitDone;
}

// The wipe's window on a console: the bar becomes a progress line, which
// ends before any box is printed.
class ConsoleWipeUi : public WipeUi, public common::MessagePort {
 public:
  ConsoleWipeUi(bool quiet, int total, std::optional<common::MsgAnswer> preset)
      : progress_(quiet), messages_(preset), total_(total) {}
  void SelectAccount(int position) override { position_ = position; }
  void SetProgress(float) override {
    if (!begun_) {
      progress_.Begin("Accounts wiped");
      begun_ = true;
    }
    progress_.Update(position_ + 1, total_);
  }
  common::MessagePort& Messages() override { return *this; }
  common::MsgAnswer Show(const std::string& prompt, const std::string& title,
                         common::MsgButtons buttons, common::MsgIcon icon) override {
    progress_.End(icon == common::MsgIcon::Stop ? "not all written" : "done");
    return messages_.Show(prompt, title, buttons, icon);
  }

 private:
  cli::ProgressLine progress_;
  cli::ConsoleMessages messages_;
  int total_;
  int position_ = 0;
  bool begun_ = false;
};

int Wipe(const QCommandLineParser& parser, const AccountListing& listing, AccountsState& state) {
  const bool yes = parser.isSet(kYes);
  ConsoleWipeUi ui(parser.isSet("quiet"), state.TotalAccounts,
                   yes ? std::optional(common::MsgAnswer::Yes) : std::nullopt);
  std::function<common::Status()> backup;
  BackupResult backedUp;
  if (parser.isSet(kBackup)) {
    const QString dir = QDir::cleanPath(QDir::current().absoluteFilePath(parser.value(kBackup)));
    backup = [&listing, &backedUp, dir, quiet = parser.isSet("quiet")] {
      cli::ProgressLine progress(quiet);
      progress.Begin("Accounts backed up");
      const common::Status s = BackUpAccounts(
          listing, dir.toLocal8Bit().toStdString(), &backedUp,
          [&progress](int32_t done, int32_t total) { progress.Update(done, total); });
      progress.End(s.ok() ? "done" : "failed");
      return s;
    };
  }
  // The server check comes first, before the backup and the first write.
  const common::ServerCheck serverCheck =
      parser.isSet(kForce) ? common::ServerCheck::kForce : common::ServerCheck::kRefuse;
  const WipeClickResult click = WipeClick(
      listing, state, ui,
      [&] {
        common::Status s = common::CheckServerBeforeWrite(ui.Messages(), serverCheck);
        if (s.ok() && backup) s = backup();
        return s;
      },
      parser.isSet(kBackup) ? &backedUp : nullptr);
  switch (click.outcome) {
    case WipeClickOutcome::kDeclined:
      PrintError("nothing was wiped.");
      return cli::kExitFailed;
    case WipeClickOutcome::kNotStarted:
    case WipeClickOutcome::kIncomplete:
      return cli::kExitFailed;
    case WipeClickOutcome::kNothing:
    case WipeClickOutcome::kWiped:
      break;
  }
  return cli::kExitDone;
}

}  // namespace

const cli::Manual& Manual() {
  static const cli::Manual manual{
      "Calmet",
      "list a game server's accounts, show their characters and empty their inventories",
      "Calmet lists the account files of a game server's folder, shows the three characters "
      "of an account with their stats and inventories, finds accounts by their characters' "
      "names, and can empty every inventory of every account. Without a command it opens its "
      "window; with a command it does the same with no display at all.\n\n"
      "ACCOUNT is an account's file name or its listed name, without regard to case; \".ini\" "
      "may be left off. A name that fits several files only when case is ignored is refused.",
      {"[--server-dir DIR]", "list [--json] [--server-dir DIR]",
       "show ACCOUNT [--json] [--server-dir DIR]", "find TEXT [--json] [--server-dir DIR]",
       "wipe [--yes] [--backup DIR] [--force] [--server-dir DIR]"},
      {{"list", "", "Print the listed names of the account files, one a line (the count on "
                    "standard error)."},
       {"show", "ACCOUNT",
        "Print the account's three characters, their stats and inventories, as the window "
        "shows them.",
        cli::Completion::kAccounts},
       {"find", "TEXT",
        "Print the accounts with a character whose name holds TEXT, without regard to case; "
        "status 3 when some accounts could not be read."},
       {"wipe", "",
        "Empty every inventory of every account, after asking on the terminal (status 2 when "
        "standard input is not one and --yes is not given; 1 when some accounts could not be "
        "written, the answer was No, or this folder's server.exe is running without "
        "--force)."}},
      {{"json", nullptr,
        "list, show, find: print JSON instead of text: the window's texts and beside them the "
        "name, level and, per slot, {slot, item, name, value}.",
        "list show find"},
       {"yes", nullptr, "wipe: answer Yes to the question instead of asking.", "wipe"},
       {"backup", "DIR",
        "wipe: first copy every account file into DIR (relative to the current folder; made "
        "private to its owner when new). A file of the same name with other content is never "
        "replaced, and the wipe then does not start.",
        "wipe", cli::Completion::kFolder},
       {"force", nullptr,
        "wipe: wipe even while this folder's server.exe is running (without it the wipe "
        "refuses, status 1, and changes nothing).",
        "wipe"}},
      {},
      {{0, "done"},
       {1, "failed (an account not found or unreadable, a write that failed or an account left "
           "alone, the answer No, this folder's server running)"},
       {2, "bad usage (also a wipe with no terminal to ask on and no --yes)"},
       {3, "done, but some accounts could not be read"}},
      {{"Accounts/*.ini",
        "The account files. Read by list, show and find. The wipe sets every inventory slot "
        "of every character to empty and rewrites each file through a hidden temporary file "
        "that is flushed and renamed over it, keeping the file's owner, group, permissions "
        "and extended attributes; where the system does not allow that, the file is "
        "rewritten in place. A file with more than one name is always rewritten in place."},
       {"Items/ItemN.dat", "Read by show for the names of the items in the inventories."},
       {"DIR (--backup)",
        "A copy of every account file, flushed and compared with the original before the "
        "first account is wiped; when that fails nothing is wiped. An entry there that is a "
        "link, a FIFO or another account's file is refused. An account is wiped only when "
        "what the wipe read is what was copied."}},
      {},
      {{"list --server-dir /srv/game", "List the accounts of the server in /srv/game:"},
       {"show alice --json --server-dir /srv/game", "Show the account alice as JSON:"},
       {"find thorn --server-dir /srv/game",
        "Find the accounts with a character whose name holds thorn:"},
       {"wipe --yes --backup /srv/backup/2026-12-07 --server-dir /srv/game",
        "Back up every account, then empty every inventory without asking:"}},
      {"Vostrel(1)", "Ruvane(1)"},
      "calmet",
      "Game Account Inspector",
      "game;server;accounts;characters;inventory;",
  };
  return manual;
}

int RunCommand(QCommandLineParser& parser) {
  QStringList args = parser.positionalArguments();
  if (args.isEmpty()) return cli::UsageError("no command given");
  const QString command = args.takeFirst();
  const bool json = parser.isSet(kJson);
  const bool quiet = parser.isSet("quiet");

  if (command == "list" || command == "wipe") {
    if (!args.isEmpty()) return cli::UsageError(command + " takes no argument: " + args.first());
  } else if (command == "show" || command == "find") {
    const char* what = command == "show" ? "ACCOUNT" : "TEXT";
    if (args.isEmpty() || args.first().isEmpty())
      return cli::UsageError(command + " needs " + what);
    if (args.size() > 1) return cli::UsageError(command + " takes one " + what + ": " + args[1]);
  } else {
    return cli::UsageError("unknown command " + command);
  }
  if (command == "wipe" && json) return cli::UsageError("wipe takes no --json");
  if (command != "wipe" && (parser.isSet(kYes) || parser.isSet(kBackup) || parser.isSet(kForce))) {
    return cli::UsageError("--yes, --backup and --force go with wipe only");
  }
  if (command == "wipe" && parser.isSet(kBackup) && parser.value(kBackup).isEmpty()) {
    return cli::UsageError("--backup needs a folder");
  }
  // A script must not hang on a question no one can answer.
  if (command == "wipe" && !parser.isSet(kYes) && !cli::InputIsTerminal()) {
    return cli::UsageError(
        "wipe asks before it empties every inventory, and standard input is "
        "not a terminal to answer on; give --yes to wipe without asking");
  }

  AccountsState state;
  cli::ConsoleMessages messages;
  const std::optional<AccountListing> listing = Start(state, messages);
  if (!listing) return cli::kExitFailed;
  if (command == "list") return List(*listing, json, quiet);
  if (command == "show") return Show(*listing, state, args.first(), json, messages);
  if (command == "find") return Find(*listing, state, args.first(), json, quiet, messages);
  return Wipe(parser, *listing, state);
}

}  // namespace calmet
