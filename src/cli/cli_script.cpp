// script run: the console's "Script" window loads the file and runs all its
// steps; each row is printed as the window reports it done, as a text line or
// a record, and goes into the JUnit report when one is asked for.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "cli/cli_session.h"
#include "cli/junit_report.h"
#include "core/text.h"
#include "core/text_file.h"
#include "scripting/script_window.h"

namespace kps::cli {

std::string Shown(const std::string& text) {
  std::string shown = TrimBlanks(text);
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return shown;
}

namespace {

bool Red(const ScriptTable& table, int row, int column) {
  return table.cell(row, column).back == kCellRed;
}

// What went wrong with the row that ran last besides its comparison, or empty.
std::string RowProblem(const ScriptWindow& window, int row) {
  const ScriptTable& table = window.vbalGrid1;
  if (Red(table, row, kColOperation)) return "the row is in error";
  if (Red(table, row, kColI2CAdr)) return "not run";
  if (!window.RowWriteResult.ok()) return "write failed: " + window.RowWriteResult.Why();
  if (!window.RowReadResult.ok()) return "read failed: " + window.RowReadResult.Why();
  // The loader's placeholder is still there: the row's read was never made
  // (an illegal address).
  if (!table.text(row, kColDataRd).empty() && table.text(row, kColActRd) == kNoReading) {
    return "not run";
  }
  return "";
}

// "line 4  Reg:1 R:1  adr 88  reg 01  expect A3  read A3  pass"
std::string RowLine(const ScriptWindow& window, int row) {
  const ScriptTable& table = window.vbalGrid1;
  auto text = [&](int column) { return Shown(table.text(row, column)); };
  std::string line = "line " + text(kColLine) + "  " + text(kColOperation);
  const std::string address = text(kColI2CAdr);
  if (!address.empty()) line += "  adr " + address;
  const std::string reg = text(kColRegAdr);
  if (!reg.empty()) line += "  reg " + reg;
  const std::string written = text(kColDataWr);
  if (!written.empty()) line += "  write " + written;
  const std::string expected = text(kColDataRd);
  const ScriptCell& actual = table.cell(row, kColActRd);
  const std::string read = Shown(actual.text);
  const std::string captured = text(kColADDecimal);

  std::string result;
  if (read.rfind("Delay Keypress", 0) == 0) {
    result = "pause";
  } else if (read.rfind("Delay ", 0) == 0) {
    result = "delay " + read.substr(6) + " ms";
  } else {
    if (!expected.empty()) line += "  expect " + expected;
    if (!expected.empty()) line += "  read " + (read.empty() ? std::string("-") : read);
    if (actual.back == kCellGreen) {
      result = "pass";
    } else if (actual.back == kCellRed) {
      result = "FAIL";
    } else if (!captured.empty()) {
      result = "capture " + captured;
    } else {
      result = "ok";
    }
  }
  const std::string problem = RowProblem(window, row);
  if (!problem.empty()) result = (result == "ok" ? "FAIL" : result) + " (" + problem + ")";
  line += "  " + result;
  const std::string comment = text(kColComment);
  if (!comment.empty()) line += (comment[0] == '#' ? "  " : "  # ") + comment;
  return line;
}

std::string Counters(const std::string& total, const std::string& pass, const std::string& fail) {
  return "Total " + total + " Pass " + pass + " Fail " + fail;
}

long long Count(const std::string& text) {
  return IsNumeric(text) ? RoundHalfEven(NumericValue(text)) : 0;
}

long long Count(const TextBox& box) {
  return Count(box.text());
}

// A row as the records and the report give it: what the window shows of it.
struct RowOutcome {
  std::string line;  // "003"
  std::string kind;  // write, read, address, delay, pause, comment, error
  std::optional<std::string> address;
  std::string reg, write, expect;
  std::optional<std::string> read;
  std::string result;  // ok, pass, fail, capture, error, not run
  std::optional<long long> capture;
  std::string comment;
  std::string problem;  // RowProblem's, for a row that ran
};

std::string KindOf(const ScriptWindow& window, int row) {
  const ScriptTable& table = window.vbalGrid1;
  const auto index = static_cast<std::size_t>(row - 1);
  const RowKind kind =
      index < window.rowCounts.size() ? window.rowCounts[index].kind : RowKind::Other;
  if (kind == RowKind::Error) return "error";
  if (kind == RowKind::Pause) return "pause";
  if (kind == RowKind::Delay) return "delay";
  if (!table.text(row, kColDataRd).empty()) return "read";
  if (!table.text(row, kColRegAdr).empty() || !table.text(row, kColDataWr).empty()) return "write";
  if (table.text(row, kColOperation).starts_with("Cmd:Set I2C Adr")) return "address";
  return "comment";  // comments, blank lines, and commands that do nothing
}

// `ran`: the row ran in this pass; otherwise the run ended before it, and
// what its cells show is from an earlier pass.
RowOutcome OutcomeOf(const ScriptWindow& window, int row, bool ran) {
  const ScriptTable& table = window.vbalGrid1;
  auto text = [&](int column) { return Shown(table.text(row, column)); };
  RowOutcome o;
  o.line = text(kColLine);
  o.kind = KindOf(window, row);
  o.reg = text(kColRegAdr);
  o.write = text(kColDataWr);
  o.expect = text(kColDataRd);
  o.comment = text(kColComment);
  if (o.kind == "read" || o.kind == "write" || o.kind == "address") {
    if (const auto address = ParseHex(text(kColI2CAdr), 0xFF)) o.address = Hex2(*address);
  }
  if (!ran) {
    o.result = "not run";
    return o;
  }
  o.problem = RowProblem(window, row);
  if (o.kind == "error" || o.problem == "not run") {
    o.result = o.kind == "error" ? "error" : "not run";
    return o;
  }
  if (o.kind == "read") {
    const ScriptCell& actual = table.cell(row, kColActRd);
    const std::string read = Shown(actual.text);
    if (!read.empty() && read != kNoReading) o.read = read;
    const std::string captured = text(kColADDecimal);
    if (actual.back == kCellGreen) {
      o.result = "pass";
    } else if (actual.back == kCellRed) {
      o.result = "fail";
    } else if (IsNumeric(captured)) {
      o.result = "capture";
      o.capture = Count(captured);
    }
  }
  if (o.result.empty()) o.result = o.problem.empty() ? "ok" : "fail";
  return o;
}

Record RowRecord(const RowOutcome& o) {
  const auto nullable = [](const auto& value) -> FieldValue {
    if (value) return *value;
    return nullptr;
  };
  return {{"line", Count(o.line)},
          {"kind", o.kind},
          {"address", nullable(o.address)},
          {"reg", o.reg},
          {"write", o.write},
          {"expect", o.expect},
          {"read", nullable(o.read)},
          {"result", o.result},
          {"capture", nullable(o.capture)},
          {"comment", o.comment}};
}

// The report's case for a row, or none for a row that is not checked: rows
// with expected data and rows in error always are; another row is when its
// transfer failed, which fails the run.
std::optional<JUnitCase> CaseOf(const RowOutcome& o, double seconds, const std::string& details,
                                const std::string& notRun) {
  if (o.expect.empty() && o.kind != "error" && o.problem.empty()) return std::nullopt;
  JUnitCase c;
  c.name = "line " + o.line;
  c.seconds = seconds;
  c.details = details;
  if (!o.reg.empty()) c.name += " reg " + o.reg;
  if (o.expect.empty() && !o.write.empty()) c.name += " write " + o.write;
  if (!o.expect.empty()) c.name += " expect " + o.expect;
  const auto error = [&](const char* type, const std::string& message) {
    c.outcome = JUnitCase::Outcome::Error;
    c.type = type;
    c.message = message;
  };
  if (o.result == "not run") {
    error("not run", o.problem.empty() ? notRun : "not run");
  } else if (o.result == "error") {
    error("row error", "the row is in error: " + o.comment);
  } else if (!o.problem.empty()) {
    error("transfer", o.problem);
  } else if (o.result == "fail") {
    c.outcome = JUnitCase::Outcome::Failed;
    c.type = "comparison";
    c.message = "read " + o.read.value_or(kNoReading) + ", expected " + o.expect;
  }
  if (c.details.empty()) c.details = c.message;
  return c;
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

std::string Counted(std::size_t n, const std::string& what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

}  // namespace

int CheckScript(const Request& request, std::ostream& out, std::ostream& err) {
  const auto loaded = LoadScript(request.scriptPath, HexText(request.address));
  if (const auto* error = std::get_if<std::string>(&loaded)) {
    err << kCliName << ": " << *error << '\n';
    return kExitUsage;
  }
  const LoadedScript& script = std::get<ScriptLoad>(loaded).script;
  RecordWriter records(out, request.format);
  std::size_t errors = 0;
  for (const ScriptNote& note : script.notes) {
    errors += note.error ? 1 : 0;
    const std::string text = Shown(note.text);
    records.Write(
        {{"line", static_cast<long long>(note.line)},
         {"level", std::string(note.error ? "error" : "warning")},
         {"message", text}},
        "line " + std::to_string(note.line) + ": " + (note.error ? "" : "Warning: ") + text);
  }
  (request.format == OutputFormat::Text ? out : err)
      << Counted(script.rows.size(), "line") << ": " << Counted(errors, "error row") << ", "
      << Counted(script.notes.size() - errors, "warning") << '\n';
  return errors > 0 ? kExitFailed : kExitOk;
}

int Session::Script() {
  ConsoleWindow& console = app_.console;
  RunFlags& flags = app_.flags;
  console.rec.mnuScript.Click();
  const std::vector<ScriptWindow*> windows = app_.scripts.open();
  if (windows.empty()) return kExitFailed;
  ScriptWindow& window = *windows.front();

  toolkit_.AnswerFileDialog(request_.scriptPath);
  window.mnuScript_Read.Click();
  if (window.NextLineIndex == 0) return kExitUsage;  // the message said why
  const bool exportToOutput = request_.exportPath == kStandardOutput;
  if (!request_.exportPath.empty() && !exportToOutput &&
      !Writable(request_.exportPath, "table file")) {
    return kExitUsage;
  }
  const bool junit = !request_.junitPath.empty();
  if (junit && request_.junitPath != kStandardOutput &&
      !Writable(request_.junitPath, "JUnit report")) {
    return kExitUsage;
  }
  // The window writes the table for the standard output to a file of its
  // own, as it writes any; the file is then copied out.
  TemporaryFile exportCopy;
  if (exportToOutput) {
    if (const std::string why = exportCopy.Make(); !why.empty()) {
      toolkit_.ShowMessage("Cannot make a temporary file for the table: " + why + ".",
                           MessageButtons::Ok);
      return kExitUsage;
    }
  }
  if (window.LineTotal == 0) {
    toolkit_.ShowMessage(
        "The script file \"" + request_.scriptPath + "\" has no lines: nothing was run.",
        MessageButtons::Ok);
    return kExitFailed;
  }
  window.chkAOF.setChecked(request_.abortOnFail);
  toolkit_.SetUnattendedAnswer(
      request_.pauseContinues ? MessageResult::Ok : MessageResult::Cancel,
      request_.pauseContinues ? "--on-pause continue" : "--on-pause abort");

  // When a file goes to the standard output, the rows and totals go to the
  // standard error. CSV has no room for the totals: they go there as text.
  const OutputFormat format = request_.format;
  RecordWriter& records = records_;
  // The counters of pass `loop`, or of the whole run for 0.
  auto writeTotals = [&](long long loop, const std::string& total, const std::string& pass,
                         const std::string& fail) {
    const std::string line =
        (loop > 0 ? "Loop " + std::to_string(loop) + ": " : "") + Counters(total, pass, fail);
    if (format == OutputFormat::Csv) {
      toolkit_.err() << line << '\n';
      toolkit_.err().flush();
      return;
    }
    const Field counts[] = {{"total", Count(total)}, {"pass", Count(pass)}, {"fail", Count(fail)}};
    Record record;
    if (loop > 0) record.push_back({"loop", loop});
    record.insert(record.end(), std::begin(counts), std::end(counts));
    records.Write(record, line);
  };

  // The report's suite for the pass under way; the rows done in it.
  const std::string scriptName = std::filesystem::path(request_.scriptPath).filename().string();
  std::vector<JUnitSuite> suites;
  JUnitSuite suite;
  uint32_t passStart = 0, rowStart = 0;
  int passRow = 0;
  auto startPass = [&] {
    suite = JUnitSuite();
    suite.started = toolkit_.Now();
    passStart = rowStart = toolkit_.Millis();
    passRow = 0;
  };
  auto addRow = [&](int row, bool ran) {
    const RowOutcome outcome = OutcomeOf(window, row, ran);
    const std::string line = ran ? RowLine(window, row) : "";
    if (ran || format != OutputFormat::Text) records.Write(RowRecord(outcome), line);
    if (ran && format != OutputFormat::Text && !outcome.problem.empty() &&
        outcome.kind != "error") {
      toolkit_.ShowMessage("line " + outcome.line + ": " + outcome.problem + ".",
                           MessageButtons::Ok);
    }
    const uint32_t now = toolkit_.Millis();
    const std::string notRun = passRow == 0
                                   ? "not run: the run ended before its first row"
                                   : "not run: the run ended after line " + std::to_string(passRow);
    if (junit) {
      if (auto c = CaseOf(outcome, ran ? (now - rowStart) / 1000.0 : 0.0, line, notRun)) {
        suite.cases.push_back(std::move(*c));
      }
    }
    rowStart = now;
  };
  // The rows a pass cut short did not reach are not run.
  auto endPass = [&](long long pass) {
    for (int row = passRow + 1; row <= window.LineTotal; ++row) addRow(row, false);
    suite.name = scriptName + (request_.loops > 1 ? " pass " + std::to_string(pass) : "");
    suite.seconds = (toolkit_.Millis() - passStart) / 1000.0;
    suite.output =
        Counters(window.txttotReads.text(), window.txtRdPass.text(), window.txtRdFails.text()) +
        "\n";
    suites.push_back(std::move(suite));
    startPass();
  };

  // A row is done when the window shows its number in "Running".
  int rowProblems = 0;
  int lastRow = 0;
  const int running = window.txtRunning.Subscribe([&] {
    const std::string& shown = window.txtRunning.text();
    if (!IsNumeric(shown)) return;
    lastRow = static_cast<int>(NumericValue(shown));
    toolkit_.ShowProgress({lastRow, window.LineTotal, "rows", Count(window.txtRdFails)});
    addRow(lastRow, true);
    passRow = lastRow;
    if (!RowProblem(window, lastRow).empty()) ++rowProblems;
  });

  // Each pass of "Loop Cont" ends with the loop count shown.
  long long passes = 0, passTotal = 0, failTotal = 0;
  std::string passesShown = window.txtLoopCount.text();
  const int looping = window.txtLoopCount.Subscribe([&] {
    const std::string& shown = window.txtLoopCount.text();
    if (shown == passesShown || !IsNumeric(shown) || NumericValue(shown) < 1) return;
    passesShown = shown;
    ++passes;
    passTotal += Count(window.txtRdPass);
    failTotal += Count(window.txtRdFails);
    endPass(passes);
    writeTotals(Count(shown), window.txttotReads.text(), window.txtRdPass.text(),
                window.txtRdFails.text());
  });

  // "Abort" ends the run after its current row: on Ctrl-C (again if a new
  // pass cleared the request), and once "Loop Count" shows the passes wanted
  // after a pass that was not cut short.
  bool loopsDone = false;
  stop_ = [&] { window.cmdAbort.Click(); };
  toolkit_.onEvents = [&] {
    if (flags.AbortRequested) return;
    if (interrupted_) {
      window.cmdAbort.Click();
    } else if (!loopsDone && window.txtLoopCount.text() == std::to_string(request_.loops)) {
      loopsDone = true;
      window.cmdAbort.Click();
    }
  };
  startPass();
  if (interrupted_) {
    toolkit_.ShowMessage("Interrupted before the first row: nothing was run.", MessageButtons::Ok);
  } else if (request_.loops == 1) {
    window.cmdExecAll.Click();
  } else {
    window.cmdRunContinuous.Click();
  }
  toolkit_.onEvents = nullptr;
  stop_ = nullptr;
  window.txtRunning.Unsubscribe(running);
  window.txtLoopCount.Unsubscribe(looping);
  if (request_.loops == 1 || passes == 0) endPass(1);

  const bool allRan =
      lastRow == window.LineTotal && (request_.loops == 1 || passes >= request_.loops);
  const bool endedEarly = interrupted_ || (flags.AbortRequested && !loopsDone && !allRan);
  if (endedEarly && lastRow > 0) {
    std::string where =
        "line " + std::to_string(lastRow) + " of " + std::to_string(window.LineTotal);
    if (request_.loops > 1) {
      where += " in pass " + std::to_string(passes) + " of " + std::to_string(request_.loops);
    }
    toolkit_.ShowMessage("The run ended at " + where + ".", MessageButtons::Ok);
  }

  bool exportFailed = false;
  if (!request_.exportPath.empty()) {
    window.txtFilePath.setText(exportToOutput ? exportCopy.path() : request_.exportPath);
    window.chkAppend.setChecked(request_.append && !exportToOutput);
    const int messagesBefore = toolkit_.messages();
    window.cmdStartRec.Click();
    exportFailed = toolkit_.messages() != messagesBefore;
    if (!exportFailed && exportToOutput) exportFailed = !CopyToStandardOutput(exportCopy.path());
  }

  bool junitFailed = false;
  if (junit) {
    const std::string xml = JUnitXml(suites, scriptName, HostName());
    if (request_.junitPath == kStandardOutput) {
      out_ << xml;
      out_.flush();
    } else if (const std::string error =
                   SaveTextFile(request_.junitPath, xml, false, "JUnit report");
               !error.empty()) {
      toolkit_.ShowMessage(error, MessageButtons::Ok);
      junitFailed = true;
    }
  }

  long long fails = Count(window.txtRdFails);
  if (request_.loops == 1) {
    writeTotals(0, window.txttotReads.text(), window.txtRdPass.text(), window.txtRdFails.text());
  } else {
    fails = failTotal;
    writeTotals(0, std::to_string(Count(window.txttotReads) * passes), std::to_string(passTotal),
                std::to_string(failTotal));
  }
  if (exportFailed || junitFailed) return kExitUsage;
  if (fails > 0 || rowProblems > 0 || endedEarly) return kExitFailed;
  return kExitOk;
}

}  // namespace kps::cli
