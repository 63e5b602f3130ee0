// Running rows: one at a time from a click, or all in order.
#include <cstdio>

#include "core/text.h"
#include "scripting/script_window.h"
#include "shell/app_context.h"

namespace kps {

namespace {

// Up to `count` characters from `pos` on; nothing past the end.
std::string Mid(const std::string& text, std::size_t pos, std::size_t count) {
  return pos < text.size() ? text.substr(pos, count) : std::string();
}

// The value of up to two hex characters (the loader has checked them); 0 for none.
int PairValue(const std::string& pair) {
  return static_cast<int>(ParseHex(pair, 0xFF).value_or(0));
}

std::string NumberText(double value) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  return buf;
}

}  // namespace

void ScriptWindow::RowFailure(int row, const std::string& description) {
  app_.toolkit.ShowMessage("Script row " + std::to_string(row) + ": " + description,
                           MessageButtons::Ok);
}

std::vector<uint8_t> ScriptWindow::FieldBytes(const std::string& text, int count) {
  std::vector<uint8_t> bytes;
  for (int k = 0; k < count; ++k) {
    bytes.push_back(static_cast<uint8_t>(PairValue(Mid(text, 2 * static_cast<std::size_t>(k), 2))));
  }
  return bytes;
}

bool ScriptWindow::Increment(TextBox& box, int row) {
  if (!IsNumeric(box.text())) {
    RowFailure(row, "the counter " + box.name() + " holds \"" + box.text() +
                        "\", which is not a number; the row was not counted.");
    return false;
  }
  box.setText(NumberText(NumericValue(box.text()) + 1));
  return true;
}

void ScriptWindow::RunRow(int row, int /*column*/) {
  if (!loaded_ || unloading_) return;
  Active active(*this);
  // Nothing in a row throws, so the count always comes back down.
  ++rowDepth_;
  RunRowSteps(row);
  --rowDepth_;
}

void ScriptWindow::RunRowSteps(int r) {
  BoardLink& board = app_.board;
  const double failsBefore = NumericValue(txtRdFails.text());
  DoEvents();
  if (unloading_) return;

  if (r != vbalGrid1.selectedRow()) {
    if (!RunningAll) {
      if (board.UsbConnected) {
        Pause(200);
        board.USB_Abort();
      }
      Pause(200);
      DoEvents(1000);
    }
    return;
  }
  // Rows the last load did not fill (the empty rows of a new window) hold
  // nothing to run; running them would set the program's address to 0.
  if (r < 1 || r > LineTotal || r > static_cast<int>(rowCounts.size())) return;
  const ScriptRowCounts& counts = rowCounts[static_cast<std::size_t>(r - 1)];
  RowWriteResult = {};
  RowReadResult = {};

  vbalGrid1.SetBackColor(r, kColI2CAdr, kCellRed);
  const std::string address = vbalGrid1.text(r, kColI2CAdr);
  const std::string operation = vbalGrid1.text(r, kColOperation);

  if (operation == "NOP") {
    // nothing to do
  } else if (counts.kind == RowKind::Error) {
    // The loader found the row cannot run as written: it sends nothing and fails.
    vbalGrid1.SetBackColor(r, kColActRd, kCellRed);
    if (!CountFail(r, failsBefore)) return;
  } else if (counts.kind == RowKind::Pause) {
    vbalGrid1.SetText(r, kColActRd, "Delay Keypress");
    DoEvents();
    const MessageResult answer = app_.toolkit.ShowMessage(
        "Script Pause Line :" + std::to_string(r) + " Click OK to Continue, Cancel to Abort",
        MessageButtons::OkCancel);
    if (answer == MessageResult::Cancel) app_.flags.AbortRequested = true;
    for (int i = 0; i < 2; ++i) {
      DoEvents();
      Pause(100);
    }
    DoEvents();
  } else if (counts.kind == RowKind::Delay) {
    vbalGrid1.SetText(r, kColActRd, "Delay " + std::to_string(counts.delay));
    DoEvents();
    Pause(counts.delay);
  } else {
    const std::optional<int16_t> a = HexVal(address);
    if (!a) {
      // The row ends here, its address cell still red.
      RowFailure(r, "the I2C address \"" + address + "\" is too large (Overflow).");
      return;
    }
    if (*a >= 255 || *a < 0) {
      // The row sends nothing, and fails: no row may pass without reaching the chip.
      app_.toolkit.ShowMessage(
          "Illegal I2C address Script Row " + SignedBlank(r) + " Value = " + address,
          MessageButtons::Ok);
      CountFail(r, failsBefore);
      return;
    } else {
      // Fixed now: a row picked while this one waits for the board runs inside
      // it and must not change what this one sends.
      const RowPlan plan{counts, static_cast<uint8_t>(*a),
                         counts.writeBytes == 0 ? 0 : counts.regBytes + counts.writeBytes,
                         counts.readBytes == 0 ? 0 : counts.regBytes + counts.readBytes};
      board.SetI2CAddress(plan.address);
      if (!RunningAll) {
        Pause(100);
        if (!board.UsbConnected) board.USB_CheckDevice();
        Pause(100);
        DoEvents(1000);
      }
      if (unloading_) return;
      if (plan.writeTotal != 0 || plan.readTotal != 0) {
        if (!TransferRow(r, plan, failsBefore)) return;
      }
    }
  }

  vbalGrid1.SetBackColor(r, kColI2CAdr, kCellGreen);
  DoEvents();
  if (unloading_) return;
  if (board.UsbConnected) {
    if (!RunningAll) {
      board.USB_Abort();
      Pause(100);
    }
    DoEvents();
  }
}

bool ScriptWindow::TransferRow(int r, const RowPlan& plan, double failsBefore) {
  BoardLink& board = app_.board;
  // The console's operations wait while the bus is ours, so that neither side
  // takes the other's reply. A holder further down the stack is mid-transaction:
  // sending now would take its reply, so the row makes no transfer then.
  const bool busAvailable = board.UsbConnected && !board.UsbBusy;
  const LinkResult unsent{.fault = LinkFault::NotAttached};
  if (busAvailable) {
    board.UsbBusy = true;
    // The row's own address, whatever a row run inside it chose since.
    board.SetI2CAddress(plan.address);
  }
  bool writeFailed = false;
  if (plan.writeTotal > 0) {
    RowWriteResult = busAvailable ? Write_I2C(r, plan) : unsent;
    writeFailed = !RowWriteResult.ok();
    // A write the chip did not take fails the row as a wrong read does.
    if (writeFailed) vbalGrid1.SetBackColor(r, kColDataWr, kCellRed);
  }
  vbalGrid1.SetText(r, kColActRd, "");
  std::optional<RowRead> data;
  if (plan.readTotal > 0) {
    if (busAvailable && !unloading_) {
      data = Read_I2C(r, plan);
    } else {
      RowReadResult = unsent;
    }
  }
  if (busAvailable) board.ReleaseBus();
  if (unloading_) return false;
  if (plan.readTotal > 0) {
    if (!CompareRead(r, data, failsBefore, writeFailed)) return false;
    DoEvents();
  } else if (writeFailed) {
    if (!CountFail(r, failsBefore)) return false;
  }
  DoEvents();
  return !unloading_;
}

bool ScriptWindow::CompareRead(int r, const std::optional<RowRead>& read, double failsBefore,
                               bool writeFailed) {
  // Only a good reply has values; a read that failed, or was never made, shows none.
  const bool data = read.has_value();
  std::string actual = data ? std::string() : std::string(kNoReading);
  if (data) {
    for (uint8_t byte : *read) actual += HexByte(byte);
  }
  vbalGrid1.SetText(r, kColActRd, actual);
  const std::string expected = vbalGrid1.text(r, kColDataRd);

  // Without values there is nothing to compare or capture: whatever was
  // expected, "00" and X masks included, it is a failed comparison. So is a
  // row whose write did not go through.
  const bool good = data && !writeFailed;
  if (good && actual == expected) {
    if (!Increment(txtRdPass, r)) return false;
    vbalGrid1.SetBackColor(r, kColActRd, kCellGreen);
    DoEvents(2);
    return true;
  }
  const std::size_t x = expected.find('X');
  if (good && x != std::string::npos) {
    if (expected.find("XXXX") != std::string::npos) {
      const int lo = PairValue(Mid(actual, x, 2));
      const int hi = PairValue(Mid(actual, x + 2, 2));
      vbalGrid1.SetText(r, kColADDecimal, " " + SignedBlank(hi * 256 + lo));
      DoEvents(2);
      return true;
    }
    if (expected.find("XX") != std::string::npos) {
      vbalGrid1.SetText(r, kColADDecimal, " " + SignedBlank(PairValue(Mid(actual, x, 2))));
    }
    return true;
  }
  // A capture from an earlier run is no value of this one.
  if (!good) vbalGrid1.SetText(r, kColADDecimal, "");
  vbalGrid1.SetBackColor(r, kColActRd, kCellRed);
  return CountFail(r, failsBefore);
}

bool ScriptWindow::CountFail(int r, double failsBefore) {
  if (!Increment(txtRdFails, r)) return false;
  const double failsAfter = NumericValue(txtRdFails.text());
  if (chkAOF.checked() && failsAfter > failsBefore) {
    app_.flags.AbortRequested = true;
    DoEvents(2);
  }
  return true;
}

std::optional<ScriptWindow::RowRead> ScriptWindow::Read_I2C(int r, const RowPlan& plan) {
  BoardLink& board = app_.board;
  const int readBytes = plan.counts.readBytes;
  std::vector<uint8_t> frame{static_cast<uint8_t>(readBytes & 0xFF),
                             static_cast<uint8_t>(plan.address + 1)};
  const std::vector<uint8_t> reg = FieldBytes(vbalGrid1.text(r, kColRegAdr), plan.counts.regBytes);
  frame.insert(frame.end(), reg.begin(), reg.end());
  // The status byte must be the count asked for; one past 255 can never be.
  RowReadResult = board.Exchange(
      board.BoardPipe, frame, static_cast<uint32_t>(readBytes + 1),
      ReplyRule{static_cast<uint32_t>(readBytes), static_cast<uint32_t>(readBytes + 1)});
  // Taken before the next event point, where a GPIO exchange may reuse the buffer.
  std::optional<RowRead> data;
  if (RowReadResult.ok()) {
    const std::vector<uint8_t>& reply = board.TransferBuffer;
    data.emplace(reply.begin() + 1, reply.begin() + 1 + readBytes);
  } else {
    vbalGrid1.SetBackColor(r, kColDataRd, kCellRed);
  }
  DoEvents();
  return data;
}

LinkResult ScriptWindow::Write_I2C(int r, const RowPlan& plan) {
  BoardLink& board = app_.board;
  DoEvents();
  std::vector<uint8_t> frame{static_cast<uint8_t>(plan.writeTotal & 0xFF), plan.address};
  const std::vector<uint8_t> reg = FieldBytes(vbalGrid1.text(r, kColRegAdr), plan.counts.regBytes);
  const std::vector<uint8_t> data =
      FieldBytes(vbalGrid1.text(r, kColDataWr), plan.counts.writeBytes);
  frame.insert(frame.end(), reg.begin(), reg.end());
  frame.insert(frame.end(), data.begin(), data.end());
  // The board acknowledges every byte from the address byte on.
  return board.Exchange(board.BoardPipe, frame,
                        static_cast<uint32_t>(app_.gpio.GpioFrameLength + 1),
                        ReplyRule{static_cast<uint32_t>(plan.writeTotal + 1), 1});
}

void ScriptWindow::cmdExecAll_Click() {
  if (!loaded_) return;
  Active active(*this);
  RunFlags& flags = app_.flags;
  flags.AbortRequested = false;
  cmdRunContinuous.setVisible(false);
  cmdExecAll.setVisible(false);
  cmdAbort.setVisible(true);
  RunningAll = true;
  DoEvents();
  app_.board.StatusForm = &lamps;
  // A row run alone closes the session after it: open it again, as a single
  // row does, or no row of the run would reach the chip.
  if (!app_.board.UsbConnected) app_.board.USB_CheckDevice();
  txtRdFails.setText("0");
  txtRdPass.setText("0");
  const int total = LineTotal;
  for (int i = 1; i <= total && !unloading_; ++i) {
    vbalGrid1.SelectRow(i);
    RunRow(i, 1);
    DoEvents();
    txtRunning.setText(std::to_string(i));
    DoEvents();
    if (flags.AbortRequested) break;
  }
  cmdAbort.setVisible(false);
  txtRunning.setText("Done");
  DoEvents();
  cmdExecAll.setVisible(true);
  cmdRunContinuous.setVisible(true);
  RunningAll = false;
}

void ScriptWindow::cmdRunContinuous_Click() {
  if (!loaded_) return;
  Active active(*this);
  txtLoopCount.setText("0");
  int passes = 0;
  app_.flags.AbortRequested = false;
  while (!app_.flags.AbortRequested && !unloading_) {
    cmdRunContinuous.setVisible(false);
    cmdExecAll_Click();
    ++passes;
    txtLoopCount.setText(std::to_string(passes));
    DoEvents(2);
    // With no rows a pass shows "Abort" for no time at all: nothing could stop it.
    if (LineTotal == 0) break;
  }
  cmdAbort.setVisible(false);
  cmdRunContinuous.setVisible(true);
}

void ScriptWindow::cmdAbort_Click() {
  app_.flags.AbortRequested = true;
  DoEvents();
}

}  // namespace kps
