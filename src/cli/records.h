// kps-eval-cli's results as records, written for people (the aligned text
// lines, unchanged), as CSV (RFC 4180: a header line, fields quoted when they
// must be, CR LF line ends) or as JSON Lines (one object a line, UTF-8). The
// fields have the same names as CSV columns and as JSON keys.
#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "acquisition/reading_statistics.h"

namespace kps::cli {

enum class OutputFormat { Text, Csv, Json };

// null, a flag, a whole number, a number, a text.
using FieldValue = std::variant<std::nullptr_t, bool, long long, double, std::string>;

struct Field {
  std::string name;
  FieldValue value;
};
using Record = std::vector<Field>;

class RecordWriter {
 public:
  RecordWriter(std::ostream& out, OutputFormat format) : out_(out), format_(format) {}

  OutputFormat format() const { return format_; }
  // One record. Text writes `textLine` (and a line end) instead; CSV writes
  // the header line before the first record and again whenever the fields
  // change. Each record is flushed, so that a reader sees it at once.
  void Write(const Record& record, const std::string& textLine);

 private:
  std::ostream& out_;
  OutputFormat format_;
  std::vector<std::string> header_;
};

// One reading of measure or collect: `ok` false for a failed reading, whose
// counts and lux are then null (never zeros). `lux` is empty in IR mode or
// out of range.
struct SampleValues {
  std::chrono::system_clock::time_point time;
  long long sample = 0;  // from 0
  bool ok = true;
  int prox = 0;
  int alsIr = 0;
  std::optional<double> lux;
};
Record SampleRecord(const SampleValues& values);
// A stream's text line: "2026-12-06T15:04:09.123Z 17 26 3276 100.0"; a
// failed reading shows "-" for its counts and lux.
std::string SampleTextLine(const SampleValues& values);
// The lux the console shows ("100.2", ">=125"), as a number when it is one.
std::optional<double> LuxNumber(const std::string& shown);

// The figures of the statistics as fields: prox_n, prox_mean ... lux_pp, each
// as StatNumber writes it (null where there is none), added to `record`.
void AddStatsFields(Record& record, const ReadingStats& stats);
// --stats in text: one line a quantity,
// "prox    n 100  mean 26.02  sd 1.4  min 23  max 29  pp 6" ("-" for no figure).
std::string StatsTextLine(const StatQuantity& quantity, const ReadingStats& stats);
// A figure as StatNumber writes it, "-" where there is none.
std::string StatText(double value);

// A text as a JSON string, quotes included; bytes that are not UTF-8 become U+FFFD.
std::string JsonString(const std::string& text);
// The text with every byte that is not UTF-8 replaced by U+FFFD.
std::string ValidUtf8(const std::string& text);
// One CSV field: quoted when it holds a comma, a quote, CR or LF (quotes doubled).
std::string CsvField(const std::string& text);
// "2026-12-06T15:04:09.123Z"
std::string IsoUtc(std::chrono::system_clock::time_point time);
// A byte as two upper-case hex digits.
std::string Hex2(unsigned value);

}  // namespace kps::cli
