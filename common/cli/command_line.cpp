#include "common/cli/command_line.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <cstdio>
#include <iostream>

#include "common/program_folder.h"
#include "common/qt/ansi_text.h"
#include "common/text_util.h"
#include "common/visible_text.h"

namespace common::cli {

namespace {

const QCommandLineOption kServerDir("server-dir", "", "DIR");

QStringList ArgumentList(int argc, char** argv) {
  QStringList list;
  for (int i = 0; i < argc; ++i) list << QString::fromLocal8Bit(argv[i]);
  return list;
}

void PrintTo(FILE* stream, const std::string& text, LineBreaks breaks = LineBreaks::kEscape) {
  const QByteArray bytes = VisibleText(AnsiToQString(text), breaks).toLocal8Bit();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

// A box: the title is one line, the prompt keeps the tool's line feeds.
void PrintBox(const std::string& title, const char* between, const std::string& prompt) {
  PrintTo(stderr, VisibleName(title) + between + prompt, LineBreaks::kKeep);
}

// A single-byte text for the progress line, in the terminal's encoding.
std::string Shown(const std::string& text) {
  return VisibleText(AnsiToQString(text)).toLocal8Bit().toStdString();
}

int64_t NowMs() {
  static QElapsedTimer clock = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return clock.elapsed();
}

}  // namespace

void AddOptions(QCommandLineParser& parser, const Manual& manual) {
  // The toolkit's own --help would add its options (--help-all) and -v.
  for (const OptionDoc& o : AllOptions(manual)) {
    QStringList names;
    if (o.shortH) names << "h";
    names << o.name;
    parser.addOption(o.value ? QCommandLineOption(names, o.help, o.value)
                             : QCommandLineOption(names, o.help));
  }
}

bool WantsWindow(QCommandLineParser& parser, int argc, char** argv) {
  if (!parser.parse(ArgumentList(argc, argv))) return false;
  if (!parser.positionalArguments().isEmpty()) return false;
  for (const QString& name : parser.optionNames()) {
    if (!kServerDir.names().contains(name)) return false;
  }
  return true;
}

Status ApplyServerDir(const QCommandLineParser& parser) {
  if (!parser.isSet(kServerDir)) return Status::OK();
  const QString dir = parser.value(kServerDir);
  const std::string local = dir.toLocal8Bit().toStdString();
  struct stat st;
  if (stat(local.c_str(), &st) != 0) return PosixError("server folder " + local, errno);
  if (!S_ISDIR(st.st_mode))
    return Status::InvalidArgument("server folder " + local + " is not a folder");
  if (access(local.c_str(), X_OK) != 0) return PosixError("server folder " + local, errno);
  SetProgramFolder(QFileInfo(dir).absoluteFilePath().toLocal8Bit().toStdString());
  return Status::OK();
}

std::optional<int> ProcessCommonOptions(QCommandLineParser& parser, const QStringList& arguments,
                                        const Manual& manual) {
  if (!parser.parse(arguments)) return UsageError(parser.errorText());
  if (parser.isSet("help")) {
    std::fputs(HelpText(manual).c_str(), stdout);
    return kExitDone;
  }
  if (parser.isSet("version")) {
    std::printf("%s %s\n", manual.name, TOOLS_VERSION);
    return kExitDone;
  }
  if (Status s = ApplyServerDir(parser); !s.ok()) {
    PrintErr(QCoreApplication::applicationName().toStdString() + ": " + s.message());
    return kExitFailed;
  }
  return std::nullopt;
}

int UsageError(const QString& text) {
  const QString program = VisibleText(QCoreApplication::applicationName());
  std::cerr << VisibleText(program + ": " + text).toLocal8Bit().constData() << "\n"
            << "Try '" << program.toLocal8Bit().constData() << " --help'." << std::endl;
  return kExitUsage;
}

void PrintOut(const std::string& text) { PrintTo(stdout, text); }
void PrintErr(const std::string& text) { PrintTo(stderr, text); }

void PrintJson(const QJsonDocument& document) {
  const QByteArray json = document.toJson(QJsonDocument::Indented);
  // Outside strings JSON is ASCII, so these UTF-8 sequences are in strings,
  // where an escape stands for the same character.
  QByteArray bytes;
  bytes.reserve(json.size());
  for (qsizetype i = 0; i < json.size(); ++i) {
    const auto b = static_cast<unsigned char>(json[i]);
    const bool c1 = b == 0xC2 && i + 1 < json.size() &&
                    static_cast<unsigned char>(json[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(json[i + 1]) <= 0x9F;
    if (b == 0x7F || c1) {
      const unsigned code = c1 ? static_cast<unsigned char>(json[++i]) : b;
      bytes += QByteArray("\\u00") + QByteArray::number(code, 16).rightJustified(2, '0');
    } else {
      bytes += json[i];
    }
  }
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
  std::fflush(stdout);
}

bool InputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

MsgAnswer ConsoleMessages::Show(const std::string& prompt, const std::string& title,
                                MsgButtons buttons, MsgIcon icon) {
  if (icon == MsgIcon::Stop) ++stops_;
  if (buttons == MsgButtons::Ok) {
    PrintBox(title, ": ", prompt);
    return MsgAnswer::Ok;
  }
  if (preset_) {
    PrintBox(title, ": ", prompt + (*preset_ == MsgAnswer::Yes ? " Yes." : " No."));
    return *preset_;
  }
  if (!InputIsTerminal()) {
    PrintBox(title, ": ", prompt + " No (no terminal to answer on).");
    return MsgAnswer::No;
  }
  PrintBox(title, "\n", prompt);
  for (;;) {
    std::fputs("Continue? [y/n] ", stderr);
    std::fflush(stderr);
    std::string line;
    if (!std::getline(std::cin, line)) {
      std::fputc('\n', stderr);
      return MsgAnswer::No;
    }
    const std::string answer = UpperAscii(line);
    if (answer == "Y" || answer == "YES") return MsgAnswer::Yes;
    if (answer == "N" || answer == "NO") return MsgAnswer::No;
  }
}

ProgressLine::ProgressLine(bool quiet) : quiet_(quiet), terminal_(isatty(STDERR_FILENO) == 1) {}

ProgressLine::~ProgressLine() {
  if (open_) End("stopped");
}

void ProgressLine::Begin(const std::string& label) {
  if (open_) End("stopped");
  label_ = Shown(label);
  done_ = total_ = 0;
  lastTenth_ = -1;
  lastDrawMs_ = 0;
  open_ = true;
}

void ProgressLine::Update(int32_t done, int32_t total) {
  done_ = done;
  total_ = total;
  Draw();
}

void ProgressLine::End(const std::string& outcome) {
  if (!open_) return;
  open_ = false;
  if (quiet_) return;
  const std::string counted = label_ + ": " + Dec(done_) + "/" + Dec(total_) + " " + Shown(outcome);
  if (terminal_) {
    std::fprintf(stderr, "\r\033[K%s\n", counted.c_str());
  } else {
    std::fprintf(stderr, "%s\n", counted.c_str());
  }
  std::fflush(stderr);
}

void ProgressLine::Draw() {
  if (quiet_ || !open_ || total_ <= 0) return;
  const int tenth = static_cast<int>(int64_t{done_} * 10 / total_);
  if (!terminal_) {
    // A log gets a line at every tenth, not one per record.
    if (tenth == lastTenth_) return;
    lastTenth_ = tenth;
    std::fprintf(stderr, "%s: %d/%d (%d%%)\n", label_.c_str(), done_, total_,
                 static_cast<int>(int64_t{done_} * 100 / total_));
    std::fflush(stderr);
    return;
  }
  // Redrawn at most every 50 ms: a terminal need not see each record.
  const int64_t now = NowMs();
  if (done_ != total_ && now - lastDrawMs_ < 50) return;
  lastDrawMs_ = now;
  constexpr int kWidth = 30;
  const int filled = static_cast<int>(int64_t{done_} * kWidth / total_);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kWidth - filled), '.');
  std::fprintf(stderr, "\r\033[K%s: %d/%d [%s] %d%%", label_.c_str(), done_, total_, bar.c_str(),
               static_cast<int>(int64_t{done_} * 100 / total_));
  std::fflush(stderr);
}

}  // namespace common::cli
