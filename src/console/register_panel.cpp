// The register panel: single-register write and read with the bus interlock,
// "Read All", "Read ID", the value entry and the I2C address entry.
#include <cctype>
#include <optional>

#include "console/console_window.h"
#include "core/text.h"
#include "shell/app_context.h"

namespace kps {

namespace {

std::string Upper(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x80) c = static_cast<char>(std::toupper(c));
  }
  return text;
}

// A value typed into a register's write box: hex and nothing else (blanks
// around and a 0x prefix allowed), of which the first two digits count
// ("123" is 0x12). `kept` is what the box keeps of the text: those digits in
// upper case.
struct RegisterEntry {
  std::string kept;
  uint8_t value;
};
std::optional<RegisterEntry> ReadRegisterEntry(const std::string& text) {
  if (!ParseHex(text, 0xFFFFFFFFu)) return std::nullopt;
  const std::size_t first = text.find_first_not_of(" \t");
  std::string digits = text.substr(first, text.find_last_not_of(" \t") + 1 - first);
  if (digits.size() > 2 && (digits[1] == 'x' || digits[1] == 'X')) digits.erase(0, 2);
  RegisterEntry entry{Upper(digits.substr(0, 2)), 0};
  entry.value = static_cast<uint8_t>(*ParseHex(entry.kept, 0xFF));
  return entry;
}

}  // namespace

void ConsoleWindow::RefuseRegisterText(int i) {
  TextBox& box = regs.txtRegHex[i];
  const std::string typed = box.text();
  // The box goes back to the value the register was last given (which a
  // click on "Wr" after the message writes as it stands).
  const std::string last = HexByte(app_.shared.caches.RegWriteCache[static_cast<std::size_t>(i)]);
  box.setText(last);
  app_.toolkit.ShowMessage("\"" + typed + "\" is not a value for register " + std::to_string(i) +
                               ": type two hex digits, 00 to FF. It was not written; the box " +
                               "shows the register's last value, " + last + ", again.",
                           MessageButtons::Ok);
}

std::optional<uint8_t> ConsoleWindow::TakeRegisterEntry(int i) {
  TextBox& box = regs.txtRegHex[i];
  const std::optional<RegisterEntry> entry = ReadRegisterEntry(box.text());
  if (!entry) {
    RefuseRegisterText(i);
    return std::nullopt;
  }
  box.setText(entry->kept);
  return entry->value;
}

void ConsoleWindow::ToggleGreen(Lamp& lamp) {
  const ColorTable& c = app_.colors;
  lamp.setFillColor(lamp.fillColor() == c.ColorGreen ? c.ColorDarkGreen : c.ColorGreen);
}

uint8_t ConsoleWindow::ReplyByte(std::size_t index) const {
  const auto& buffer = app_.board.TransferBuffer;
  return index < buffer.size() ? buffer[index] : 0;
}

void ConsoleWindow::MarkCommTestFailed() {
  config.LblCommTest.setBackColor(Rgb{255, 0, 0});
  config.LblCommTest.setForeColor(Rgb{255, 255, 255});
  config.LblCommTest.setCaption("Fail");
  config.OptMode[2].setValue(false);
}

void ConsoleWindow::NotConnectedFailure(bool stopCollection) {
  MarkCommTestFailed();
  app_.toolkit.ShowMessage("USB is not Connected", MessageButtons::Ok);
  if (stopCollection) app_.flags.CollectRunning = false;
}

bool ConsoleWindow::ClaimBus(int i, bool write) {
  BoardLink& board = app_.board;
  const auto slot = static_cast<std::size_t>(i);
  if (!board.DeviceAttached) {
    (write ? RegWriteResult : RegReadResult)[slot] = {.fault = LinkFault::NotAttached};
    NotConnectedFailure(true);
    return false;
  }
  if (board.UsbBusy) {
    // Queued: it runs as soon as the holder lets the bus go, once however
    // often it was clicked meanwhile.
    regs.lblUSBStatis.setCaption(write ? "Wrt_Reg Waiting" + std::to_string(i)
                                       : std::string("Read_Reg Waiting"));
    auto& pending = write ? board.RegWritePending : board.RegReadPending;
    if (!pending[slot]) {
      pending[slot] = true;
      board.QueueUntilFree([this, i, write] {
        (write ? app_.board.RegWritePending : app_.board.RegReadPending)[i] = false;
        if (unloading_) return;
        if (write) {
          cmdWrtReg_Click(i);
        } else {
          cmdRDReg_Click(i);
        }
      });
    }
    return false;
  }
  board.UsbBusy = true;
  regs.lblUSBStatis.setCaption("");
  return true;
}

bool ConsoleWindow::cmdWrtReg_Click(int i) {
  if (i < 0 || i >= kRegCount) return false;
  BoardLink& board = app_.board;
  const auto slot = static_cast<std::size_t>(i);
  // Text that is not a value never becomes a write, nor a queued one.
  const std::optional<RegisterEntry> entry = ReadRegisterEntry(regs.txtRegHex[i].text());
  if (!entry) {
    RefuseRegisterText(i);
    return false;
  }
  if (!ClaimBus(i, true)) return board.DeviceAttached;
  board.DoEvents();
  board.FrameBegin();

  const uint8_t v = entry->value;
  app_.shared.caches.RegWriteCache[slot] = v;
  const LinkResult result = board.I2C_WriteRegister(static_cast<uint8_t>(i), v);
  RegWriteResult[slot] = result;

  board.ReleaseBus();
  board.DoEvents();
  if (result.ok()) {
    ToggleGreen(regs.ShpIndwr[i]);
  } else {
    regs.ShpIndwr[i].setFillColor(app_.colors.ColorRed);
  }
  board.FrameEnd();
  return result.ok();
}

bool ConsoleWindow::cmdRDReg_Click(int i) {
  if (i < 0 || i >= kRegCount) return false;
  BoardLink& board = app_.board;
  const auto slot = static_cast<std::size_t>(i);
  if (!ClaimBus(i, false)) return board.DeviceAttached;
  board.FrameBegin();

  const LinkResult result = board.I2C_ReadRegisters(static_cast<uint8_t>(i), 1, 6);
  board.ReplyStatus = ReplyByte(0);
  const uint8_t v = ReplyByte(1);
  RegReadResult[slot] = result;
  if (result.ok()) {
    regs.txtRegRd[i].setText(HexByte(v));
    app_.shared.caches.RegReadCache[slot] = v;
    ToggleGreen(regs.ShpIndrd[i]);
    if (regs.txtRegHex[i].text() != regs.txtRegRd[i].text()) {
      regs.ShpIndrd[i].setFillColor(app_.colors.ColorRed);
    }
    if (i == reg::kIntr && design.mirrorsIntrFlags) ShowIntrFlags(v);
  } else {
    // Nothing was read: no value to show or to keep.
    regs.txtRegRd[i].setText(kNoReading);
    regs.ShpIndrd[i].setFillColor(app_.colors.ColorRed);
  }

  board.FrameEnd();
  board.ReleaseBus();
  board.DoEvents();
  return result.ok();
}

void ConsoleWindow::ShowIntrFlags(uint8_t v) {
  const ColorTable& c = app_.colors;
  const bool prox = (v & kIntrProxFlag) != 0;
  const bool als = (v & kIntrAlsFlag) != 0;
  intr.ShpPintr.setFillColor(prox ? c.ColorRed : c.ColorBlack);
  intr.ShpAIInter.setFillColor(als ? c.ColorRed : c.ColorBlack);
  // A raised flag drives its LED line low, which lights the LED.
  DriveTestLeds(!prox, !als);
  const double next =
      intr.ShpIntrStatus[0].fillColor() == c.ColorGreen ? c.ColorDarkGreen : c.ColorGreen;
  intr.ShpIntrStatus[0].setFillColor(next);
  intr.ShpIntrStatus[1].setFillColor(next);
}

void ConsoleWindow::DriveTestLeds(bool pb6High, bool pb5High) {
  GpioPort& gpio = app_.gpio;
  gpio.state[2] &= 0x9F;
  if (pb6High) gpio.state[2] |= 0x40;
  if (pb5High) gpio.state[2] |= 0x20;
  gpio.state[0] = 0x60;  // PB6 and PB5 out; the rest of port B, PB7 among them, in
  gpio.cmdGPIO_Write_Click();
  app_.board.DoEvents();
}

void ConsoleWindow::cmdReadAllRegs_Click() {
  BoardLink& board = app_.board;
  const int detaches = board.DetachCount;
  for (int i = 0; i < kRegCount; ++i) {
    if (!board.DeviceAttached) {
      // A board pulled out during the reads was announced by its own message.
      if (board.DetachCount == detaches) NotConnectedFailure(false);
      return;
    }
    cmdRDReg_Click(i);
    board.DoEvents();
  }
}

void ConsoleWindow::cmdReadID_Click() {
  cmdRDReg_Click(reg::kId);
  regs.lblID.setCaption(regs.txtRegRd[reg::kId].text());
}

void ConsoleWindow::txtRegHex_KeyPress(int i, int key) {
  if (key != 13 || !TakeRegisterEntry(i)) return;
  cmdWrtReg_Click(i);
  app_.board.DoEvents();
  cmdRDReg_Click(i);
}

void ConsoleWindow::txtRegHex_LostFocus(int i) {
  // Only what the user typed is written: the focus passing through a box
  // rewrites nothing (a script or a control may have set the register since).
  if (!regs.txtRegHex[i].edited() || !TakeRegisterEntry(i)) return;
  cmdWrtReg_Click(i);
  app_.board.DoEvents();
  cmdWrtReg_Click(i);
}

void ConsoleWindow::SetI2CAddressFromText() {
  const std::string typed = txtI2CADR.text();
  // The box shows the address in force before a refusal's message (so that
  // the focus going to the message finds no edit to take) and after it.
  txtI2CADR.setText(HexByte(app_.board.I2CWriteAddress));
  app_.board.SetTypedI2CAddress(typed, 0xFF);
  txtI2CADR.setText(HexByte(app_.board.I2CWriteAddress));
}

void ConsoleWindow::txtI2CADR_KeyPress(int key) {
  if (key == 13) SetI2CAddressFromText();
}

void ConsoleWindow::txtI2CADR_LostFocus() {
  // As for the register boxes: leaving an untouched box keeps the address a
  // script row may have set meanwhile.
  if (txtI2CADR.edited()) SetI2CAddressFromText();
}

}  // namespace kps
