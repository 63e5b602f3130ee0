#include "core/text.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

namespace kps {
namespace {

TEST(HexValTest, ReadsDigitsUpToTheFirstNonDigitAndFitsSixteenBits) {
  const std::pair<const char*, std::optional<int16_t>> cases[] = {
      {"8a", 0x8A},    {"1FF", 0x1FF},          {"12G4", 0x12}, {"", 0},
      {" 5", 0},                                 // a blank is not a hex digit
      {"7FFF", 32767}, {"8000", -32768},         // four digits with the top bit set are negative
      {"000FF", 0xFF}, {"10000", std::nullopt},  // leading zeros are not significant
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(HexVal(text), value) << text;
  // Typed hex is all hex or refused.
  const std::pair<const char*, std::optional<unsigned>> typed[] = {
      {"8a", 0x8A},  {" 0x8A\t", 0x8A}, {"0XfF", 0xFF},       {"008A", 0x8A},
      {"100", {}},   {"G1", {}},         {"zz", {}},           {"0x", {}},
      {"", {}},      {"1 2", {}},        {"-1", {}},           {"5G", {}},
      {"0x0x1", {}}, {"00000000000000000000FF", 0xFF}, {"FFFFFFFFFFFFFFFFFFFF", {}}};
  for (const auto& [text, value] : typed) EXPECT_EQ(ParseHex(text, 0xFF), value) << text;
  EXPECT_EQ(ParseHex("FFFF", 0xFFFF), 0xFFFFu);
  EXPECT_EQ(HexByte(0x0A), "0A");
  EXPECT_EQ(HexText(0x1FF), "1FF");
}

TEST(NumericValueTest, TakesTheNumericPrefixAndIsNumericOnlyForAWholeNumber) {
  const std::pair<const char*, double> cases[] = {{"  12.5ms", 12.5}, {"-7", -7}, {"1e3", 1000},
                                                  {"2e", 2},          {"abc", 0}, {".", 0}};
  for (const auto& [text, value] : cases) EXPECT_DOUBLE_EQ(NumericValue(text), value) << text;
  for (const char* yes : {" 50 ", "-3.5", "1e3"}) EXPECT_TRUE(IsNumeric(yes)) << yes;
  for (const char* no : {"", "50ms", "."}) EXPECT_FALSE(IsNumeric(no)) << no;
  // Halves to even (the measurement file's counts show it); a huge number is held
  // at the range's end, never an undefined conversion.
  EXPECT_EQ(RoundHalfEven(NumericValue("1e300")), std::numeric_limits<long long>::max());
  EXPECT_EQ(RoundHalfEven(-1e300), std::numeric_limits<long long>::min());
}

TEST(FormatFixedTest, PatternsOfTheLuxAndTimeReadings) {
  // Halves away from zero, also for a value stored a hair below its half (0.285).
  // clang-format off
  const std::tuple<double, int, const char*> cases[] = {
      {2048.0 / 4095 * 125, 4, "0062.52"}, {0, 4, "0000.00"}, {12345.678, 4, "12345.68"},
      {0.4, 0, ".40"}, {20, 0, "20.00"}, {0.125, 0, ".13"}, {0.285, 0, ".29"}, {-1.5, 4, "-0001.50"}};
  // clang-format on
  for (const auto& [value, digits, text] : cases) EXPECT_EQ(FormatFixed(value, digits, 2), text);
}

}  // namespace
}  // namespace kps
