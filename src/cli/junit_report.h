// script run --junit: the run as a JUnit XML report, the form CI servers
// read (the Ant JUnit one): one <testsuites> holding one <testsuite> a pass,
// with one <testcase> a checked row, and a <failure> or <error> in a case
// that did not pass. Every text is escaped; characters XML 1.0 does not allow
// are replaced, so that the report always parses.
#pragma once

#include <string>
#include <vector>

#include "core/toolkit.h"

namespace kps::cli {

struct JUnitCase {
  enum class Outcome { Passed, Failed, Error };
  std::string name;  // "line 003 reg 01 expect A4"
  double seconds = 0;
  Outcome outcome = Outcome::Passed;
  // For a case that did not pass: what kind of fault, the one-line message,
  // and the longer text inside the element.
  std::string type;
  std::string message;
  std::string details;
};

struct JUnitSuite {
  std::string name;
  LocalTime started;  // local time, written without a zone
  double seconds = 0;
  std::vector<JUnitCase> cases;
  std::string output;  // <system-out>
};

// The whole report; every case has the class `className`.
std::string JUnitXml(const std::vector<JUnitSuite>& suites, const std::string& className,
                     const std::string& hostname);

// Text for an XML attribute or element: &, <, >, " (and tab, CR, LF, which
// an attribute would lose) as references; the control characters, U+FFFE,
// U+FFFF and bytes that are not UTF-8 as U+FFFD.
std::string XmlText(const std::string& text);

}  // namespace kps::cli
