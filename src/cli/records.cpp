#include "cli/records.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <ostream>

#include "core/text.h"

namespace kps::cli {

namespace {

// The length of the UTF-8 sequence at text[i], or 0 when it is none.
std::size_t Utf8Length(const std::string& text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  uint32_t code = 0;
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are no UTF-8.
  static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kLeast[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return length;
}

std::string Number(double value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

std::string Json(const FieldValue& value) {
  struct Visit {
    std::string operator()(std::nullptr_t) const { return "null"; }
    std::string operator()(bool b) const { return b ? "true" : "false"; }
    std::string operator()(long long n) const { return std::to_string(n); }
    std::string operator()(double d) const { return Number(d); }
    std::string operator()(const std::string& s) const { return JsonString(s); }
  };
  return std::visit(Visit{}, value);
}

std::string Csv(const FieldValue& value) {
  struct Visit {
    std::string operator()(std::nullptr_t) const { return ""; }
    std::string operator()(bool b) const { return b ? "true" : "false"; }
    std::string operator()(long long n) const { return std::to_string(n); }
    std::string operator()(double d) const { return std::isfinite(d) ? Number(d) : ""; }
    std::string operator()(const std::string& s) const { return CsvField(s); }
  };
  return std::visit(Visit{}, value);
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string json = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t length = Utf8Length(text, i);
    if (length == 0) {
      json += "\xEF\xBF\xBD";  // U+FFFD
      ++i;
      continue;
    }
    if (c == '"' || c == '\\') {
      json += '\\';
      json += static_cast<char>(c);
    } else if (c == '\n') {
      json += "\\n";
    } else if (c == '\r') {
      json += "\\r";
    } else if (c == '\t') {
      json += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      json += escaped;
    } else {
      json.append(text, i, length);
    }
    i += length;
  }
  return json + "\"";
}

std::string ValidUtf8(const std::string& text) {
  std::string valid;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8Length(text, i);
    if (length == 0) {
      valid += "\xEF\xBF\xBD";  // U+FFFD
      ++i;
    } else {
      valid.append(text, i, length);
      i += length;
    }
  }
  return valid;
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string IsoUtc(std::chrono::system_clock::time_point time) {
  const auto ms = std::chrono::floor<std::chrono::milliseconds>(time.time_since_epoch());
  const std::time_t seconds = std::chrono::system_clock::to_time_t(
      std::chrono::system_clock::time_point(std::chrono::floor<std::chrono::seconds>(ms)));
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(ms.count() % 1000));
  return text;
}

std::string Hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
  return text;
}

Record SampleRecord(const SampleValues& v) {
  const auto count = [&](int n) { return v.ok ? FieldValue(static_cast<long long>(n)) : nullptr; };
  return {{"time", IsoUtc(v.time)},
          {"sample", v.sample},
          {"prox", count(v.prox)},
          {"als_ir", count(v.alsIr)},
          {"lux", v.ok && v.lux ? FieldValue(*v.lux) : nullptr},
          {"ok", v.ok}};
}

std::string SampleTextLine(const SampleValues& v) {
  std::string line = IsoUtc(v.time) + " " + std::to_string(v.sample);
  if (!v.ok) return line + " - - -";
  line += " " + std::to_string(v.prox) + " " + std::to_string(v.alsIr) + " ";
  if (!v.lux) return line + "-";
  char lux[32];
  std::snprintf(lux, sizeof lux, "%.1f", *v.lux);
  return line + lux;
}

std::optional<double> LuxNumber(const std::string& shown) {
  if (!IsNumeric(shown)) return std::nullopt;
  return NumericValue(shown);
}

std::string StatText(double value) {
  const std::string text = StatNumber(value);
  return text.empty() ? "-" : text;
}

void AddStatsFields(Record& record, const ReadingStats& stats) {
  for (const StatQuantity& q : kStatQuantities) {
    const RunningStats& s = stats.*q.stats;
    for (const StatFigure figure : kStatFigures) {
      const std::string name = std::string(q.key) + "_" + StatFigureName(figure);
      if (figure == StatFigure::N) {
        record.push_back({name, static_cast<long long>(s.count())});
        continue;
      }
      // The number as written for people, so that every format gives the same figure.
      const std::string text = StatNumber(StatFigureValue(s, figure));
      record.push_back({name, text.empty() ? FieldValue(nullptr) : FieldValue(NumericValue(text))});
    }
  }
}

std::string StatsTextLine(const StatQuantity& q, const ReadingStats& stats) {
  const RunningStats& s = stats.*q.stats;
  char key[16];
  std::snprintf(key, sizeof key, "%-7s", q.key);
  std::string line = key;
  for (const StatFigure figure : kStatFigures) {
    if (figure != StatFigure::N) line += "  ";
    line += std::string(StatFigureName(figure)) + " " + StatText(StatFigureValue(s, figure));
  }
  return line;
}

void RecordWriter::Write(const Record& record, const std::string& textLine) {
  switch (format_) {
    case OutputFormat::Text:
      out_ << textLine << '\n';
      break;
    case OutputFormat::Csv: {
      std::vector<std::string> names;
      for (const Field& field : record) names.push_back(field.name);
      if (names != header_) {
        header_ = names;
        for (std::size_t k = 0; k < names.size(); ++k) out_ << (k ? "," : "") << names[k];
        out_ << "\r\n";
      }
      for (std::size_t k = 0; k < record.size(); ++k) {
        out_ << (k ? "," : "") << Csv(record[k].value);
      }
      out_ << "\r\n";
      break;
    }
    case OutputFormat::Json: {
      out_ << '{';
      for (std::size_t k = 0; k < record.size(); ++k) {
        out_ << (k ? "," : "") << JsonString(record[k].name) << ':' << Json(record[k].value);
      }
      out_ << "}\n";
      break;
    }
  }
  out_.flush();
}

}  // namespace kps::cli
