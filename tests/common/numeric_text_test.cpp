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

// The value `text` converts to with `convert`, which must succeed.
template <typename T, typename Convert>
T Converted(Convert convert, std::string_view text, std::string_view field) {
  T out{};
  const Status s = convert(text, field, &out);
  EXPECT_TRUE(s.ok()) << text << ": " << s.ToString();
  return out;
}

// Checks that `text` is refused as out of range for `field`, with a message
// that names the field, and that the value already in the output is left as
// it was.
template <typename T, typename Convert>
void ExpectOutOfRange(Convert convert, std::string_view text, std::string_view field) {
  T out = static_cast<T>(42);
  const Status s = convert(text, field, &out);
  EXPECT_EQ(s.code(), Status::Code::kOutOfRange) << text << ": " << s.ToString();
  EXPECT_NE(s.message().find(field), std::string::npos) << s.ToString();
  EXPECT_EQ(out, static_cast<T>(42)) << text << " changed the output";
}

TEST(FieldRanges, EachTypeAcceptsItsRangeAndRejectsTheRest) {
  EXPECT_EQ(Converted<uint8_t>(ToByte, "255", "Type"), 255);
  EXPECT_EQ(Converted<uint8_t>(ToByte, "-0.4", "Type"), 0);
  EXPECT_EQ(Converted<uint8_t>(ToByte, "254.5", "Type"), 254);
  ExpectOutOfRange<uint8_t>(ToByte, "255.5", "Type");
  ExpectOutOfRange<uint8_t>(ToByte, "256", "Type");
  ExpectOutOfRange<uint8_t>(ToByte, "-1", "Type");
  EXPECT_EQ(Converted<int16_t>(ToInteger, "32767", "Pic"), 32767);
  EXPECT_EQ(Converted<int16_t>(ToInteger, "-32768", "Pic"), -32768);
  ExpectOutOfRange<int16_t>(ToInteger, "32768", "Pic");
  EXPECT_EQ(Converted<int16_t>(ToInteger, "-32768.5", "Pic"), -32768)
      << "the even neighbour is in range";
  ExpectOutOfRange<int16_t>(ToInteger, "-32769.5", "Pic");
  EXPECT_EQ(Converted<int32_t>(ToLong, "2147483647", "HP"), 2147483647);
  EXPECT_EQ(Converted<int32_t>(ToLong, "-2147483648", "HP"), INT32_MIN);
  ExpectOutOfRange<int32_t>(ToLong, "2147483648", "HP");
  ExpectOutOfRange<int32_t>(ToLong, "1e400", "HP");
  EXPECT_EQ(Converted<int32_t>(ToLong, "&HFFFF", "HP"), 65535);
}

TEST(FieldRanges, TheErrorNamesTheFieldTheTextAndTheRange) {
  uint8_t level = 7;
  const Status s = ToByte("300", "LevelReq", &level);
  ASSERT_FALSE(s.ok()) << "no overflow";
  EXPECT_EQ(s.code(), Status::Code::kOutOfRange);
  EXPECT_NE(s.message().find("LevelReq"), std::string::npos) << s.message();
  EXPECT_NE(s.message().find("300"), std::string::npos) << s.message();
  EXPECT_NE(s.message().find("0 to 255"), std::string::npos) << s.message();
  EXPECT_EQ(s.ToString(), s.message());
  EXPECT_EQ(level, 7);

  int16_t pic = 0;
  const Status p = ToInteger("40000", "Pic", &pic);
  EXPECT_NE(p.message().find("-32768 to 32767"), std::string::npos) << p.message();
  int32_t hp = 0;
  const Status h = ToLong("-3e9", "HP", &hp);
  EXPECT_NE(h.message().find("-2147483648 to 2147483647"), std::string::npos) << h.message();
}

}  // namespace

}  // namespace common
