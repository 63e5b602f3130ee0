#include "console/console_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>
#include <utility>

#include "support/opened_console.h"

namespace kps {
namespace {

using test::Opened;
using RegWrites = test::RegWrites;
using Texts = std::vector<std::string>;

// Proximity enabled, an object at the window and a proximity window of 0..10:
// the conversion run by reading PROX raises the proximity flag.
void RaiseProximityFlag(Opened& h) {
  sim::Scene scene = h.sim().scene();
  scene.proximity = 255.0;
  h.sim().setScene(scene);
  h.c().intr.txtIHigh[2].setText("10");
  h.c().intr.cmdWrtILimits.Click();
  h.c().config.ChkPEnable.setChecked(true);
  h.c().cmdRDReg_Click(reg::kProx);
  ASSERT_EQ(h.sim().chipRegister(reg::kIntr) & kIntrProxFlag, kIntrProxFlag);
  h.transport.calls.clear();
}

// The threshold boxes as low, high pairs: ALS/IR, its hex, proximity, its hex.
Texts Limits(const InterruptControls& in) {
  Texts out;
  for (int i = 0; i < 4; ++i) {
    out.push_back(in.txtILow[i].text());
    out.push_back(in.txtIHigh[i].text());
  }
  return out;
}

TEST(ConsoleWindowTest, OpeningShowsTheStartingImageWithoutTouchingTheChipAndLayoutsToggle) {
  for (ConsoleVariant v : {ConsoleVariant::Main, ConsoleVariant::Adaptive}) {
    SCOPED_TRACE(v == ConsoleVariant::Main ? "main" : "adaptive");
    Opened h(v);
    ConsoleWindow& c = h.c();
    EXPECT_EQ(h.framesAtOpen, 0u);
    for (int i = 0; i < kRegCount; ++i) {
      std::string expected = (i == 4 || i == 7) ? "FF" : i == 6 ? "F0" : "00";
      if (i == 0 && v == ConsoleVariant::Adaptive) expected = "A0";
      EXPECT_EQ(c.regs.txtRegHex[i].text(), expected) << "register " << i;
    }
    EXPECT_FALSE(c.config.LblCommTest.visible());

    // The compact layout hides the register, timing and recording frames; the
    // expanded one brings back only the frames.
    c.graph.cmdCollect.setVisible(true);
    for (bool expanded : {false, true}) {
      c.Label13.DblClick();
      EXPECT_EQ(c.regs.Frame2.visible(), expanded);
      EXPECT_EQ(c.graph.frmTimeBase.visible(), expanded);
      EXPECT_EQ(c.rec.frmDataRecord.visible(), expanded);
    }
    EXPECT_FALSE(c.graph.cmdCollect.visible());
  }
}

TEST(ConsoleConfigTest, EachControlComposesItsFieldOfConfAndWritesIt) {
  Opened h;
  ConfigControls& cfg = h.c().config;
  ConsoleShared& shared = h.app->shared;
  cfg.OptMMode[1].Select();  // IR
  cfg.chkALSEnable.setChecked(true);
  cfg.OptALSRange[0].Select();  // 2000 lux
  cfg.OptProxDr[1].Select();    // 220 mA
  cfg.OptIRSleep[7].Select();   // continuous
  cfg.ChkPEnable.setChecked(true);
  EXPECT_EQ(h.Writes(),
            (RegWrites{{1, 0x01}, {1, 0x05}, {1, 0x07}, {1, 0x0F}, {1, 0x7F}, {1, 0xFF}}));

  h.transport.calls.clear();
  shared.LuxSettleCount = 0;
  cfg.OptIRSleep[0].Select();   // 800 ms clears bits 6..4
  cfg.OptALSRange[1].Select();  // 125 lux
  EXPECT_EQ(h.Writes(), (RegWrites{{1, 0x8F}, {1, 0x8D}}));
  EXPECT_EQ(shared.LuxRangeIndex, 1);
  EXPECT_EQ(shared.LuxSettleCount, 15);

  // Selecting what is already selected is not a click.
  h.transport.calls.clear();
  cfg.OptALSRange[1].Select();
  cfg.OptMMode[1].Select();
  EXPECT_TRUE(h.transport.Frames().empty());
}

TEST(ConsoleConfigTest, TestCommTogglesTheBoardLedsAndReadsTheId) {
  Opened h;
  ConfigControls& cfg = h.c().config;
  // The option is cleared after each test, so it can be clicked again; the
  // second time the chip does not answer, the third the GPIO exchange fails
  // (and the LEDs stay as they were, on the board and in the program).
  for (int round : {0, 1, 2}) {
    const bool nak = round > 0;
    if (round == 1) h.sim().InjectFault(sim::Fault::Nak);
    if (round == 2) h.sim().InjectFault(sim::Fault::Timeout, 1, 0, sim::FaultPipe::Gpio);
    cfg.OptMode[2].Select();
    EXPECT_EQ(cfg.LblCommTest.caption(), nak ? "Fail" : "Good");
    EXPECT_EQ(cfg.LblCommTest.backColor(), nak ? (Rgb{255, 0, 0}) : (Rgb{0, 128, 0}));
    EXPECT_TRUE(cfg.LblCommTest.visible());
    EXPECT_FALSE(cfg.OptMode[2].value());
    if (!nak) {
      EXPECT_EQ(h.c().regs.lblID.caption(), "71");
    }
    // Each test toggles both LEDs, but a failed exchange toggles nothing.
    EXPECT_EQ(h.sim().ledLit(0), round == 0) << round;
    EXPECT_EQ(h.sim().ledLit(1), round == 0) << round;
    EXPECT_EQ(h.app->gpio.state[3] & 0x03, round == 0 ? 0x03 : 0x00) << round;
  }
}

TEST(ConsoleLimitsTest, WriteChecksEachEntryBeforeWritingItsRegisters) {
  Opened h;
  InterruptControls& in = h.c().intr;
  in.txtILow[0].setText("291");
  in.txtIHigh[0].setText("2748");
  in.cmdWrtILimits.Click();
  EXPECT_EQ(h.Writes(), (RegWrites{{5, 0x23}, {6, 0xC1}, {7, 0xAB}, {3, 0x00}, {4, 0xFF}}));
  EXPECT_EQ(Limits(in), (Texts{"291", "2748", "123", "ABC", "0", "255", "00", "FF"}));

  const std::string alsLow = "Low Limit must be within 0 Min and 4095 Max. Re-enter Low Limit";
  const std::string alsHigh = "High Limit must be within 0 Min and 4095 Max. Re-enter High Limt";
  using Case = std::tuple<const char*, const char*, std::string>;  // {low, high, note}
  for (auto [low, high, note] :
       {Case{"4096", "2748", alsLow}, Case{"4095.5", "2748", alsLow},
        Case{"99999999999999999999", "2748", alsLow}, Case{"291", "-1", alsHigh}}) {
    h.transport.calls.clear();
    in.txtILow[0].setText(low);
    in.txtIHigh[0].setText(high);
    in.cmdWrtILimits.Click();
    EXPECT_EQ(in.lblILimitNote.caption(), note) << low << " / " << high;
    EXPECT_TRUE(h.Writes().empty()) << low << " / " << high;
  }

  // Low above high goes out as entered; a bad proximity entry stops after ATH1..3.
  h.transport.calls.clear();
  in.txtILow[0].setText("4000");
  in.txtIHigh[0].setText("100");
  in.txtIHigh[2].setText("300");
  in.cmdWrtILimits.Click();
  EXPECT_EQ(h.Writes(), (RegWrites{{5, 0xA0}, {6, 0x4F}, {7, 0x06}}));
  EXPECT_EQ(in.txtILow[1].text() + in.txtIHigh[1].text(), "FA0064");
  EXPECT_EQ(in.lblILimitNote.caption(),
            "High Limit must be within 0 Min and 255 Max. Re-enter High Limt");
}

TEST(ConsoleLimitsTest, ReadShowsTheChipsThresholdsInDecimalAndHex) {
  Opened h;
  InterruptControls& in = h.c().intr;
  h.board().I2C_WriteRegister(reg::kProxLow, 0x10);
  h.board().I2C_WriteRegister(reg::kProxHigh, 0xE0);
  for (int i = 0; i < 4; ++i) {
    in.txtILow[i].setText("?");
    in.txtIHigh[i].setText("?");
  }
  in.cmdReadILimits.Click();  // ATH1..3 as powered on: 00 F0 FF
  EXPECT_EQ(Limits(in), (Texts{"0", "4095", "000", "FFF", "16", "224", "10", "E0"}));

  // The adaptive console reads the high threshold's nibble from ATH2's top.
  Opened a(ConsoleVariant::Adaptive);
  for (Opened* o : {&h, &a}) {
    for (auto [r, v] : RegWrites{{5, 0x23}, {6, 0xC1}, {7, 0xAB}})
      o->board().I2C_WriteRegister(static_cast<uint8_t>(r), static_cast<uint8_t>(v));
    o->c().intr.cmdReadILimits.Click();
  }
  EXPECT_EQ(Limits(in), (Texts{"291", "2748", "123", "ABC", "16", "224", "10", "E0"}));
  EXPECT_EQ(Limits(a.c().intr), (Texts{"291", "3243", "123", "CAB", "0", "255", "00", "FF"}));
}

// Operations clicked while a "Read ADs" holds the bus (no collection runs to
// serve them) wait, and go out in the order clicked once the bus is free;
// each is served once, and a mark is cleared only when its own operation ran.
TEST(ConsoleRegisterPanelTest, OperationsFindingTheBusBusyRunInTheOrderClickedWhenItComesFree) {
  Opened h;
  ConsoleWindow& c = h.c();
  BoardLink& board = h.board();
  c.regs.txtRegHex[3].setText("12");
  bool clicked = false;
  bool readPendingSeen = false;
  h.toolkit.onProcessEvents = [&] {
    if (!board.UsbBusy || clicked) return;
    clicked = true;
    c.cmdWrtReg_Click(3);
    c.cmdRDReg_Click(4);
    c.cmdWrtReg_Click(3);  // still waiting: not queued twice
    c.cmdReadILimits_Click();
    c.meas.cmdReadAd.Click();  // waits too, rather than nest inside the read under way
    EXPECT_EQ(c.regs.lblUSBStatis.caption(), "Rd_AD Waiting");
    EXPECT_TRUE(board.RegWritePending[3] && board.RegReadPending[4] && board.RegOpsPending);
    EXPECT_TRUE(h.app->shared.LimitsReadPending);
  };
  // The read of register 4 runs to its end before the threshold read starts.
  c.regs.ShpIndrd[4].Subscribe([&] {
    if (!readPendingSeen) readPendingSeen = h.app->shared.LimitsReadPending;
  });
  c.meas.cmdReadAd.Click();
  h.toolkit.onProcessEvents = nullptr;
  ASSERT_TRUE(clicked);
  Texts sent;
  for (const auto& f : h.transport.Frames()) {
    if (f.op != "out" || f.pipe != 2) continue;
    char text[16];
    std::snprintf(text, sizeof text, "%02X %02X", f.bytes[0], f.bytes[2]);
    sent.push_back(text);
  }
  EXPECT_EQ(sent, (Texts{"03 08", "00 03", "01 04", "01 05", "01 06", "01 07", "01 03", "01 04",
                         "03 08"}));
  EXPECT_TRUE(readPendingSeen);
  EXPECT_FALSE(board.RegWritePending[3] || board.RegReadPending[4] || board.RegOpsPending);
  EXPECT_FALSE(h.app->shared.LimitsReadPending);
  EXPECT_EQ(c.intr.txtILow[3].text(), "12");  // read after the write clicked before it
}

TEST(ConsoleRegisterPanelTest, ValueEntryWritesThenReadsBack) {
  Opened h;
  ConsoleWindow& c = h.c();
  TextBox& box = c.regs.txtRegHex[3];
  // A single digit is written as it stands, but its read-back "05" differs from "5".
  // {typed, shown, written, read back, read lamp red}
  using Case = std::tuple<const char*, const char*, int, const char*, bool>;
  for (auto [typed, shown, written, readBack, red] :
       {Case{"a5", "A5", 0xA5, "A5", false}, Case{"123", "12", 0x12, "12", false},
        Case{"5", "5", 0x05, "05", true}}) {
    h.transport.calls.clear();
    box.setText(typed);
    box.onKeyPress(13);
    EXPECT_EQ(box.text(), shown);
    EXPECT_EQ(h.Writes(), (RegWrites{{3, written}})) << typed;
    EXPECT_EQ(c.regs.txtRegRd[3].text(), readBack);
    EXPECT_EQ(c.regs.ShpIndrd[3].fillColor() == h.app->colors.ColorRed, red) << typed;
  }

  h.transport.calls.clear();
  box.setText("7");
  box.onKeyPress('7');
  EXPECT_TRUE(h.transport.Frames().empty());
  box.setText("1\xC3\xA4z");  // "1äz": two characters, not two bytes
  box.onKeyPress(13);
  EXPECT_EQ(box.text(), "1\xC3\xA4");
  h.transport.calls.clear();

  // Leaving the box writes it twice, so the write lamp ends where it was.
  const double lamp = c.regs.ShpIndwr[3].fillColor();
  box.setText("3c");
  box.onLostFocus();
  EXPECT_EQ(box.text(), "3C");
  EXPECT_EQ(h.Writes(), (RegWrites{{3, 0x3C}, {3, 0x3C}}));
  EXPECT_EQ(c.regs.ShpIndwr[3].fillColor(), lamp);
}

TEST(ConsoleRegisterPanelTest, AddressEntrySetsWriteAndReadAddresses) {
  Opened h;
  TextBox& adr = h.c().txtI2CADR;
  adr.setText("8a");
  adr.onKeyPress(13);
  EXPECT_EQ(adr.text(), "8A");
  EXPECT_EQ(h.board().I2CWriteAddress, 0x8A);
  EXPECT_EQ(h.board().I2CReadAddress, 0x8B);
  adr.setText("FF");
  adr.onLostFocus();
  EXPECT_EQ(h.board().I2CWriteAddress, 0xFF);
  adr.setText("12345");  // too long for an address: it stays, and the box shows it
  adr.onKeyPress(13);
  EXPECT_EQ(adr.text(), "FF");
  EXPECT_EQ(h.board().I2CWriteAddress, 0xFF);
}

TEST(ConsoleInterruptTest, ReadingIntrAndSamplingThePinFollowTheProximityFlag) {
  Opened h;
  ConsoleWindow& c = h.c();
  const ColorTable& colors = h.app->colors;
  ASSERT_TRUE(c.intr.beep_on_int.checked());
  RaiseProximityFlag(h);
  c.cmdRDReg_Click(reg::kIntr);
  EXPECT_EQ(h.toolkit.beeps, 0);
  c.cmdISamples_Click();
  EXPECT_EQ(h.toolkit.beeps, 1);  // the pin went low
  c.cmdISamples_Click();
  EXPECT_EQ(h.toolkit.beeps, 1);  // and stayed low
  EXPECT_EQ(c.intr.ShpPintr.fillColor(), colors.ColorRed);
  EXPECT_TRUE(h.sim().ledLit(6));
  EXPECT_EQ(c.intr.ShpINTexternal.fillColor(), colors.ColorRed);

  c.cmdPIClear_Click();
  c.cmdRDReg_Click(reg::kIntr);
  c.cmdISamples_Click();
  EXPECT_EQ(h.toolkit.beeps, 2);  // the pin went high
  c.cmdISamples_Click();
  EXPECT_EQ(h.toolkit.beeps, 2);  // and stayed high
  EXPECT_EQ(c.intr.ShpPintr.fillColor(), colors.ColorBlack);
  EXPECT_FALSE(h.sim().ledLit(6));
  EXPECT_EQ(c.intr.ShpINTexternal.fillColor(), colors.ColorBlack);

  // The adaptive console shows the value only.
  Opened a(ConsoleVariant::Adaptive);
  RaiseProximityFlag(a);
  a.c().intr.ShpPintr.setFillColor(colors.ColorGreen);
  a.c().cmdRDReg_Click(reg::kIntr);
  EXPECT_EQ(a.c().regs.txtRegRd[reg::kIntr].text(), "80");
  EXPECT_EQ(a.c().intr.ShpPintr.fillColor(), colors.ColorGreen);
  EXPECT_EQ(a.GpioFrames(), 0);
  EXPECT_FALSE(a.sim().ledLit(6));
}

}  // namespace
}  // namespace kps
