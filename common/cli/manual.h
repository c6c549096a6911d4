// What each program tells about itself, written once: its --help text, its
// manual page, its shell completion and its desktop entry are all made from
// one Manual. An option is one OptionDoc entry; the parser learns it from
// there too, so nothing can be documented that is not accepted or the other
// way round.
#pragma once

#include <string>
#include <vector>

namespace common::cli {

// What the shell offers for an option's value or a command's arguments.
enum class Completion {
  kNone,      // free text: nothing offered
  kFolder,    // folders
  kUser,      // user names of this system
  kWords,     // Manual::words
  kAccounts,  // the account files of the server folder given with --server-dir
};

struct OptionDoc {
  const char* name;             // the long name, without dashes
  const char* value = nullptr;  // the value's name ("DIR"); none for a flag
  const char* help = "";
  // The commands (space-separated) it goes with, which is all that the
  // completion offers it after; empty: every command.
  const char* commands = "";
  Completion completion = Completion::kNone;
  bool shortH = false;  // also -h (--help only)
};

struct CommandDoc {
  const char* name;  // "show"
  const char* args;  // "ACCOUNT", "" for none
  const char* help;
  Completion completion = Completion::kNone;  // for its arguments
};

struct ExitDoc {
  int status;
  const char* meaning;
};

struct FileDoc {
  const char* path;
  const char* what;
};

struct SectionDoc {
  const char* title;  // upper case, as manual pages have them
  const char* text;   // paragraphs; see Manual::description
};

struct ExampleDoc {
  const char* command;  // without the program's name
  const char* what;
};

struct Manual {
  const char* name;     // the program's name, as typed
  const char* summary;  // the manual page's one line, lower case, no full stop
  // Paragraphs separated by an empty line. A line that starts with two
  // spaces is shown as written (a command to type).
  const char* description;
  // Each way to call the program, after its name ("convert KIND... [--max N]").
  std::vector<const char*> usage;
  std::vector<CommandDoc> commands;
  std::vector<OptionDoc> options;  // the program's own; CommonOptions() come first
  std::vector<const char*> words;  // for Completion::kWords
  std::vector<ExitDoc> exitStatus;
  std::vector<FileDoc> files;
  std::vector<SectionDoc> sections;  // after FILES
  std::vector<ExampleDoc> examples;
  std::vector<const char*> seeAlso;  // "Calmet(1)"
  const char* icon;  // its name in the icon theme (common/app_icons.h)
  // The desktop entry's.
  const char* genericName;
  const char* keywords;  // ";"-separated, ending in ";"
};

// --server-dir, --quiet, --help and --version, which every program takes.
const std::vector<OptionDoc>& CommonOptions();

// CommonOptions() followed by the manual's own.
std::vector<OptionDoc> AllOptions(const Manual& manual);

// What --help prints.
std::string HelpText(const Manual& manual);

// The manual page in section 1, as roff. `date` and `source` go into its
// title line ("7 December 2026", "server-tools 0.1.0").
std::string ManualPage(const Manual& manual, const std::string& date, const std::string& source);

// The bash completion of the program, for bash-completion's folder (loaded
// by the program's name).
std::string BashCompletion(const Manual& manual);

// The freedesktop.org desktop entry that opens the program's window.
std::string DesktopEntry(const Manual& manual);

}  // namespace common::cli
