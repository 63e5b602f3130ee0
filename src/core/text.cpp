#include "core/text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <utility>

namespace kps {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<int16_t> HexVal(std::string_view text) {
  // Leading zeros still fit ("00012" is 0x12); a fifth significant digit does not.
  unsigned value = 0;
  for (char c : text) {
    const int d = HexDigit(c);
    if (d < 0) break;
    value = value * 16 + static_cast<unsigned>(d);
    if (value > 0xFFFF) return std::nullopt;
  }
  return static_cast<int16_t>(static_cast<uint16_t>(value));
}

std::optional<unsigned> ParseHex(std::string_view text, unsigned maxValue) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  if (text.empty()) return std::nullopt;
  unsigned long long value = 0;
  for (char c : text) {
    const int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    value = value * 16 + static_cast<unsigned>(d);
    if (value > maxValue) return std::nullopt;
  }
  return static_cast<unsigned>(value);
}

std::string HexByte(unsigned value) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02X", value & 0xFFu);
  return buf;
}

std::string HexText(unsigned long value) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%lX", value);
  return buf;
}

namespace {

// Where the numeric prefix of a text lies (optional blanks, sign, digits,
// decimal point, exponent): [begin, end), empty when there is none.
std::pair<std::size_t, std::size_t> NumericPrefix(std::string_view text) {
  // Leading blanks are skipped, then the longest numeric prefix is taken.
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  std::size_t end = i;
  if (end < text.size() && (text[end] == '+' || text[end] == '-')) ++end;
  const std::size_t digits_start = end;
  while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
  if (end < text.size() && text[end] == '.') {
    ++end;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
  }
  if (end == digits_start || (end == digits_start + 1 && text[digits_start] == '.')) return {i, i};
  // An exponent counts only when digits follow it.
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    std::size_t e = end + 1;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
    if (e < text.size() && std::isdigit(static_cast<unsigned char>(text[e]))) {
      while (e < text.size() && std::isdigit(static_cast<unsigned char>(text[e]))) ++e;
      end = e;
    }
  }
  return {i, end};
}

}  // namespace

double NumericValue(std::string_view text) {
  const auto [begin, end] = NumericPrefix(text);
  if (begin == end) return 0.0;
  const std::string number(text.substr(begin, end - begin));
  return std::strtod(number.c_str(), nullptr);
}

bool IsNumeric(std::string_view text) {
  const auto [begin, end] = NumericPrefix(text);
  if (begin == end) return false;
  for (std::size_t i = end; i < text.size(); ++i) {
    if (text[i] != ' ' && text[i] != '\t') return false;
  }
  return true;
}

std::string FormatFixed(double value, int minIntegerDigits, int decimals) {
  if (!std::isfinite(value)) return "0";
  // Halves away from zero, as a format pattern rounds; a tiny offset keeps
  // values such as 0.125 (stored a hair below) from rounding down.
  const double scale = std::pow(10.0, decimals);
  double scaled = std::round(std::fabs(value) * scale * (1 + 1e-12));
  std::string digits = std::to_string(static_cast<unsigned long long>(std::min(scaled, 1.8e19)));
  if (static_cast<int>(digits.size()) <= decimals) {
    digits.insert(0, static_cast<std::size_t>(decimals + 1) - digits.size(), '0');
  }
  std::string integer = digits.substr(0, digits.size() - static_cast<std::size_t>(decimals));
  const std::string fraction = digits.substr(integer.size());
  if (integer == "0" && minIntegerDigits == 0) integer.clear();
  if (static_cast<int>(integer.size()) < minIntegerDigits) {
    integer.insert(0, static_cast<std::size_t>(minIntegerDigits) - integer.size(), '0');
  }
  const bool negative = value < 0 && scaled != 0;
  return (negative ? "-" : "") + integer + (decimals > 0 ? "." + fraction : "");
}

long long RoundHalfEven(double value) {
  // A number past the integer range (a text such as "1e300") is held at the
  // range's end rather than converted with undefined results; NaN is 0.
  if (std::isnan(value)) return 0;
  constexpr double kLimit = 9.2233720368547748e18;  // 2^63, the first value past the range
  if (value >= kLimit) return std::numeric_limits<long long>::max();
  if (value <= -kLimit) return std::numeric_limits<long long>::min();
  return static_cast<long long>(std::nearbyint(value));  // the default rounding mode is to even
}

std::string SignedBlank(long long value) {
  return value < 0 ? std::to_string(value) : " " + std::to_string(value);
}

std::string TrimBlanks(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string DateText(const LocalTime& t) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02d-%02d-%04d", t.month, t.day, t.year);
  return buf;
}

std::string TimeText(const LocalTime& t) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  return buf;
}

}  // namespace kps
