#include "accounts/accounts_command.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <csignal>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "accounts/account_backup.h"
#include "accounts/account_find.h"
#include "accounts/account_list.h"
#include "accounts/account_restore.h"
#include "accounts/accounts_state.h"
#include "accounts/character_view.h"
#include "accounts/inventory_wipe.h"
#include "accounts/wipe_backup.h"
#include "common/cli/command_line.h"
#include "common/cli/job_console.h"
#include "common/qt/ansi_text.h"
#include "common/qt/journal.h"
#include "common/server_folder.h"
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
const QString kNoBackup = QStringLiteral("no-backup");
const QString kSince = QStringLiteral("since");
const QString kItem = QStringLiteral("item");

// The version of the JSON shape `list`, `show` and `find` print
// (docs/json.md): raised whenever a key changes its meaning or type or goes.
constexpr int kJsonVersion = 1;

QString Text(const std::string& bytes) { return common::AnsiToQString(bytes); }

void PrintJson(const QJsonObject& object) { cli::PrintJson(QJsonDocument(object)); }

void PrintError(const std::string& text) {
  cli::PrintErr(QCoreApplication::applicationName().toStdString() + ": " + text);
}

// The window's start, its boxes printed with the folder they are about;
// nothing when the accounts folder cannot be read.
std::optional<AccountListing> Start(const common::ServerFolder& server, AccountsState& state,
                                    common::MessagePort& messages) {
  AccountsStart start = StartListing(server, state);
  for (const Box& box : start.boxes) ShowBox(messages, box, true);
  if (!start.listing.status.ok()) return std::nullopt;
  return std::move(start.listing);
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

// JSON values of the shape in docs/json.md. A number is read from the
// account file by the view's rule (ConvertLong, ConvertByte); a value that
// is missing, empty or no number there is null, and its text as the file
// holds it stays in "texts", so that a player's "12abc" neither breaks the
// shape nor is lost.
QJsonValue Number(std::optional<int32_t> n) {
  return n ? QJsonValue(static_cast<qint64>(*n)) : QJsonValue(QJsonValue::Null);
}
QJsonValue Number(std::optional<uint8_t> n) {
  return n ? QJsonValue(static_cast<int>(*n)) : QJsonValue(QJsonValue::Null);
}
QJsonValue TextOrNull(const std::string& bytes) {
  return bytes.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(Text(bytes));
}
QString HostText(const std::string& path) { return QString::fromLocal8Bit(path); }

QJsonObject CharacterJson(int position, const CharacterView& ch) {
  QJsonArray inventory, slotArray;
  for (const std::string& line : ch.inventory) inventory.append(Text(line));
  for (const SlotView& slot : ch.slotValues) {
    slotArray.append(QJsonObject{
        {"slot", slot.slot},
        {"item", static_cast<qint64>(slot.item)},
        {"name", slot.item == 0 ? QJsonValue(QJsonValue::Null) : TextOrNull(slot.name)},
        {"value", Number(ConvertLong(slot.value))},
        {"texts", QJsonObject{{"item", Text(slot.itemText)}, {"value", Text(slot.value)}}}});
  }
  const QJsonObject texts{{"access", Text(ch.access)}, {"level", Text(ch.level)},
                          {"strength", Text(ch.str)},  {"defense", Text(ch.def)},
                          {"speed", Text(ch.spd)},     {"magic", Text(ch.magi)}};
  return QJsonObject{{"position", position},
                     {"caption", Text(ch.caption)},
                     {"name", TextOrNull(ch.name)},
                     {"access", Number(ConvertByte(ch.access))},
                     {"level", Number(ConvertLong(ch.level))},
                     {"strength", Number(ConvertLong(ch.str))},
                     {"defense", Number(ConvertLong(ch.def))},
                     {"speed", Number(ConvertLong(ch.spd))},
                     {"magic", Number(ConvertLong(ch.magi))},
                     {"texts", texts},
                     {"inventory", inventory},
                     {"slots", slotArray}};
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

int List(const AccountListing& listing, bool json, bool quiet) {
  if (json) {
    QJsonArray accounts;
    for (size_t p = 0; p < listing.files.size(); ++p) {
      accounts.append(
          QJsonObject{{"name", Text(listing.lines[p])}, {"file", Text(listing.files[p])}});
    }
    PrintJson(QJsonObject{{"version", kJsonVersion},
                          {"folder", HostText(listing.folder)},
                          {"count", static_cast<qint64>(listing.files.size())},
                          {"label", Text(listing.label)},
                          {"accounts", accounts}});
  } else {
    for (const std::string& line : listing.lines) cli::PrintOut(line);
  }
  if (!quiet) cli::PrintErr(listing.label);
  return cli::kExitDone;
}

int Show(const common::ServerFolder& server, const AccountListing& listing, const QString& account,
         bool json, common::MessagePort& messages) {
  const Lookup found = FindAccount(listing, account);
  if (!found.candidates.empty()) {
    std::string names;
    for (const std::string& file : found.candidates) names += " " + file;
    return cli::UsageError("ACCOUNT " + account +
                           " fits several account files; give one of:" + Text(names));
  }
  if (found.position < 0) {
    PrintError("no account " + common::QStringToAnsi(account) + " in " + listing.folder);
    return cli::kExitFailed;
  }
  const AccountView view = ShowAccount(server, listing.files[static_cast<size_t>(found.position)]);
  if (!view.status.ok()) {
    ShowBox(messages, UnreadableBox(view.status), true);
    return cli::kExitFailed;
  }
  if (json) {
    QJsonObject object = AccountJson(listing, found.position, view);
    object.insert("version", kJsonVersion);
    object.insert("folder", HostText(listing.folder));
    PrintJson(object);
  } else {
    PrintView(view);
  }
  return cli::kExitDone;
}

int Find(const common::ServerFolder& server, const AccountListing& listing, const QString& text,
         bool json, bool quiet, common::MessagePort& messages) {
  cli::ConsoleJob events(quiet, {"account", "accounts", "searched"});
  events.Label("Search");
  std::vector<int> matches;
  common::JobResult search = FindAccounts(
      server, listing,
      [&text](std::string_view name) {
        return Text(std::string(name)).contains(text, Qt::CaseInsensitive);
      },
      events, &matches);
  // Shown once the progress line has ended, so that they do not break it.
  for (const common::ItemProblem& problem : search.problems) {
    ShowBox(messages, UnreadableBox(problem.why), true);
  }

  if (json) {
    const AccountReader reader(server);
    QJsonArray accounts, problems;
    for (int p : matches) {
      const AccountView view = reader.Show(listing.files[static_cast<size_t>(p)]);
      if (!view.status.ok()) {
        // Changed since it was searched.
        ShowBox(messages, UnreadableBox(view.status), true);
        search.problems.push_back({p + 1, listing.lines[static_cast<size_t>(p)], view.status,
                                   common::ItemProblem::Kind::kSkipped});
        continue;
      }
      accounts.append(AccountJson(listing, p, view));
    }
    for (const common::ItemProblem& problem : search.problems) {
      problems.append(
          QJsonObject{{"name", Text(problem.name)},
                      {"file", Text(listing.files[static_cast<size_t>(problem.item - 1)])},
                      {"reason", Text(problem.why.message())}});
    }
    PrintJson(QJsonObject{{"version", kJsonVersion},
                          {"folder", HostText(listing.folder)},
                          {"text", text},
                          {"searched", static_cast<qint64>(search.done)},
                          {"count", static_cast<qint64>(accounts.size())},
                          {"accounts", accounts},
                          {"problems", problems}});
  } else {
    for (int p : matches) cli::PrintOut(listing.lines[static_cast<size_t>(p)]);
  }
  if (!quiet) {
    cli::PrintErr(matches.empty()
                      ? std::string("No accounts found.")
                      : "Accounts found: " + common::Dec(static_cast<int32_t>(matches.size())));
  }
  return cli::ExitStatusOf({search});
}

// Who holds item `item`: one line per slot, "<account>: <character>, slot
// <n> (<value>)".
int FindItem(const common::ServerFolder& server, const AccountListing& listing, int32_t item,
             bool json, bool quiet, common::MessagePort& messages) {
  cli::ConsoleJob events(quiet, {"account", "accounts", "searched"});
  events.Label("Search");
  std::vector<ItemHolder> holders;
  const common::JobResult search = FindItemHolders(server, listing, item, events, &holders);
  for (const common::ItemProblem& problem : search.problems) {
    ShowBox(messages, UnreadableBox(problem.why), true);
  }
  if (json) {
    QJsonArray list, problems;
    for (const ItemHolder& h : holders) {
      const size_t at = static_cast<size_t>(h.position);
      list.append(QJsonObject{{"name", Text(listing.lines[at])},
                              {"file", Text(listing.files[at])},
                              {"character", h.character},
                              {"character_name", TextOrNull(h.characterName)},
                              {"slot", h.slot},
                              {"value", Number(ConvertLong(h.value))},
                              {"texts", QJsonObject{{"value", Text(h.value)}}}});
    }
    for (const common::ItemProblem& problem : search.problems) {
      problems.append(
          QJsonObject{{"name", Text(problem.name)},
                      {"file", Text(listing.files[static_cast<size_t>(problem.item - 1)])},
                      {"reason", Text(problem.why.message())}});
    }
    PrintJson(QJsonObject{{"version", kJsonVersion},
                          {"folder", HostText(listing.folder)},
                          {"item", static_cast<qint64>(item)},
                          {"searched", static_cast<qint64>(search.done)},
                          {"count", static_cast<qint64>(holders.size())},
                          {"holders", list},
                          {"problems", problems}});
  } else {
    for (const ItemHolder& h : holders) {
      const std::string who =
          h.characterName.empty() ? DefaultCaption(h.character) : h.characterName;
      cli::PrintOut(listing.lines[static_cast<size_t>(h.position)] + ": " + who + ", slot " +
                    common::Dec(h.slot) + " (" + h.value + ")");
    }
  }
  if (!quiet) {
    cli::PrintErr(holders.empty() ? "No one holds item " + common::Dec(item) + "."
                                  : "Slots holding item " + common::Dec(item) + ": " +
                                        common::Dec(static_cast<int64_t>(holders.size())));
  }
  return cli::ExitStatusOf({search});
}

// The status of an interrupted command: 128 + the signal.
std::optional<int> Interrupted() {
  if (!cli::Interrupts::Requested()) return std::nullopt;
  return 128 + cli::Interrupts::Signal();
}

// The line a change made through the journal ends with; a journal that
// cannot be written is only a warning, the change stands.
void Journal(const common::ServerFolder& server, const common::JournalEntry& entry) {
  if (common::Status s = common::AppendJournal(server, entry); !s.ok()) {
    PrintError("warning: the journal was not written: " + s.message());
  }
}

std::string StoppedBy() {
  return std::string("stopped by ") + (cli::Interrupts::Signal() == SIGINT ? "SIGINT" : "SIGTERM");
}

std::string HostPathOf(const QString& given) {
  return QDir::cleanPath(QDir::current().absoluteFilePath(given)).toLocal8Bit().toStdString();
}

int Wipe(const QCommandLineParser& parser, const common::ServerFolder& server,
         const AccountListing& listing) {
  const bool yes = parser.isSet(kYes);
  const bool quiet = parser.isSet("quiet");
  // From here an interrupt stops the backup or the wipe between two
  // accounts, and the command says what was done.
  cli::Interrupts::Watch();
  cli::ConsoleMessages messages(yes ? std::optional(common::MsgAnswer::Yes) : std::nullopt);
  cli::ConsoleJob wipeEvents(quiet, {"account", "accounts", "wiped"});
  wipeEvents.Label("Wipe");
  const bool withBackup = !parser.isSet(kNoBackup);
  // Without --backup, a new folder below Backups of the server folder.
  const std::string backupDir = parser.isSet(kBackup) ? HostPathOf(parser.value(kBackup)) : "";
  WipeBackup backup;
  // The server check comes first, before the backup and the first write.
  const common::ServerCheck serverCheck =
      parser.isSet(kForce) ? common::ServerCheck::kForce : common::ServerCheck::kRefuse;
  const WipeClickResult click = WipeClick(
      server, listing, messages, wipeEvents,
      [&] {
        common::Status s = common::CheckServerBeforeWrite(messages, serverCheck);
        if (s.ok() && withBackup) {
          cli::ConsoleJob backupEvents(quiet, {"account", "accounts", "backed up"});
          backupEvents.Label("Backup");
          s = backup.Make(server, listing, backupDir, backupEvents);
          if (s.ok()) {
            PrintError("the accounts are backed up in " + backup.host());
          }
        }
        if (s.ok() && cli::Interrupts::Requested()) {
          s = common::Status::Aborted(StoppedBy() + " before the first account");
        }
        return s;
      },
      withBackup ? &backup.copies() : nullptr, withBackup ? backup.written() : nullptr);
  if (const std::optional<Box> box = ClickBox(click, listing)) ShowBox(messages, *box, true);
  if (click.wipe.started) {
    // A wipe that started had its backup made first, when one was asked for.
    for (const std::string& warning :
         RecordWipe(server, click.wipe, withBackup ? &backup : nullptr)) {
      PrintError("warning: " + warning);
    }
  }
  switch (click.outcome) {
    case WipeClickOutcome::kDeclined:
      PrintError("nothing was wiped.");
      return Interrupted().value_or(cli::kExitFailed);
    case WipeClickOutcome::kNotStarted:
      return Interrupted().value_or(cli::kExitFailed);
    case WipeClickOutcome::kNothing:
      return cli::kExitDone;
    case WipeClickOutcome::kWiped:
    case WipeClickOutcome::kIncomplete:
      break;
  }
  // Every account the wipe left alone fails the command: the operator asked
  // for all of them.
  const int status = cli::ExitStatusOf({click.wipe});
  return status == cli::kExitSkipped ? cli::kExitFailed : status;
}

int Restore(const QCommandLineParser& parser, const common::ServerFolder& server,
            const QString& given) {
  const bool yes = parser.isSet(kYes);
  const bool quiet = parser.isSet("quiet");
  cli::Interrupts::Watch();
  cli::ConsoleMessages messages(yes ? std::optional(common::MsgAnswer::Yes) : std::nullopt);
  const std::string hostDir = HostPathOf(given);
  common::Folder folder;
  if (common::Status s = common::OpenFolder(hostDir, &folder); !s.ok()) {
    PrintError(s.message() + "; nothing was restored.");
    return cli::kExitFailed;
  }
  // A backup that is not what its manifest says is not put back at all:
  // half of it would be worse than none.
  const CheckedBackup checked = CheckBackup(folder);
  if (!checked.status.ok()) {
    PrintError(checked.status.message() + "; nothing was restored.");
    return cli::kExitFailed;
  }
  if (!checked.mismatches.empty()) {
    std::string text = "Nothing was restored. These files are not what its manifest lists:";
    for (const std::string& m : checked.mismatches) text += "\n" + m;
    ShowBox(messages, {text, kBackupMismatchTitle, common::MsgIcon::Stop, hostDir}, true);
    return cli::kExitFailed;
  }
  if (messages.Show(kRestoreQuestion, kRestoreQuestionTitle, common::MsgButtons::YesNo,
                    common::MsgIcon::None) != common::MsgAnswer::Yes) {
    PrintError("nothing was restored.");
    return Interrupted().value_or(cli::kExitFailed);
  }
  const bool force = parser.isSet(kForce);
  common::Status s = common::CheckServerBeforeWrite(
      messages, force ? common::ServerCheck::kForce : common::ServerCheck::kRefuse);
  if (s.ok() && cli::Interrupts::Requested()) {
    s = common::Status::Aborted(StoppedBy() + " before the first account");
  }
  if (!s.ok()) {
    PrintError(s.message() + "; nothing was restored.");
    return Interrupted().value_or(cli::kExitFailed);
  }
  cli::ConsoleJob events(quiet, {"account", "accounts", "restored"});
  events.Label("Restore");
  std::vector<std::string> notes;
  const common::JobResult result = RestoreAccounts(server, checked, force, events, &notes);
  for (const std::string& note : notes) PrintError(note);
  ShowBox(messages, RestoreReport(result, hostDir), true);
  if (result.started) {
    common::JournalEntry entry = common::JournalEntryOf("restore", result);
    entry.what = "accounts";
    entry.backup = hostDir;
    Journal(server, entry);
  }
  return cli::ExitStatusOf({result});
}

int Backups(const common::ServerFolder& server, bool json) {
  std::vector<BackupSummary> backups;
  std::string folder;
  if (common::Status s = ListBackups(server, &backups, &folder); !s.ok()) {
    PrintError(s.message());
    return cli::kExitFailed;
  }
  if (json) {
    QJsonArray list;
    for (const BackupSummary& b : backups) {
      QJsonArray problems;
      if (!b.check.status.ok()) problems.append(Text(b.check.status.message()));
      for (const std::string& m : b.check.mismatches) problems.append(Text(m));
      list.append(
          QJsonObject{{"name", HostText(b.name)},
                      {"path", HostText(b.host)},
                      {"time", b.check.manifest.created.empty()
                                   ? QJsonValue(QJsonValue::Null)
                                   : QJsonValue(QString::fromStdString(b.check.manifest.created))},
                      {"files", b.check.status.ok()
                                    ? QJsonValue(static_cast<qint64>(b.check.manifest.files.size()))
                                    : QJsonValue(QJsonValue::Null)},
                      {"matches", b.check.matches()},
                      {"problems", problems}});
    }
    PrintJson(QJsonObject{{"version", kJsonVersion},
                          {"folder", HostText(folder)},
                          {"count", static_cast<qint64>(backups.size())},
                          {"backups", list}});
    return cli::kExitDone;
  }
  for (const BackupSummary& b : backups) {
    std::string line =
        b.name + "  " + (b.check.manifest.created.empty() ? "-" : b.check.manifest.created) + "  ";
    if (!b.check.status.ok()) {
      line += "does not match: " + b.check.status.message();
    } else {
      line += common::Dec(static_cast<int64_t>(b.check.manifest.files.size())) + " files  ";
      const std::vector<std::string>& m = b.check.mismatches;
      if (m.empty()) {
        line += "matches its manifest";
      } else {
        line += "does not match: " + m.front();
        if (m.size() > 1)
          line += " (and " + common::Dec(static_cast<int64_t>(m.size() - 1)) + " more)";
      }
    }
    cli::PrintOut(line);
  }
  if (backups.empty()) PrintError("no backups in " + folder);
  return cli::kExitDone;
}

// A TIME of --since: a day (2026-12-07, from its start) or a time, in UTC
// unless it says otherwise.
std::optional<QDateTime> ParseSince(const QString& text) {
  if (text.size() == 10) {
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (day.isValid()) return QDateTime(day, QTime(0, 0), Qt::UTC);
    return std::nullopt;
  }
  QDateTime time = QDateTime::fromString(text, Qt::ISODate);
  if (!time.isValid() || !text.contains('T')) return std::nullopt;
  if (time.timeSpec() == Qt::LocalTime) time.setTimeSpec(Qt::UTC);
  return time.toUTC();
}

std::string JournalText(const QJsonObject& e) {
  auto text = [&](const char* key) { return common::QStringToAnsi(e[key].toString()); };
  auto number = [&](const char* key) {
    return common::Dec(static_cast<long long>(e[key].toInteger()));
  };
  std::string line = text("time") + "  " + text("user") + " (" + number("uid") + ")  " +
                     text("program") + " " + text("version") + "  " + text("action");
  if (e.contains("what")) line += " " + text("what");
  if (e.contains("first")) line += " " + number("first") + "-" + number("last");
  if (e.contains("done")) {
    line += ": " + number("done") + " done, " + number("skipped") + " skipped, " +
            number("failed") + " failed";
    if (e.contains("blank")) line += ", " + number("blank") + " blank";
  }
  if (e.contains("backup")) line += ", backup " + text("backup");
  if (e.contains("pid")) line += ", process " + number("pid");
  if (e.contains("outcome")) line += ", " + text("outcome");
  return line;
}

int JournalCommand(const common::ServerFolder& server, bool json, const QString& sinceText,
                   bool withSince) {
  std::optional<QDateTime> since;
  if (withSince) {
    since = ParseSince(sinceText);
    if (!since) {
      return cli::UsageError(
          "--since takes a UTC time such as 2026-12-07 or "
          "2026-12-07T19:00:00Z, not " +
          sinceText);
    }
  }
  std::vector<QJsonObject> entries;
  int unreadable = 0;
  if (common::Status s = common::ReadJournal(server, &entries, &unreadable); !s.ok()) {
    PrintError(s.message());
    return cli::kExitFailed;
  }
  std::vector<QJsonObject> shown;
  for (const QJsonObject& e : entries) {
    if (since) {
      const QDateTime at = QDateTime::fromString(e["time"].toString(), Qt::ISODate);
      if (!at.isValid() || at < *since) continue;
    }
    shown.push_back(e);
  }
  if (json) {
    QJsonArray list;
    for (const QJsonObject& e : shown) list.append(e);
    PrintJson(QJsonObject{
        {"version", kJsonVersion},
        {"journal", HostText(server.HostPath(std::string("\\") + common::kJournalFile))},
        {"since", since ? QJsonValue(since->toString(Qt::ISODate)) : QJsonValue(QJsonValue::Null)},
        {"count", static_cast<qint64>(shown.size())},
        {"unreadable", unreadable},
        {"entries", list}});
  } else {
    for (const QJsonObject& e : shown) cli::PrintOut(JournalText(e));
  }
  if (unreadable > 0) {
    PrintError("warning: " + common::Dec(unreadable) + " line" + (unreadable > 1 ? "s" : "") +
               " of the journal could not be read");
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
      "names or the items they hold, and can empty every inventory of every account, after "
      "backing up every account file, and put such a backup back. Every wipe and restore is "
      "written to the server folder's journal. Without a command it opens its window; with a "
      "command it does the same with no display at all.\n\n"
      "ACCOUNT is an account's file name or its listed name, without regard to case; \".ini\" "
      "may be left off. A name that fits several files only when case is ignored is refused.",
      {"[--server-dir DIR]", "list [--json] [--server-dir DIR]",
       "show ACCOUNT [--json] [--server-dir DIR]", "find TEXT [--json] [--server-dir DIR]",
       "find --item N [--json] [--server-dir DIR]",
       "wipe [--yes] [--backup DIR | --no-backup] [--force] [--server-dir DIR]",
       "restore BACKUP [--yes] [--force] [--server-dir DIR]", "backups [--json] [--server-dir DIR]",
       "journal [--json] [--since TIME] [--server-dir DIR]"},
      {{"list", "",
        "Print the listed names of the account files, one a line (the count on "
        "standard error)."},
       {"show", "ACCOUNT",
        "Print the account's three characters, their stats and inventories, as the window "
        "shows them.",
        cli::Completion::kAccounts},
       {"find", "TEXT",
        "Print the accounts with a character whose name holds TEXT, without regard to case; "
        "status 3 when some accounts could not be read, 1 when none could. With --item N "
        "instead of TEXT, print every account and character holding item N, with the slot "
        "and its value."},
       {"wipe", "",
        "Empty every inventory of every account, after asking on the terminal (status 2 when "
        "standard input is not one and --yes is not given; 1 when some accounts could not be "
        "written, the answer was No, or this folder's server.exe is running without "
        "--force). Progress and a final line with the counts and the time go to standard "
        "error. SIGINT (Ctrl-C) or SIGTERM stops the backup or the wipe after the account at "
        "hand, leaves no temporary file, prints what was wiped and what was not (also with "
        "--quiet) and ends with status 130 or 143; a second one ends it at once. Every "
        "account file is first backed up into a new folder Backups/<UTC time>-wipe of the "
        "server folder (made private to its owner), with a manifest, unless --backup or "
        "--no-backup says otherwise; the folder is named on standard error and in the journal."},
       {"restore", "BACKUP",
        "Put back the accounts a wipe's backup folder BACKUP holds, after asking as the wipe "
        "does. Only a backup no other account could have written is trusted: the folder and "
        "its manifest must belong to root or to the user running Calmet and have no group or "
        "world write bit. Its manifest is checked first: when a file is missing or not as "
        "listed, nothing is restored (status 1). An account whose file is no longer what the wipe "
        "wrote (the "
        "server changed it since) is left alone and named unless --force is given (status 3; 1 "
        "when "
        "none could be restored). "
        "Each account is written as the wipe writes, then given back the owner, group and mode "
        "the backup recorded (never a set-id bit); what the system does not allow is named. "
        "Interrupts as for the "
        "wipe.",
        cli::Completion::kFolder},
       {"backups", "",
        "List the backups in Backups of the server folder: the folder, its time, the count of "
        "files, and whether every file still matches its manifest."},
       {"journal", "",
        "Print the server folder's journal of changes (server-tools.journal), one line an "
        "entry: time, user, program, what was done, the counts, the backup folder and the "
        "outcome."}},
      {{"json", nullptr,
        "list, show, find, backups, journal: print JSON instead of text: the window's texts "
        "and beside them their values, numbers as numbers and a missing value as null (see "
        "JSON in the manual page).",
        "list show find backups journal"},
       {"yes", nullptr, "wipe, restore: answer Yes to the question instead of asking.",
        "wipe restore"},
       {"backup", "DIR",
        "wipe: first copy every account file into DIR (relative to the current folder; made "
        "private to its owner when new). A file of the same name with other content is never "
        "replaced, and the wipe then does not start; nor does it into a DIR restore would not "
        "trust (of another user, or writable by its group or by anyone).",
        "wipe", cli::Completion::kFolder},
       {"no-backup", nullptr,
        "wipe: make no backup first (with --yes only): nothing can be restored then.", "wipe"},
       {"since", "TIME",
        "journal: only the entries from TIME on, in UTC: a day (2026-12-07) or a time "
        "(2026-12-07T19:00:00Z).",
        "journal"},
       {"item", "N", "find: the accounts holding item N instead of a name.", "find"},
       {"force", nullptr,
        "wipe, restore: write even while this folder's server.exe is running (without it "
        "they refuse, status 1, and change nothing). restore: also put back accounts changed "
        "since the wipe.",
        "wipe restore"}},
      {},
      {{0, "done (also a wipe with no account file to wipe)"},
       {1,
        "failed: an account not found or unreadable (show), no account readable (find), a "
        "write that failed or an account left alone (wipe), the answer No, this folder's "
        "server running, a backup that could not be made, or standard output that could not "
        "be written whole (a full disk)"},
       {2,
        "bad usage (also a wipe or restore with no terminal to ask on and no --yes, "
        "--no-backup without --yes, a --since TIME that is no time)"},
       {3,
        "find: done, but some accounts could not be read; restore: done, but some accounts "
        "were left alone"},
       {130, "stopped by SIGINT (Ctrl-C) after the account at hand; what was done is printed"},
       {143, "stopped by SIGTERM after the account at hand; what was done is printed"}},
      {{"Accounts/*.ini",
        "The account files. Read by list, show and find. The wipe sets every inventory slot "
        "of every character to empty and rewrites each file through a hidden temporary file "
        "that is flushed and renamed over it, keeping the file's owner, group, permissions "
        "and extended attributes; where the system does not allow that, the file is "
        "rewritten in place. A file with more than one name is always rewritten in place."},
       {"Items/ItemN.dat",
        "Read by show for the names of the items in the inventories: the Name and Type of "
        "section ITEMN, or, in a file the converter wrote (a binary item record), its name and "
        "type."},
       {"Backups/TIME-wipe",
        "The backup every wipe makes first, private to its owner: a copy of every account "
        "file and manifest.json, which lists each with its size, SHA-256, owner, group and "
        "mode, and, after the wipe, the SHA-256 of what the wipe wrote. Read by restore and "
        "backups."},
       {"server-tools.journal",
        "One JSON line per change the tools make; Calmet appends one per wipe and restore "
        "(a journal that cannot be written is a warning, never a failure). Read by journal."},
       {"DIR (--backup)",
        "A copy of every account file, flushed and compared with the original before the "
        "first account is wiped; when that fails nothing is wiped. An entry there that is a "
        "link, a FIFO or another account's file is refused. An account is wiped only when "
        "what the wipe read is what was copied."}},
      {{"JSON",
        "With --json, list, show and find print one JSON object with \"version\" (the "
        "version of its shape, now 1) and \"folder\" (the accounts folder). list adds "
        "\"count\", \"label\" and \"accounts\" ({name, file}); show the account's \"name\", "
        "\"file\" and three \"characters\"; find \"text\", \"searched\", \"count\", the "
        "\"accounts\" found (as show prints them) and the \"problems\" ({name, file, "
        "reason}) of the accounts it could not read.\n\n"
        "A character holds the window's \"caption\" and \"inventory\" lines, and \"name\", "
        "\"access\", \"level\", \"strength\", \"defense\", \"speed\", \"magic\" and, per "
        "slot, {slot, item, name, value}. Numbers are JSON numbers, read as the window reads "
        "them (a decimal number, rounded to a whole one); a value that is missing, empty or "
        "no number is null, and \"texts\" holds every such value exactly as the account "
        "file has it (\"12abc\"). A free slot has item 0 and name null.\n\n"
        "find --item prints \"item\", \"searched\", \"count\", the \"holders\" ({name, file, "
        "character, character_name, slot, value, texts}) and \"problems\". backups prints "
        "\"folder\", \"count\" and the \"backups\" ({name, path, time, files, matches, "
        "problems}); journal prints \"journal\", \"since\", \"count\", \"unreadable\" and "
        "the \"entries\" as the journal holds them."}},
      {{"list --server-dir /srv/game", "List the accounts of the server in /srv/game:"},
       {"show alice --json --server-dir /srv/game", "Show the account alice as JSON:"},
       {"find thorn --server-dir /srv/game",
        "Find the accounts with a character whose name holds thorn:"},
       {"wipe --yes --backup /srv/backup/2026-12-07 --server-dir /srv/game",
        "Back up every account, then empty every inventory without asking:"},
       {"restore /srv/game/Backups/20261207T195500Z-wipe --server-dir /srv/game",
        "Put back what that wipe removed:"},
       {"journal --since 2026-12-07 --server-dir /srv/game",
        "Print what the tools changed since the 7th of December:"},
       {"find --item 12 --server-dir /srv/game", "Print who holds item 12:"}},
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
  const bool byItem = command == "find" && parser.isSet(kItem);

  if (command == "list" || command == "wipe" || command == "backups" || command == "journal" ||
      byItem) {
    if (!args.isEmpty()) {
      return cli::UsageError((byItem ? "find --item" : command) +
                             " takes no argument: " + args.first());
    }
  } else if (command == "show" || command == "find" || command == "restore") {
    const char* what = command == "show" ? "ACCOUNT" : command == "find" ? "TEXT" : "BACKUP";
    if (args.isEmpty() || args.first().isEmpty())
      return cli::UsageError(command + " needs " + what);
    if (args.size() > 1) return cli::UsageError(command + " takes one " + what + ": " + args[1]);
  } else {
    return cli::UsageError("unknown command " + command);
  }
  const bool writes = command == "wipe" || command == "restore";
  if (json && (writes)) return cli::UsageError(command + " takes no --json");
  if (!writes && (parser.isSet(kYes) || parser.isSet(kForce))) {
    return cli::UsageError("--yes and --force go with wipe and restore only");
  }
  if (command != "wipe" && (parser.isSet(kBackup) || parser.isSet(kNoBackup))) {
    return cli::UsageError("--backup and --no-backup go with wipe only");
  }
  if (command != "journal" && parser.isSet(kSince)) {
    return cli::UsageError("--since goes with journal only");
  }
  if (command != "find" && parser.isSet(kItem))
    return cli::UsageError("--item goes with find only");
  int32_t item = 0;
  if (byItem) {
    bool ok = false;
    const long long n = parser.value(kItem).toLongLong(&ok);
    if (!ok || n < 1 || n > 2147483647LL || parser.value(kItem).trimmed() != parser.value(kItem)) {
      return cli::UsageError("--item takes an item number from 1 up, not " + parser.value(kItem));
    }
    item = static_cast<int32_t>(n);
  }
  if (command == "wipe" && parser.isSet(kBackup) && parser.value(kBackup).isEmpty()) {
    return cli::UsageError("--backup needs a folder");
  }
  if (command == "wipe" && parser.isSet(kBackup) && parser.isSet(kNoBackup)) {
    return cli::UsageError("--backup and --no-backup exclude each other");
  }
  // A wipe with no way back only when the operator says so twice.
  if (command == "wipe" && parser.isSet(kNoBackup) && !parser.isSet(kYes)) {
    return cli::UsageError("--no-backup goes with --yes only");
  }
  // A script must not hang on a question no one can answer.
  if (writes && !parser.isSet(kYes) && !cli::InputIsTerminal()) {
    return cli::UsageError(
        command == "wipe"
            ? QString("wipe asks before it empties every inventory, and standard input is "
                      "not a terminal to answer on; give --yes to wipe without asking")
            : QString("restore asks before it puts the accounts back, and standard input is "
                      "not a terminal to answer on; give --yes to restore without asking"));
  }

  // The server folder, fixed here for the whole command (--server-dir has
  // made it the program folder).
  const common::ServerFolder server = common::ServerFolder::Program();
  if (command == "restore") return Restore(parser, server, args.first());
  if (command == "backups") return Backups(server, json);
  if (command == "journal")
    return JournalCommand(server, json, parser.value(kSince), parser.isSet(kSince));
  AccountsState state;
  cli::ConsoleMessages messages;
  const std::optional<AccountListing> listing = Start(server, state, messages);
  if (!listing) return cli::kExitFailed;
  if (command == "list") return List(*listing, json, quiet);
  if (command == "show") return Show(server, *listing, args.first(), json, messages);
  if (byItem) return FindItem(server, *listing, item, json, quiet, messages);
  if (command == "find") return Find(server, *listing, args.first(), json, quiet, messages);
  return Wipe(parser, server, *listing);
}

}  // namespace calmet
