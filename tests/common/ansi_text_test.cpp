// Single-byte texts shown in widgets and typed back.
#include "common/qt/ansi_text.h"

#include <gtest/gtest.h>

#include "common/text_util.h"

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

TEST(TrimAtNul, CutsAtTheFirstNul) {
  EXPECT_EQ(TrimAtNul("abc"), "abc");
  EXPECT_EQ(TrimAtNul(std::string_view("\0abc", 4)), "");
  EXPECT_EQ(TrimAtNul(std::string_view("ab\0c\0", 5)), "ab");
}

}  // namespace

}  // namespace common
