// What the three programs share when started with a command instead of a
// window: the common options, the choice between window and command, the
// exit statuses, and console stand-ins for message boxes and the progress
// bar. Parsing is the toolkit's; nothing here needs a display.
#pragma once

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>

#include "common/cli/manual.h"
#include "common/message_port.h"
#include "common/status.h"
#include "common/cli/progress_line.h"

namespace common::cli {

// Exit statuses of every command.
enum ExitStatus : int {
  kExitDone = 0,
  kExitFailed = 1,   // a file not found, a write that failed, a job that stopped
  kExitUsage = 2,    // bad usage: unknown command or option, a refused value
  kExitSkipped = 3,  // done, but some records were skipped
};

// Adds every option of `manual` (the common ones first) to `parser`.
void AddOptions(QCommandLineParser& parser, const Manual& manual);

// True when the arguments ask for the window: nothing beyond --server-dir.
// Parses with `parser`, which must hold every option of the program, and
// needs no application object (it decides which one to make). Arguments
// that do not parse ask for a command, which then reports them.
bool WantsWindow(QCommandLineParser& parser, int argc, char** argv);

// Makes --server-dir, when given, the folder every path is built on. Fails,
// naming it, when it is not a folder that can be entered.
Status ApplyServerDir(const QCommandLineParser& parser);

// Runs the parse of a command: --help and --version print and return
// kExitDone; bad usage prints the parser's error and returns kExitUsage; a
// --server-dir that is not a folder prints why and returns kExitFailed.
// Returns nothing when the command may go on. The core application must
// exist.
std::optional<int> ProcessCommonOptions(QCommandLineParser& parser, const QStringList& arguments,
                                        const Manual& manual);

// Prints "<program>: <text>" and a pointer to --help on standard error;
// returns kExitUsage. What the user typed is shown escaped, as names are.
int UsageError(const QString& text);

// Everything printed on the console goes through these, which show control
// characters as visible escapes (common/visible_text.h): nothing from a name
// reaches the terminal as a command. The progress line's own "\r\033[K" is
// the only control the tools write.
//
// One single-byte text (the server's own bytes) as one line of the
// terminal's text: a line feed inside it is shown as "\n", so no name can
// start a line of its own. A text of several lines is a message box's.
void PrintOut(const std::string& text);
void PrintErr(const std::string& text);

// JSON on standard output. The toolkit's writer escapes C0 controls only;
// DEL and C1 controls are written as \u escapes too, the same string to a
// reader.
void PrintJson(const QJsonDocument& document);

// Message boxes on the console: each box is printed to standard error as
// "<title>: <prompt>" and nothing waits for a click. The prompt keeps its
// line feeds, which must be the tool's own: a name or status message put
// into a prompt of several lines goes through VisibleName. A yes/no box takes the
// preset answer when there is one; otherwise it asks on the terminal and
// reads y or n, and answers No when standard input is not a terminal.
class ConsoleMessages : public MessagePort {
 public:
  explicit ConsoleMessages(std::optional<MsgAnswer> presetAnswer = std::nullopt)
      : preset_(presetAnswer) {}
  MsgAnswer Show(const std::string& prompt, const std::string& title, MsgButtons buttons,
                 MsgIcon icon) override;
  // How many boxes with the stop icon were shown.
  int stops() const { return stops_; }

 private:
  std::optional<MsgAnswer> preset_;
  int stops_ = 0;
};

// True when standard input is a terminal someone can answer on.
bool InputIsTerminal();

}  // namespace common::cli
