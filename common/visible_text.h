// Names and other data from the server's files, shown as text: every
// character a terminal could take for a command is written as a visible
// escape, so that a name sends no escape sequence and starts no line.
//
// The rule: C0 controls (U+0000 to U+001F), DEL (U+007F) and C1 controls
// (U+0080 to U+009F) become "\e" (ESC), "\n", "\r", "\t", or "\xHH" with two
// lower-case hex digits (so U+009D is "\x9d"). Everything else, the
// backslash included, is kept as it is: ordinary names and the tools' own
// "\"-separated paths print unchanged, and escaping twice changes nothing,
// so a name escaped where a message is composed may pass the printer's
// escaping again. An account name never holds a backslash (the listing
// leaves such files out), so its escaped form is unambiguous; the exact
// bytes of any other text are in the commands' JSON.
#pragma once

#include <string>
#include <string_view>

namespace common {

constexpr bool IsControlCharacter(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// Appends the escape of control character `c` to `out`.
void AppendControlEscape(std::string& out, char32_t c);

// Single-byte (Windows-1252) text with every byte that decodes to a control
// character written as its escape, line feeds included: one line with no
// control in it. Bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D map to nothing in
// that code page and decode to the C1 controls of the same number. Use it
// for each name, path or status message put into a text of several lines;
// the line feeds the text keeps are then only the tool's own.
std::string VisibleName(std::string_view bytes);

}  // namespace common
