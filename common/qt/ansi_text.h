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

}  // namespace common
