// The tools keep texts as single-byte (Windows-1252) bytes, as the game
// server's files hold them; Qt shows QString. These convert between the two.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace common {

QString AnsiToQString(std::string_view bytes);
// Characters with no single-byte form become "?".
std::string QStringToAnsi(const QString& text);

// Text as it may be shown on a terminal: control characters written as the
// visible escapes of common/visible_text.h. kKeep leaves line feeds as they
// are, for a text the tool composed of several lines (whose names went
// through VisibleName); kEscape makes any text one line.
enum class LineBreaks { kEscape, kKeep };
QString VisibleText(const QString& text, LineBreaks breaks = LineBreaks::kEscape);

}  // namespace common
