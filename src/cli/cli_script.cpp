// script run: the console's "Script" window loads the file and runs all its
// steps; each row is printed as the window reports it done.
#include <ostream>

#include "cli/cli_session.h"
#include "core/text.h"
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

long long Count(const TextBox& box) {
  return IsNumeric(box.text()) ? RoundHalfEven(NumericValue(box.text())) : 0;
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
  std::size_t errors = 0;
  for (const ScriptNote& note : script.notes) {
    errors += note.error ? 1 : 0;
    out << "line " << note.line << ": " << (note.error ? "" : "Warning: ") << Shown(note.text)
        << '\n';
  }
  out << Counted(script.rows.size(), "line") << ": " << Counted(errors, "error row") << ", "
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
  if (!request_.exportPath.empty() && !Writable(request_.exportPath, "table file")) {
    return kExitUsage;
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

  // A row is done when the window shows its number in "Running".
  int rowProblems = 0;
  int lastRow = 0;
  const int running = window.txtRunning.Subscribe([&] {
    const std::string& shown = window.txtRunning.text();
    if (!IsNumeric(shown)) return;
    lastRow = static_cast<int>(NumericValue(shown));
    toolkit_.ShowProgress({lastRow, window.LineTotal, "rows", Count(window.txtRdFails)});
    out_ << RowLine(window, lastRow) << '\n';
    out_.flush();
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
    out_ << "Loop " << shown << ": "
         << Counters(window.txttotReads.text(), window.txtRdPass.text(), window.txtRdFails.text())
         << '\n';
    out_.flush();
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
    window.txtFilePath.setText(request_.exportPath);
    window.chkAppend.setChecked(request_.append);
    const int messagesBefore = toolkit_.messages();
    window.cmdStartRec.Click();
    exportFailed = toolkit_.messages() != messagesBefore;
  }

  long long fails = Count(window.txtRdFails);
  if (request_.loops == 1) {
    out_ << Counters(window.txttotReads.text(), window.txtRdPass.text(), window.txtRdFails.text())
         << '\n';
  } else {
    fails = failTotal;
    out_ << Counters(std::to_string(Count(window.txttotReads) * passes), std::to_string(passTotal),
                     std::to_string(failTotal))
         << '\n';
  }
  if (exportFailed) return kExitUsage;
  if (fails > 0 || rowProblems > 0 || endedEarly) return kExitFailed;
  return kExitOk;
}

}  // namespace kps::cli
