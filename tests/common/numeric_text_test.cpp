// The numeric text rule: the leading number, rounding, and field ranges.
#include "common/numeric_text.h"

#include <gtest/gtest.h>

namespace common {

namespace {

TEST(NumericValue, ReadsTheLeadingNumberAndIgnoresTheRest) {
  EXPECT_EQ(NumericValue("12abc"), 12);
  EXPECT_EQ(NumericValue("abc"), 0);
  EXPECT_EQ(NumericValue(""), 0);
  EXPECT_EQ(NumericValue("-2"), -2);
  EXPECT_EQ(NumericValue("+7"), 7);
  EXPECT_EQ(NumericValue("2.5"), 2.5);
  EXPECT_EQ(NumericValue(".5"), 0.5);
  EXPECT_EQ(NumericValue("1.2.3"), 1.2);
  EXPECT_EQ(NumericValue("-"), 0);
  EXPECT_EQ(NumericValue("."), 0);
}

TEST(NumericValue, SkipsBlanksWhereverTheyStand) {
  EXPECT_EQ(NumericValue(" 1 0"), 10);
  EXPECT_EQ(NumericValue("\t- 3\n5"), -35);
  EXPECT_EQ(NumericValue("   "), 0);
  EXPECT_EQ(NumericValue("1\r0"), 1) << "a carriage return is not a blank";
}

TEST(NumericValue, ExponentsHexAndOctal) {
  EXPECT_EQ(NumericValue("1E3"), 1000);
  EXPECT_EQ(NumericValue("25e-1"), 2.5);
  EXPECT_EQ(NumericValue("1e"), 1);
  EXPECT_EQ(NumericValue("1e+"), 1);
  EXPECT_EQ(NumericValue("&H10"), 16);
  EXPECT_EQ(NumericValue("&hff"), 255);
  EXPECT_EQ(NumericValue("&O17"), 15);
  EXPECT_EQ(NumericValue("&O18"), 1);
  EXPECT_EQ(NumericValue("&X1"), 0);
  EXPECT_EQ(NumericValue("&H"), 0);
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(-3.5), -4);
  EXPECT_EQ(RoundHalfEven(12.5), 12);
  EXPECT_EQ(RoundHalfEven(37.5), 38);
  EXPECT_EQ(RoundHalfEven(2.4999), 2);
  EXPECT_EQ(RoundHalfEven(2.5001), 3);
}

TEST(FieldRanges, EachTypeAcceptsItsRangeAndRejectsTheRest) {
  EXPECT_EQ(ToByte("255", "Type"), 255);
  EXPECT_EQ(ToByte("-0.4", "Type"), 0);
  EXPECT_EQ(ToByte("254.5", "Type"), 254);
  EXPECT_THROW(ToByte("255.5", "Type"), FieldOverflow);
  EXPECT_THROW(ToByte("256", "Type"), FieldOverflow);
  EXPECT_THROW(ToByte("-1", "Type"), FieldOverflow);
  EXPECT_EQ(ToInteger("32767", "Pic"), 32767);
  EXPECT_EQ(ToInteger("-32768", "Pic"), -32768);
  EXPECT_THROW(ToInteger("32768", "Pic"), FieldOverflow);
  EXPECT_EQ(ToInteger("-32768.5", "Pic"), -32768) << "the even neighbour is in range";
  EXPECT_THROW(ToInteger("-32769.5", "Pic"), FieldOverflow);
  EXPECT_EQ(ToLong("2147483647", "HP"), 2147483647);
  EXPECT_EQ(ToLong("-2147483648", "HP"), INT32_MIN);
  EXPECT_THROW(ToLong("2147483648", "HP"), FieldOverflow);
  EXPECT_THROW(ToLong("1e400", "HP"), FieldOverflow);
  EXPECT_EQ(ToLong("&HFFFF", "HP"), 65535);
}

TEST(FieldRanges, TheErrorNamesTheFieldAndTheText) {
  try {
    ToByte("300", "LevelReq");
    FAIL() << "no overflow";
  } catch (const FieldOverflow& e) {
    EXPECT_EQ(e.field(), "LevelReq");
    EXPECT_EQ(e.text(), "300");
    EXPECT_NE(std::string(e.what()).find("0 to 255"), std::string::npos);
  }
}

}  // namespace

}  // namespace common
