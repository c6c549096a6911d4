#include "common/qt/journal.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <cerrno>

#include "common/qt/ansi_text.h"
#include "common/steady_read.h"
#include "common/unique_fd.h"

namespace common {

namespace {

QString UserName(uid_t uid) {
  struct passwd pw;
  struct passwd* found = nullptr;
  char buf[1024];
  if (getpwuid_r(uid, &pw, buf, sizeof buf, &found) == 0 && found) {
    return QString::fromLocal8Bit(found->pw_name);
  }
  return QString::number(uid);
}

const char* OutcomeWord(Outcome outcome) {
  switch (outcome) {
    case Outcome::kCompleted:
      return "completed";
    case Outcome::kSkipped:
      return "skipped";
    case Outcome::kFailed:
      return "failed";
    case Outcome::kStopped:
      return "stopped";
  }
  return "failed";
}

}  // namespace

JournalEntry JournalEntryOf(const std::string& action, const JobResult& result) {
  JournalEntry e;
  e.action = action;
  e.what = result.job;
  e.first = result.first;
  e.last = result.last;
  e.counted = true;
  e.done = result.done;
  e.skipped = result.skipped();
  e.failed = result.failed();
  e.blank = result.blank;
  for (const ItemNote& n : result.notes) e.notes.push_back(n.name + " " + n.what);
  e.outcome = OutcomeWord(OutcomeOf(result));
  return e;
}

std::string JournalLine(const JournalEntry& e) {
  QJsonObject o;
  o["time"] = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
  const uid_t uid = getuid();
  o["user"] = UserName(uid);
  o["uid"] = static_cast<qint64>(uid);
  o["program"] = QCoreApplication::applicationName();
  o["version"] = QCoreApplication::applicationVersion();
  o["action"] = QString::fromStdString(e.action);
  if (!e.what.empty()) o["what"] = AnsiToQString(e.what);
  if (e.last >= e.first && e.last > 0) {
    o["first"] = e.first;
    o["last"] = e.last;
  }
  if (e.counted) {
    o["done"] = e.done;
    o["skipped"] = e.skipped;
    o["failed"] = e.failed;
    if (e.blank > 0) o["blank"] = e.blank;
  }
  if (!e.backup.empty()) o["backup"] = QString::fromLocal8Bit(e.backup.c_str());
  if (!e.outcome.empty()) o["outcome"] = QString::fromStdString(e.outcome);
  if (e.pid > 0) o["pid"] = static_cast<qint64>(e.pid);
  if (!e.notes.empty()) {
    QJsonArray notes;
    // Host paths with what was done to them, as the system spells them.
    for (const std::string& n : e.notes) notes.append(QString::fromLocal8Bit(n.c_str()));
    o["notes"] = notes;
  }
  return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

Status AppendJournal(const ServerFolder& server, const JournalEntry& entry) {
  Folder root;
  if (Status s = server.OpenRoot(&root); !s.ok()) return s.WithContext("journal");
  UniqueFd fd;
  struct stat st;
  if (Status s = OpenFile(root, kJournalFile, O_WRONLY | O_APPEND | O_CREAT, 0640, &fd, &st);
      !s.ok()) {
    return s;
  }
  const std::string line = JournalLine(entry);
  // One write, so that another tool's line never lands inside this one; a
  // short write would leave half a line, which a reader passes over.
  const ssize_t n = root.fs().Write(fd.get(), line.data(), line.size());
  if (n < 0) return PosixError("cannot write " + root.HostOf(kJournalFile), errno);
  if (static_cast<size_t>(n) != line.size()) {
    return PosixError("cannot write " + root.HostOf(kJournalFile), ENOSPC);
  }
  if (root.fs().Fsync(fd.get()) != 0) return PosixError("cannot flush " + root.HostOf(kJournalFile), errno);
  if (fd.Close() != 0) return PosixError("cannot close " + root.HostOf(kJournalFile), errno);
  return Status::OK();
}

Status ReadJournal(const ServerFolder& server, std::vector<QJsonObject>* entries,
                   int* unreadable) {
  entries->clear();
  if (unreadable) *unreadable = 0;
  Folder root;
  if (Status s = server.OpenRoot(&root); !s.ok()) return s;
  UniqueFd fd;
  struct stat st;
  Status s = OpenFile(root, kJournalFile, O_RDONLY, 0, &fd, &st);
  if (s.IsNotFound()) return Status::OK();
  if (!s.ok()) return s;
  std::string bytes;
  bool complete = false;
  if (Status r = ReadAllAt(root.fs(), fd.get(), root.HostOf(kJournalFile),
                           static_cast<size_t>(st.st_size), &bytes, &complete);
      !r.ok()) {
    return r;
  }
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    const QByteArray line = QByteArray::fromStdString(bytes.substr(start, end - start));
    start = end + 1;
    if (line.trimmed().isEmpty()) continue;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
      if (unreadable) ++*unreadable;
      continue;
    }
    entries->push_back(doc.object());
  }
  return Status::OK();
}

}  // namespace common
