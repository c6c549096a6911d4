// Single-byte texts shown in widgets and typed back.
#include "common/qt/ansi_text.h"

#include <gtest/gtest.h>

#include "common/text_util.h"
#include "common/visible_text.h"

namespace common {

namespace {

TEST(AnsiText, EveryByteSurvivesARoundTrip) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(QStringToAnsi(AnsiToQString(all)), all);
}

TEST(AnsiText, UsesTheWesternCodePage) {
  EXPECT_EQ(AnsiToQString("\x80"), QString(QChar(0x20AC)));
  EXPECT_EQ(AnsiToQString("caf\xE9"), QString::fromUtf8("caf\xC3\xA9"));
  EXPECT_EQ(QStringToAnsi(QString::fromUtf8("\xE2\x82\xAC\xE4\xB8\xAD")), "\x80?");
}

TEST(VisibleText, ControlsBecomeEscapesAndNothingElseChanges) {
  EXPECT_EQ(VisibleName(std::string_view("E\x1b]0;\x07\n\r\t\0\x7f\x9d", 12)),
            "E\\e]0;\\x07\\n\\r\\t\\x00\\x7f\\x9d");
  // Backslashes and printable high bytes stay: escaping twice changes nothing.
  const std::string plain = "Caf\xe9 \\Items\\Item5.dat \x80\x9c\xa0\xff \\e";
  EXPECT_EQ(VisibleName(plain), plain);
  // The byte rule and the text rule agree on every byte.
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    EXPECT_EQ(VisibleText(AnsiToQString(byte)), AnsiToQString(VisibleName(byte))) << b;
  }
  EXPECT_EQ(VisibleText("a\n\x1b", LineBreaks::kKeep), "a\n\\e");
}

TEST(TrimAtNul, CutsAtTheFirstNul) {
  EXPECT_EQ(TrimAtNul("abc"), "abc");
  EXPECT_EQ(TrimAtNul(std::string_view("\0abc", 4)), "");
  EXPECT_EQ(TrimAtNul(std::string_view("ab\0c\0", 5)), "ab");
}

}  // namespace

}  // namespace common
