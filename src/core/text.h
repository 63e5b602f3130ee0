// Text forms shared by every window: hex entry and display, the numeric value
// of a text box, and the signed-blank decimal form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/toolkit.h"

namespace kps {

// The value of a hex text as a 16-bit signed integer. Hex digits are read up to
// the first character that is not one; an empty text (or one that starts with a
// non-digit) is 0; four digits with the top bit set are negative ("FFFF" = -1).
// A value past four digits does not fit: nullopt, and every caller says so in words.
std::optional<int16_t> HexVal(std::string_view text);

// The value of a text that must be hex and nothing else, for what a user types
// into an address or register box: blanks around it, an optional "0x" or "0X"
// prefix, then one or more hex digits of either case and no other character,
// spelling at most `maxValue` (leading zeros allowed). nullopt for anything else,
// the empty text included: "8a", " 0x8A ", "008A" are 0x8A; "G1", "zz", "0x",
// "1 2", "-1" are refused.
std::optional<unsigned> ParseHex(std::string_view text, unsigned maxValue);

// What a box or cell shows in place of a value that was not read: before the
// first read, or when the read failed.
inline constexpr const char* kNoReading = "--";

// A byte as two upper-case hex digits: 0x0A -> "0A", 0xF0 -> "F0".
std::string HexByte(unsigned value);

// Upper-case hex of any value with no padding ("1FF").
std::string HexText(unsigned long value);

// The number formed by the text's numeric prefix (optional blanks, sign, digits,
// decimal point, exponent); 0 when there is none.
double NumericValue(std::string_view text);

// True when the whole text is a number (blanks around it allowed).
bool IsNumeric(std::string_view text);

// A number as a "0000.00"-style pattern prints it: at least `minIntegerDigits`
// integer digits (0: none before the point for values below 1, ".50"), exactly
// `decimals` decimals, halves rounded away from zero.
std::string FormatFixed(double value, int minIntegerDigits, int decimals);

// Conversion to an integer: nearest, halves to even (2.5 -> 2, 3.5 -> 4);
// values past the range of long long are held at its ends.
long long RoundHalfEven(double value);

// Decimal with one leading blank for zero and positive values, "-" for negative.
std::string SignedBlank(long long value);
// The text without the blanks before and after it (" 12 " -> "12").
std::string TrimBlanks(const std::string& text);

// "mm-dd-yyyy" and "hh:mm:ss" (24 hours).
std::string DateText(const LocalTime& t);
std::string TimeText(const LocalTime& t);

}  // namespace kps
