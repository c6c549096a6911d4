#include "common/cli/manual.h"

#include <cctype>
#include <sstream>

namespace common::cli {

namespace {

constexpr size_t kWidth = 79;
constexpr size_t kHelpColumn = 24;

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + separator.size();
  }
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// `text` filled into lines of at most kWidth columns: the first indented by
// `first`, the rest by `rest` spaces (the first line is appended to `out`,
// whose last line may already hold `first` columns).
void Fill(std::string& out, const std::string& text, size_t first, size_t rest) {
  size_t column = first;
  bool lineEmpty = true;
  std::istringstream words(text);
  std::string word;
  while (words >> word) {
    if (!lineEmpty && column + 1 + word.size() > kWidth) {
      out += "\n" + std::string(rest, ' ');
      column = rest;
      lineEmpty = true;
    }
    if (!lineEmpty) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    lineEmpty = false;
  }
  out += '\n';
}

// Paragraphs for --help: filled, a line that starts with two spaces kept as
// written, "- " items with a hanging indent.
void HelpParagraphs(std::string& out, const std::string& text, size_t indent) {
  bool firstParagraph = true;
  for (const std::string& paragraph : Split(text, "\n\n")) {
    if (!firstParagraph) out += '\n';
    firstParagraph = false;
    std::string pending;
    auto flush = [&] {
      if (pending.empty()) return;
      out += std::string(indent, ' ');
      if (StartsWith(pending, "- ")) {
        out += "- ";
        Fill(out, pending.substr(2), indent + 2, indent + 2);
      } else {
        Fill(out, pending, indent, indent);
      }
      pending.clear();
    };
    for (const std::string& line : Split(paragraph, "\n")) {
      if (StartsWith(line, "  ")) {
        flush();
        out += std::string(indent, ' ') + line + "\n";
      } else if (StartsWith(line, "- ")) {
        flush();
        pending = line;
      } else {
        pending += (pending.empty() ? "" : " ") + line;
      }
    }
    flush();
  }
}

std::string OptionForm(const OptionDoc& option) {
  std::string form = option.shortH ? "-h, --" : "--";
  form += option.name;
  if (option.value) form += std::string(" ") + option.value;
  return form;
}

void HelpEntry(std::string& out, const std::string& form, const std::string& help) {
  std::string left = "  " + form;
  if (left.size() + 2 <= kHelpColumn) {
    left.append(kHelpColumn - left.size(), ' ');
    out += left;
  } else {
    out += left + "\n" + std::string(kHelpColumn, ' ');
  }
  Fill(out, help, kHelpColumn, kHelpColumn);
}

// --- roff ---------------------------------------------------------------------

// Plain text for roff: backslashes kept, a hyphen that starts a word (an
// option) and every hyphen in such a word typed as a minus sign, a control
// character at a line's start made harmless.
std::string Roff(const std::string& text) {
  std::string out;
  bool wordStart = true, optionWord = false;
  for (char c : text) {
    if (wordStart) optionWord = c == '-';
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-' && optionWord) {
      out += "\\-";
    } else if ((c == '.' || c == '\'') && (out.empty() || out.back() == '\n')) {
      out += "\\&";
      out += c;
    } else {
      out += c;
    }
    wordStart = c == ' ' || c == '\n' || c == '[' || c == '(' || c == '|' || c == '"' || c == '`';
  }
  return out;
}

// A synopsis or heading: options and command words in bold, placeholders
// (upper-case words) in italics.
std::string RoffMarked(const std::string& text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '-') {
      size_t end = i;
      while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) ||
                                   text[end] == '-' || text[end] == '.' || text[end] == '_')) {
        ++end;
      }
      const std::string word = text.substr(i, end - i);
      bool placeholder = false;
      for (char w : word) placeholder |= std::isupper(static_cast<unsigned char>(w)) != 0;
      for (char w : word) placeholder &= std::islower(static_cast<unsigned char>(w)) == 0;
      out += (placeholder && word[0] != '-' ? "\\fI" : "\\fB") + Roff(word) + "\\fR";
      i = end;
    } else {
      out += Roff(std::string(1, c));
      ++i;
    }
  }
  return out;
}

void RoffParagraphs(std::string& out, const std::string& text) {
  for (const std::string& paragraph : Split(text, "\n\n")) {
    std::string pending;
    bool item = false;
    bool verbatim = false;
    auto flush = [&] {
      if (pending.empty()) return;
      out += item ? ".IP \\(bu 2\n" : ".PP\n";
      out += Roff(pending) + "\n";
      pending.clear();
    };
    for (const std::string& line : Split(paragraph, "\n")) {
      if (StartsWith(line, "  ")) {
        flush();
        if (!verbatim) out += ".PP\n.RS 4\n.nf\n";
        verbatim = true;
        out += Roff(line.substr(2)) + "\n";
        continue;
      }
      if (verbatim) out += ".fi\n.RE\n";
      verbatim = false;
      if (StartsWith(line, "- ")) {
        flush();
        item = true;
        pending = line.substr(2);
      } else {
        if (pending.empty()) item = false;
        pending += (pending.empty() ? "" : " ") + line;
      }
    }
    flush();
    if (verbatim) out += ".fi\n.RE\n";
  }
}

std::string Upper(const char* text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// --- bash -------------------------------------------------------------------

std::string Join(const std::vector<std::string>& parts, const char* separator) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : separator) + p;
  return out;
}

// A shell function name made of the program's name.
std::string FunctionName(const Manual& manual) {
  std::string name = "_server_tools_";
  for (const char* p = manual.name; *p; ++p) {
    name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
  }
  return name;
}

// The case branch that completes `what`, ending in "return".
std::string CompleteAs(Completion what) {
  switch (what) {
    case Completion::kFolder:
      return "_filedir -d; return";
    case Completion::kUser:
      return "mapfile -t COMPREPLY < <(compgen -u -- \"$cur\"); return";
    case Completion::kWords:
      return "mapfile -t COMPREPLY < <(compgen -W \"$words_list\" -- \"$cur\"); return";
    case Completion::kAccounts:
      return "_server_tools_accounts \"$dir\"; return";
    case Completion::kNone:
      break;
  }
  return "return";
}

}  // namespace

const std::vector<OptionDoc>& CommonOptions() {
  static const std::vector<OptionDoc> options = {
      {"server-dir", "DIR",
       "The game server's folder to work on (default: the folder the program lies in, which "
       "for an installed program is /usr/bin). The window honours it too.",
       "", Completion::kFolder},
      {"quiet", nullptr, "Print no progress, only results and errors."},
      {"help", nullptr, "Print this help and end.", "", Completion::kNone, true},
      {"version", nullptr, "Print the version and end."},
  };
  return options;
}

std::vector<OptionDoc> AllOptions(const Manual& manual) {
  std::vector<OptionDoc> all = CommonOptions();
  all.insert(all.end(), manual.options.begin(), manual.options.end());
  return all;
}

std::string HelpText(const Manual& manual) {
  std::string out;
  const std::string name = manual.name;
  for (size_t i = 0; i < manual.usage.size(); ++i) {
    out += (i == 0 ? "Usage: " : "       ") + name;
    if (*manual.usage[i]) out += std::string(" ") + manual.usage[i];
    out += '\n';
  }
  out += '\n';
  HelpParagraphs(out, manual.description, 0);
  if (!manual.commands.empty()) {
    out += "\nCommands:\n";
    for (const CommandDoc& c : manual.commands) {
      HelpEntry(out, std::string(c.name) + (*c.args ? std::string(" ") + c.args : ""), c.help);
    }
  }
  out += "\nOptions:\n";
  for (const OptionDoc& o : AllOptions(manual)) HelpEntry(out, OptionForm(o), o.help);
  out += "\nExit status:\n";
  for (const ExitDoc& e : manual.exitStatus) {
    out += "  " + std::to_string(e.status) + " ";
    Fill(out, e.meaning, 4, 4);
  }
  out += "\nSee 'man " + name + "' for the files it reads and writes, and examples.\n";
  return out;
}

std::string ManualPage(const Manual& manual, const std::string& date, const std::string& source) {
  std::string out;
  out += ".\\\" Made from the program's own manual (common/cli/manual.h); do not edit.\n";
  out += ".TH " + Upper(manual.name) + " 1 \"" + date + "\" \"" + source + "\" \"User Commands\"\n";
  out += ".SH NAME\n" + Roff(manual.name) + " \\- " + Roff(manual.summary) + "\n";
  out += ".SH SYNOPSIS\n.nf\n";
  for (const char* usage : manual.usage) {
    out += "\\fB" + Roff(manual.name) + "\\fR";
    if (*usage) out += " " + RoffMarked(usage);
    out += "\n";
  }
  out += ".fi\n.SH DESCRIPTION\n";
  RoffParagraphs(out, manual.description);
  if (!manual.commands.empty()) {
    out += ".SH COMMANDS\n";
    for (const CommandDoc& c : manual.commands) {
      out += ".TP\n" + RoffMarked(std::string(c.name) + (*c.args ? std::string(" ") + c.args : "")) +
             "\n" + Roff(c.help) + "\n";
    }
  }
  out += ".SH OPTIONS\n";
  for (const OptionDoc& o : AllOptions(manual)) {
    out += ".TP\n" + RoffMarked(OptionForm(o)) + "\n" + Roff(o.help) + "\n";
  }
  out += ".SH \"EXIT STATUS\"\n";
  for (const ExitDoc& e : manual.exitStatus) {
    out += ".TP\n.B " + std::to_string(e.status) + "\n" + Roff(e.meaning) + "\n";
  }
  if (!manual.files.empty()) {
    out += ".SH FILES\n";
    for (const FileDoc& f : manual.files) {
      out += ".TP\n\\fI" + Roff(f.path) + "\\fR\n" + Roff(f.what) + "\n";
    }
  }
  for (const SectionDoc& s : manual.sections) {
    out += ".SH \"" + std::string(s.title) + "\"\n";
    RoffParagraphs(out, s.text);
  }
  if (!manual.examples.empty()) {
    out += ".SH EXAMPLES\n";
    for (const ExampleDoc& e : manual.examples) {
      out += ".PP\n" + Roff(e.what) + "\n.PP\n.RS 4\n.nf\n\\fB" + Roff(manual.name) + " " +
             Roff(e.command) + "\\fR\n.fi\n.RE\n";
    }
  }
  if (!manual.seeAlso.empty()) {
    out += ".SH \"SEE ALSO\"\n";
    for (size_t i = 0; i < manual.seeAlso.size(); ++i) {
      const std::string ref = manual.seeAlso[i];
      const size_t paren = ref.find('(');
      out += ".BR " + Roff(ref.substr(0, paren)) + " " + ref.substr(paren) +
             (i + 1 < manual.seeAlso.size() ? "," : "") + "\n";
    }
  }
  return out;
}

std::string BashCompletion(const Manual& manual) {
  const std::vector<OptionDoc> options = AllOptions(manual);
  std::vector<std::string> commands, words, valued, everywhere;
  for (const CommandDoc& c : manual.commands) commands.push_back(c.name);
  for (const char* w : manual.words) words.push_back(w);
  for (const OptionDoc& o : options) {
    if (o.value && std::string(o.name) != "server-dir") valued.push_back(std::string("--") + o.name);
  }
  const std::string fn = FunctionName(manual);
  std::string out;
  out += "# bash completion for " + std::string(manual.name) +
         ": commands, options, and the values the shell can know.\n"
         "# Made from the program's own manual (common/cli/manual.h); do not edit.\n\n";
  // Shared by the three programs' files; each may be loaded first.
  out +=
      "# The account files of the server folder $1 whose names start with $cur\n"
      "# (\".ini\" left off where it is spelled so), skipping names with control\n"
      "# characters.\n"
      "_server_tools_accounts() {\n"
      "  local dir=$1 file name\n"
      "  [[ -n $dir ]] || return\n"
      "  [[ $dir == \"~/\"* ]] && dir=$HOME/${dir#\"~/\"}\n"
      "  for file in \"$dir\"/[Aa][Cc][Cc][Oo][Uu][Nn][Tt][Ss]/*.[Ii][Nn][Ii]; do\n"
      "    [[ -e $file || -L $file ]] || continue\n"
      "    name=${file##*/}\n"
      "    [[ $name == *[[:cntrl:]]* ]] && continue\n"
      "    [[ $name == *.ini ]] && name=${name%.ini}\n"
      "    [[ $name == \"$cur\"* ]] && COMPREPLY+=(\"$name\")\n"
      "  done\n"
      "  compopt -o filenames 2>/dev/null\n"
      "}\n\n";
  out += fn + "() {\n";
  out += "  local cur prev words cword split\n";
  out += "  _init_completion -s || return\n";
  out += "  local words_list=\"" + Join(words, " ") + "\"\n";
  out += "  # The command, and the server folder the line names (the program's own\n"
         "  # folder when it is typed with one).\n";
  out += "  local command=\"\" dir=\"\" i\n";
  out += "  [[ ${words[0]} == */* ]] && dir=${words[0]%/*}\n";
  out += "  for ((i = 1; i < cword; i++)); do\n";
  out += "    case ${words[i]} in\n";
  out += "      --server-dir) dir=${words[i + 1]}; ((i++)) ;;\n";
  out += "      --server-dir=*) dir=${words[i]#*=} ;;\n";
  if (!valued.empty()) out += "      " + Join(valued, "|") + ") ((i++)) ;;\n";
  out += "      -*) ;;\n";
  out += "      *) [[ -z $command ]] && command=${words[i]} ;;\n";
  out += "    esac\n";
  out += "  done\n";
  out += "  case $prev in\n";
  for (const OptionDoc& o : options) {
    if (o.value) out += "    --" + std::string(o.name) + ") " + CompleteAs(o.completion) + " ;;\n";
  }
  out += "  esac\n";
  out += "  $split && return\n";
  // Options: the ones every command takes, and those of the command typed.
  // With no commands (Ruvane's are options) options are all there is.
  out += commands.empty() ? "  if true; then\n" : "  if [[ $cur == -* ]]; then\n";
  out += "    local options=\"";
  for (const OptionDoc& o : options) {
    if (!*o.commands) out += "--" + std::string(o.name) + (o.value ? "= " : " ");
  }
  out += "\"\n";
  // An option that goes with some commands only: offered once one of them is
  // typed (a command word, or an option that is a command of its own).
  for (const OptionDoc& o : options) {
    if (!*o.commands) continue;
    std::vector<std::string> tests;
    for (const std::string& w : Split(o.commands, " ")) {
      tests.push_back(w[0] == '-' ? "\" ${words[*]:1:cword-1} \" == *\" " + w + " \"*"
                                  : "$command == " + w);
    }
    out += "    if [[ " + Join(tests, " || ") + " ]]; then options+=\" --" + o.name +
           (o.value ? "=" : "") + "\"; fi\n";
  }
  out += "    mapfile -t COMPREPLY < <(compgen -W \"$options\" -- \"$cur\")\n";
  out += "    [[ ${COMPREPLY[0]-} == *= ]] && compopt -o nospace 2>/dev/null\n";
  out += "    return\n";
  out += "  fi\n";
  if (!commands.empty()) {
    out += "  case $command in\n";
    out += "    \"\") mapfile -t COMPREPLY < <(compgen -W \"" + Join(commands, " ") +
           "\" -- \"$cur\") ;;\n";
    for (const CommandDoc& c : manual.commands) {
      if (c.completion != Completion::kNone) {
        out += "    " + std::string(c.name) + ") " + CompleteAs(c.completion) + " ;;\n";
      }
    }
    out += "  esac\n";
  }
  out += "}\n";
  out += "complete -F " + fn + " " + manual.name + "\n";
  return out;
}

std::string DesktopEntry(const Manual& manual) {
  std::string comment = manual.summary;
  if (!comment.empty()) comment[0] = static_cast<char>(std::toupper(comment[0]));
  std::string out = "[Desktop Entry]\n";
  out += "Type=Application\n";
  out += "Name=" + std::string(manual.name) + "\n";
  out += "GenericName=" + std::string(manual.genericName) + "\n";
  out += "Comment=" + comment + "\n";
  out += "Exec=" + std::string(manual.name) + "\n";
  out += "Icon=" + std::string(manual.icon) + "\n";
  out += "Terminal=false\n";
  out += "Categories=System;\n";
  out += "Keywords=" + std::string(manual.keywords) + "\n";
  out += "StartupWMClass=" + std::string(manual.name) + "\n";
  return out;
}

}  // namespace common::cli
