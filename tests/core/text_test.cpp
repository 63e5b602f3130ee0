#include "core/text.h"

#include <gtest/gtest.h>

#include <limits>

namespace kps {
namespace {

TEST(HexValTest, ReadsDigitsUpToTheFirstNonDigit) {
  EXPECT_EQ(HexVal("A2"), 0xA2);
  EXPECT_EQ(HexVal("8a"), 0x8A);
  EXPECT_EQ(HexVal("1FF"), 0x1FF);
  EXPECT_EQ(HexVal("12G4"), 0x12);
  EXPECT_EQ(HexVal(""), 0);
  EXPECT_EQ(HexVal("XX"), 0);
  EXPECT_EQ(HexVal(" 5"), 0);  // a blank is not a hex digit
}

TEST(HexValTest, FourDigitsWithTheTopBitSetAreNegative) {
  EXPECT_EQ(HexVal("FFFF"), -1);
  EXPECT_EQ(HexVal("8000"), -32768);
  EXPECT_EQ(HexVal("7FFF"), 32767);
}

TEST(HexValTest, AFifthSignificantDigitDoesNotFit) {
  EXPECT_EQ(HexVal("10000"), std::nullopt);
  EXPECT_EQ(HexVal("FFFFF"), std::nullopt);
  EXPECT_EQ(HexVal("123456789ABCDEF0123"), std::nullopt);
  EXPECT_EQ(HexVal("000FF"), 0xFF);  // leading zeros are not significant
  // A register value keeps the low byte of any number of digits.
  EXPECT_EQ(HexLowByte("123456789ABCDEF0123"), 0x23);
  EXPECT_EQ(HexLowByte("5G"), 0x05);
}

TEST(HexTextTest, TwoDigitUpperCase) {
  EXPECT_EQ(HexByte(0x0A), "0A");
  EXPECT_EQ(HexByte(0xF0), "F0");
  EXPECT_EQ(HexByte(0), "00");
  EXPECT_EQ(HexText(0x1FF), "1FF");
}

TEST(NumericValueTest, TakesTheNumericPrefix) {
  EXPECT_DOUBLE_EQ(NumericValue("50"), 50);
  EXPECT_DOUBLE_EQ(NumericValue("  12.5ms"), 12.5);
  EXPECT_DOUBLE_EQ(NumericValue("-7"), -7);
  EXPECT_DOUBLE_EQ(NumericValue("1e3"), 1000);
  EXPECT_DOUBLE_EQ(NumericValue("2e"), 2);
  EXPECT_DOUBLE_EQ(NumericValue("abc"), 0);
  EXPECT_DOUBLE_EQ(NumericValue(""), 0);
  EXPECT_DOUBLE_EQ(NumericValue("."), 0);
}

TEST(NumericValueTest, RoundsHalvesToEven) {
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(2.6), 3);
  // A huge number held at the range's end, never an undefined conversion.
  EXPECT_EQ(RoundHalfEven(NumericValue("1e300")), std::numeric_limits<long long>::max());
  EXPECT_EQ(RoundHalfEven(-1e300), std::numeric_limits<long long>::min());
}

TEST(NumericValueTest, IsNumericOnlyForAWholeNumber) {
  for (const char* yes : {"50", " 50 ", "-3.5", "1e3"}) EXPECT_TRUE(IsNumeric(yes)) << yes;
  for (const char* no : {"", "  ", "50ms", "abc", "."}) EXPECT_FALSE(IsNumeric(no)) << no;
}

TEST(FormatFixedTest, PatternsOfTheLuxAndTimeReadings) {
  struct Case {
    double value;
    int digits;
    int decimals;
    const char* text;
  } cases[] = {
      {2048.0 / 4095 * 125, 4, 2, "0062.52"},
      {4094.0 / 4095 * 2000, 4, 2, "1999.51"},
      {0, 4, 2, "0000.00"},
      {12345.678, 4, 2, "12345.68"},
      {0.4, 0, 2, ".40"},
      {20, 0, 2, "20.00"},
      {0.125, 0, 2, ".13"},
      {-1.5, 4, 2, "-0001.50"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatFixed(c.value, c.digits, c.decimals), c.text);
}

TEST(SignedBlankTest, BlankForZeroAndPositiveMinusForNegative) {
  EXPECT_EQ(SignedBlank(37LL), " 37");
  EXPECT_EQ(SignedBlank(0LL), " 0");
  EXPECT_EQ(SignedBlank(-5LL), "-5");
}

}  // namespace
}  // namespace kps
