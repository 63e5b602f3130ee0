#include "cli/junit_report.h"

#include <cstdio>

#include "cli/records.h"

namespace kps::cli {

namespace {

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds < 0 ? 0.0 : seconds);
  return text;
}

// "2026-12-06T15:04:09"
std::string Timestamp(const LocalTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

std::string Attribute(const char* name, const std::string& value) {
  return std::string(" ") + name + "=\"" + XmlText(value) + "\"";
}

// The suite and case names are tokens: one that is blank names nothing.
std::string Named(const std::string& name) {
  return name.find_first_not_of(" \t\r\n") == std::string::npos ? "script" : name;
}

}  // namespace

std::string XmlText(const std::string& text) {
  const std::string valid = ValidUtf8(text);
  std::string xml;
  for (std::size_t i = 0; i < valid.size(); ++i) {
    const auto c = static_cast<unsigned char>(valid[i]);
    switch (c) {
      case '&':
        xml += "&amp;";
        continue;
      case '<':
        xml += "&lt;";
        continue;
      case '>':
        xml += "&gt;";
        continue;
      case '"':
        xml += "&quot;";
        continue;
      case '\t':
        xml += "&#9;";
        continue;
      case '\n':
        xml += "&#10;";
        continue;
      case '\r':
        xml += "&#13;";
        continue;
      default:
        break;
    }
    // U+FFFE and U+FFFF are UTF-8 but no XML characters.
    const bool nonCharacter = c == 0xEF && i + 2 < valid.size() &&
                              static_cast<unsigned char>(valid[i + 1]) == 0xBF &&
                              (static_cast<unsigned char>(valid[i + 2]) & 0xFE) == 0xBE;
    if (c < 0x20 || nonCharacter) {
      xml += "\xEF\xBF\xBD";  // U+FFFD
      if (nonCharacter) i += 2;
      continue;
    }
    xml += static_cast<char>(c);
  }
  return xml;
}

std::string JUnitXml(const std::vector<JUnitSuite>& suites, const std::string& className,
                     const std::string& hostname) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n";
  int id = 0;
  for (const JUnitSuite& suite : suites) {
    int failures = 0, errors = 0;
    for (const JUnitCase& c : suite.cases) {
      failures += c.outcome == JUnitCase::Outcome::Failed ? 1 : 0;
      errors += c.outcome == JUnitCase::Outcome::Error ? 1 : 0;
    }
    xml += "  <testsuite" + Attribute("name", Named(suite.name)) +
           Attribute("tests", std::to_string(suite.cases.size())) +
           Attribute("failures", std::to_string(failures)) +
           Attribute("errors", std::to_string(errors)) + Attribute("time", Seconds(suite.seconds)) +
           Attribute("timestamp", Timestamp(suite.started)) +
           Attribute("hostname", Named(hostname)) + Attribute("id", std::to_string(id++)) +
           Attribute("package", Named(suite.name)) + ">\n    <properties/>\n";
    for (const JUnitCase& c : suite.cases) {
      xml += "    <testcase" + Attribute("classname", Named(className)) +
             Attribute("name", Named(c.name)) + Attribute("time", Seconds(c.seconds));
      if (c.outcome == JUnitCase::Outcome::Passed) {
        xml += "/>\n";
        continue;
      }
      const char* element = c.outcome == JUnitCase::Outcome::Failed ? "failure" : "error";
      xml += std::string(">\n      <") + element + Attribute("message", c.message) +
             Attribute("type", c.type) + ">" + XmlText(c.details) + "</" + element +
             ">\n    </testcase>\n";
    }
    xml += "    <system-out>" + XmlText(suite.output) + "</system-out>\n" +
           "    <system-err></system-err>\n  </testsuite>\n";
  }
  return xml + "</testsuites>\n";
}

}  // namespace kps::cli
