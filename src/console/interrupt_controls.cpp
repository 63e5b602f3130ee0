// "Register 2 Interrupt Control" and "Interrupt Limits": the INTR fields, the
// threshold write and read, and sampling the flags and the interrupt pin.
#include <optional>
#include <utility>

#include "console/console_window.h"
#include "core/text.h"
#include "shell/app_context.h"

namespace kps {

namespace {

std::string LimitMessage(const char* which, int32_t min, int32_t max, const char* reenter) {
  return std::string(which) + " Limit must be within " + std::to_string(min) + " Min and " +
         std::to_string(max) + " Max. " + reenter;
}

constexpr const char* kReenterLow = "Re-enter Low Limit";
constexpr const char* kReenterHigh = "Re-enter High Limt";

// A threshold entry: a number and nothing else, rounded once to a whole one.
// Text that is no number, and numbers too large to hold (kept at the ends of
// the range), fail the range check.
std::optional<long long> ReadEntry(const TextBox& box) {
  if (!IsNumeric(box.text())) return std::nullopt;
  return RoundHalfEven(NumericValue(box.text()));
}
bool InRange(std::optional<long long> v, int32_t min, int32_t max) {
  return v && *v >= min && *v <= max;
}

// One channel's low and high entries, each checked against the range before
// the next is read; the first out of range puts its message in the note.
std::optional<std::pair<int, int>> ReadLimits(const TextBox& lowBox, const TextBox& highBox,
                                              int32_t min, int32_t max, Label& note) {
  const auto low = ReadEntry(lowBox);
  if (!InRange(low, min, max)) {
    note.setCaption(LimitMessage("Low", min, max, kReenterLow));
    return std::nullopt;
  }
  note.setCaption("");
  const auto high = ReadEntry(highBox);
  if (!InRange(high, min, max)) {
    note.setCaption(LimitMessage("High", min, max, kReenterHigh));
    return std::nullopt;
  }
  note.setCaption("");
  return std::make_pair(static_cast<int>(*low), static_cast<int>(*high));
}

// The hex display of the 12-bit thresholds, built from the register texts.
struct HexPair {
  std::string low, high;
};
HexPair ThresholdHex(const std::string& ath1, const std::string& ath2, const std::string& ath3,
                     HighPacking packing) {
  const std::string ath2Low = ath2.empty() ? "" : ath2.substr(ath2.size() - 1);
  const std::string ath2High = ath2.substr(0, 1);
  HexPair hex{ath2Low + ath1, ""};
  hex.high = packing == HighPacking::LowNibbleInAth2 ? ath3 + ath2High : ath2High + ath3;
  return hex;
}

}  // namespace

void ConsoleWindow::optINTP_Click(int index) {
  UpdateField(field::kProxPersist, static_cast<unsigned>(index) * 0x20);
}

void ConsoleWindow::optINTPALS_Click(int index) {
  UpdateField(field::kAlsPersist, static_cast<unsigned>(index) * 0x02);
}

void ConsoleWindow::OptEPIN_Click(int) {
  UpdateField(field::kPinLogic, intr.OptEPIN[1].value() ? 0x01 : 0x00);
}

void ConsoleWindow::cmdPIClear_Click() {
  UpdateField(field::kProxFlag, 0);
}

void ConsoleWindow::cmdALSClear_Click() {
  UpdateField(field::kAlsFlag, 0);
}

void ConsoleWindow::cmdWrtILimits_Click() {
  ConsoleShared& s = app_.shared;
  Label& note = intr.lblILimitNote;
  app_.board.FrameBegin();

  const auto als =
      ReadLimits(intr.txtILow[0], intr.txtIHigh[0], s.AlsLimitMin, s.AlsLimitMax, note);
  if (!als) return;
  const ThresholdRegs t = EncodeThresholds(als->first, als->second, design.highPacking);
  auto& cache = s.caches.RegWriteCache;
  cache[reg::kAth1] = t.ath1;
  cache[reg::kAth2] = t.ath2;
  cache[reg::kAth3] = t.ath3;
  for (int r = reg::kAth1; r <= reg::kAth3; ++r) {
    regs.txtRegHex[r].setText(HexByte(cache[static_cast<std::size_t>(r)]));
  }
  const HexPair hex =
      ThresholdHex(regs.txtRegHex[reg::kAth1].text(), regs.txtRegHex[reg::kAth2].text(),
                   regs.txtRegHex[reg::kAth3].text(), design.highPacking);
  intr.txtIHigh[1].setText(hex.high);
  intr.txtILow[1].setText(hex.low);
  // The first write that fails ends the operation: one message for it (no
  // board), not one per register.
  for (int r = reg::kAth1; r <= reg::kAth3; ++r) {
    if (!cmdWrtReg_Click(r)) return;
  }

  const auto prox =
      ReadLimits(intr.txtILow[2], intr.txtIHigh[2], s.ProxLimitMin, s.ProxLimitMax, note);
  if (!prox) return;  // the ALS/IR thresholds stay written
  cache[reg::kProxLow] = static_cast<uint8_t>(prox->first);
  cache[reg::kProxHigh] = static_cast<uint8_t>(prox->second);
  regs.txtRegHex[reg::kProxLow].setText(HexByte(cache[reg::kProxLow]));
  regs.txtRegHex[reg::kProxHigh].setText(HexByte(cache[reg::kProxHigh]));
  intr.txtIHigh[3].setText(regs.txtRegHex[reg::kProxHigh].text());
  intr.txtILow[3].setText(regs.txtRegHex[reg::kProxLow].text());
  if (!cmdWrtReg_Click(reg::kProxLow) || !cmdWrtReg_Click(reg::kProxHigh)) return;
  app_.board.FrameEnd();
}

void ConsoleWindow::cmdReadILimits_Click() {
  ConsoleShared& s = app_.shared;
  BoardLink& board = app_.board;
  if (board.DeviceAttached && board.UsbBusy) {
    // The boxes show the five registers as one read: all of it waits for the bus.
    if (!s.LimitsReadPending) {
      s.LimitsReadPending = true;
      board.QueueUntilFree([this] {
        app_.shared.LimitsReadPending = false;
        if (!unloading_) cmdReadILimits_Click();
      });
    }
    return;
  }
  board.FrameBegin();
  // A read that fails (or finds no board, with its one message) ends the
  // operation; the boxes keep what they showed.
  for (int r = reg::kAth1; r <= reg::kAth3; ++r) {
    if (!cmdRDReg_Click(r)) return;
  }
  const auto& cache = s.caches.RegReadCache;
  const ThresholdRegs t{cache[reg::kAth1], cache[reg::kAth2], cache[reg::kAth3]};
  const HexPair hex =
      ThresholdHex(regs.txtRegRd[reg::kAth1].text(), regs.txtRegRd[reg::kAth2].text(),
                   regs.txtRegRd[reg::kAth3].text(), design.highPacking);
  intr.txtIHigh[1].setText(hex.high);
  intr.txtILow[1].setText(hex.low);
  const Thresholds decoded = DecodeThresholds(t, design.highPacking);
  intr.txtILow[0].setText(std::to_string(decoded.low));
  intr.txtIHigh[0].setText(std::to_string(decoded.high));

  // The values each read took from its reply; events processed after a read
  // may have run other transfers since.
  if (!cmdRDReg_Click(reg::kProxLow) || !cmdRDReg_Click(reg::kProxHigh)) return;
  const uint8_t proxLow = cache[reg::kProxLow];
  const uint8_t proxHigh = cache[reg::kProxHigh];
  intr.txtIHigh[3].setText(regs.txtRegRd[reg::kProxHigh].text());
  intr.txtILow[3].setText(regs.txtRegRd[reg::kProxLow].text());
  intr.txtILow[2].setText(std::to_string(proxLow));
  intr.txtIHigh[2].setText(std::to_string(proxHigh));
  board.FrameEnd();
}

void ConsoleWindow::cmdSampleInternalIntrs_Click() {
  cmdRDReg_Click(reg::kIntr);
}

LinkResult ConsoleWindow::Sample_PortB() {
  app_.board.FrameBegin();
  const LinkResult result = app_.gpio.cmdGPIO_Write_Click();
  app_.board.FrameEnd();
  return result;
}

void ConsoleWindow::cmdISamples_Click() {
  const ColorTable& c = app_.colors;
  if (!Sample_PortB().ok()) {
    // The pin was not seen: its lamp and the beep stay as they were.
    intr.ShpIntrStatus[2].setFillColor(c.ColorRed);
    return;
  }
  // Port B as this sample's exchange read it: events processed since may have
  // run other transfers. Bit 7 is PB7, the sensor's interrupt pin, active low.
  const uint8_t p = app_.gpio.portBPins;
  ConsoleShared& s = app_.shared;
  const bool beep = intr.beep_on_int.checked();
  if (p >= 0x80) {
    if (beep && s.IntPinAsserted) app_.toolkit.Beep();
    intr.ShpINTexternal.setFillColor(c.ColorBlack);
    s.IntPinAsserted = false;
  } else {
    intr.ShpINTexternal.setFillColor(c.ColorRed);
    if (beep && !s.IntPinAsserted) app_.toolkit.Beep();
    s.IntPinAsserted = true;
  }
  ToggleGreen(intr.ShpIntrStatus[2]);
}

}  // namespace kps
