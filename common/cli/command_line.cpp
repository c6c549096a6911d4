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

}  // namespace common::cli
