// "Last AD Reading": one read of the data registers 8..10, the counts and
// saturation indicators, the heartbeat, and the lux reading of each
// collection pass.
#include <cmath>

#include "console/console_window.h"
#include "core/text.h"
#include "shell/app_context.h"

namespace kps {

namespace {

constexpr int32_t kProxFull = 255;
constexpr int32_t kAlsFull = 4095;
constexpr Rgb kIndicatorRed{255, 0, 0};
constexpr Rgb kIndicatorBlack{0, 0, 0};

}  // namespace

void ConsoleWindow::cmdReadAd_Click() {
  MeasurementRead();
}

bool ConsoleWindow::Pump() {
  app_.board.DoEvents();
  return !unloading_;
}

bool ConsoleWindow::MeasurementRead() {
  BoardLink& board = app_.board;
  ConsoleShared& s = app_.shared;
  if (unloading_) return false;
  if (!board.DeviceAttached) {
    MeasureResult = {.fault = LinkFault::NotAttached};
    NotConnectedFailure(true);
    return false;
  }
  board.FrameBegin();
  if (unloading_) return false;
  if (board.UsbBusy) {
    // Whoever holds the bus is suspended further down this one thread's stack,
    // waiting for us to return: waiting here would never end. The read runs
    // as soon as the holder lets the bus go.
    regs.lblUSBStatis.setCaption("Rd_AD Waiting");
    if (!readDeferred_) {
      readDeferred_ = true;
      board.QueueUntilFree([this] {
        readDeferred_ = false;
        MeasurementRead();
      });
    }
    return false;
  }
  board.UsbBusy = true;
  regs.lblUSBStatis.setCaption("");
  if (!Pump()) {
    board.UsbBusy = false;
    return false;
  }
  const LinkResult result = board.I2C_ReadRegisters(reg::kProx, 3, 5);
  MeasureResult = result;
  const uint8_t prox = ReplyByte(1);
  const uint8_t alsLow = ReplyByte(2);
  const uint8_t alsHigh = ReplyByte(3);
  // What was queued meanwhile runs now that the reply is taken.
  board.ReleaseBus();
  if (unloading_) return false;

  if (!result.ok()) {
    ShowFailedReading();
  } else {
    regs.txtRegRd[reg::kProx].setText(HexByte(prox));
    regs.txtRegRd[reg::kAls1].setText(HexByte(alsLow));
    regs.txtRegRd[reg::kAls2].setText(HexByte(alsHigh));
    // The high byte is taken whole: the chip itself keeps it to four bits.
    s.ProxCount = prox;
    s.AlsIrCount = alsLow + 256 * alsHigh;
    meas.lblMeasurements[1].setCaption(SignedBlank(s.ProxCount));
    meas.lblMeasurements[2].setCaption(SignedBlank(s.AlsIrCount));
    ShowSaturation(meas.prox_sat_alert_lbl, s.ProxCount, kProxFull);
    ShowSaturation(meas.alsir_sat_alert_lbl, s.AlsIrCount, kAlsFull);
    ToggleGreen(meas.ShpMeas);
  }

  board.FrameEnd();
  return result.ok() && !unloading_;
}

void ConsoleWindow::ShowFailedReading() {
  // The last counts stay what they were (ProxCount, AlsIrCount); what is on
  // screen says there is no reading. The saturation indicators are left alone.
  for (int r : {reg::kProx, reg::kAls1, reg::kAls2}) regs.txtRegRd[r].setText(kNoReading);
  meas.lblMeasurements[1].setCaption(kNoReading);
  meas.lblMeasurements[2].setCaption(kNoReading);
  txtReading.setText("");
  meas.ShpMeas.setFillColor(app_.colors.ColorRed);
}

void ConsoleWindow::ShowSaturation(Label& indicator, int32_t count, int32_t full) {
  // Only transitions are written; an indicator of any other colour is left alone.
  if (count == full && indicator.backColor() == kIndicatorBlack) {
    indicator.setBackColor(kIndicatorRed);
    indicator.setCaption("Yes");
  } else if (indicator.backColor() == kIndicatorRed && count < full) {
    indicator.setBackColor(kIndicatorBlack);
    indicator.setCaption("No");
  }
}

std::optional<double> ConsoleWindow::LuxOfCount(double alsCount) const {
  if (alsCount == kAlsFull) return std::nullopt;
  const ConsoleShared& s = app_.shared;
  return alsCount / kAlsFull * s.LuxFullScale[s.LuxRangeIndex == 0 ? 0 : 1];
}

void ConsoleWindow::LuxReading() {
  ConsoleShared& s = app_.shared;
  if (s.LuxSettleCount != 0) {
    --s.LuxSettleCount;  // the reading holds still for a while after a range change
    return;
  }
  if (const auto lux = LuxOfCount(NumericValue(meas.lblMeasurements[2].caption()))) {
    txtReading.setText(FormatFixed(*lux, 4, 2));
    return;
  }
  if (config.OptALSRange[0].value()) txtReading.setText(">=2000");
  if (config.OptALSRange[1].value()) txtReading.setText(">=125");
}

}  // namespace kps
