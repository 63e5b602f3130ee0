// "Register 1 Configure": each control composes one field of CONF and writes
// the register; the LED test and the communication test.
#include "console/console_window.h"
#include "core/text.h"
#include "shell/app_context.h"

namespace kps {

void ConsoleWindow::UpdateField(RegField f, unsigned code) {
  const uint8_t value = ApplyField(app_.shared.caches, f, code);
  regs.txtRegHex[f.reg].setText(HexByte(value));
  app_.board.DoEvents();
  cmdWrtReg_Click(f.reg);
}

void ConsoleWindow::OptMMode_Click(int) {
  const bool ir = config.OptMMode[1].value();
  config.Label16.setCaption(ir ? "(In IR-Mode)" : design.alsModeCaption);
  // Lux means something only for ALS counts; the adaptive console shows it then.
  txtReading.setVisible(!ir && design.showsExtras);
  UpdateField(field::kMeasureMode, ir ? 0x01 : 0x00);
}

void ConsoleWindow::chkALSEnable_Click() {
  UpdateField(field::kAlsEnable, config.chkALSEnable.checked() ? 0x04 : 0x00);
}

void ConsoleWindow::OptALSRange_Click(int) {
  const bool wide = config.OptALSRange[0].value();
  app_.shared.LuxRangeIndex = wide ? 0 : 1;
  app_.shared.LuxSettleCount = 15;
  UpdateField(field::kAlsRange, wide ? 0x02 : 0x00);
}

void ConsoleWindow::OptProxDr_Click(int) {
  UpdateField(field::kIrDrive, config.OptProxDr[1].value() ? 0x08 : 0x00);
}

void ConsoleWindow::OptIRSleep_Click(int index) {
  UpdateField(field::kIrSleep, static_cast<unsigned>(index) * 0x10);
}

void ConsoleWindow::ChkPEnable_Click() {
  UpdateField(field::kProxEnable, config.ChkPEnable.checked() ? 0x80 : 0x00);
}

void ConsoleWindow::ChKLed_Click(int) {
  // A checked box drives its line low, which lights its LED.
  DriveTestLeds(!config.ChKLed[0].checked(), !config.ChKLed[1].checked());
}

void ConsoleWindow::OptMode_Click(int) {
  BoardLink& board = app_.board;
  if (board.DeviceDetached) {
    MarkCommTestFailed();
    app_.toolkit.ShowMessage("USB has been disconnected", MessageButtons::Ok);
    return;
  }
  if (!board.DeviceAttached) {
    MarkCommTestFailed();
    app_.toolkit.ShowMessage("USB is not Connected", MessageButtons::Ok);
    return;
  }
  if (!board.UsbConnected) board.USB_CheckDevice();

  // The USB path: both port C LEDs change.
  GpioPort& gpio = app_.gpio;
  const auto toggleLeds = [&gpio] {
    for (int i = 0; i < 2; ++i)
      gpio.ChKLedData_Click(i, !gpio.ChKLedData[static_cast<std::size_t>(i)]);
  };
  toggleLeds();
  const bool usbGood = gpio.cmdGPIO_Write_Click().ok();
  // The board's LEDs did not change: nor does the program's copy of them.
  if (!usbGood) toggleLeds();

  // The I2C path: the identification register answers.
  const bool i2cGood = cmdRDReg_Click(reg::kId);
  regs.lblID.setCaption(regs.txtRegRd[reg::kId].text());
  Label& result = config.LblCommTest;
  result.setBackColor(Rgb{0, 128, 0});
  result.setForeColor(std::nullopt);
  result.setCaption("Good");
  if (!usbGood || !i2cGood) MarkCommTestFailed();

  result.setVisible(true);
  config.OptMode[2].setValue(false);
  board.DoEvents();
  board.DoEvents();
}

}  // namespace kps
