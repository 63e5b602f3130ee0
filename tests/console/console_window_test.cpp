#include "console/console_window.h"

#include <gtest/gtest.h>

#include <utility>

#include "support/opened_console.h"

namespace kps {
namespace {

using test::Harness;
using test::Opened;
using Bytes = std::vector<uint8_t>;
using RegWrites = test::RegWrites;

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

TEST(ConsoleWindowTest, OpeningShowsTheStartingImageWithoutTouchingTheChip) {
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
    const auto& f = c.intr.lblIlimitsformat;
    EXPECT_EQ(f[2].caption(), "4095 Max");
    EXPECT_EQ(f[3].caption(), "0 Min");
    EXPECT_EQ(f[6].caption(), "255 Max");
    EXPECT_EQ(f[7].caption(), "0 Min");
    EXPECT_TRUE(c.regs.Frame2.visible());
    c.Label13.DblClick();
    EXPECT_FALSE(c.regs.Frame2.visible());
    c.Label13.DblClick();
    EXPECT_TRUE(c.regs.Frame2.visible());
  }
}

TEST(ConsoleConfigTest, EachControlComposesItsFieldOfConfAndWritesIt) {
  Opened h;
  ConfigControls& cfg = h.c().config;
  ConsoleShared& shared = h.app->shared;
  cfg.OptMMode[1].Select();  // IR
  cfg.chkALSEnable.setChecked(true);
  cfg.OptALSRange[0].Select();  // 2000 lux
  EXPECT_EQ(shared.LuxRangeIndex, 0);
  EXPECT_EQ(shared.LuxSettleCount, 15);
  cfg.OptProxDr[1].Select();   // 220 mA
  cfg.OptIRSleep[7].Select();  // continuous
  cfg.ChkPEnable.setChecked(true);
  EXPECT_EQ(h.Writes(),
            (RegWrites{{1, 0x01}, {1, 0x05}, {1, 0x07}, {1, 0x0F}, {1, 0x7F}, {1, 0xFF}}));
  EXPECT_EQ(h.sim().chipRegister(1), 0xFF);

  h.transport.calls.clear();
  shared.LuxSettleCount = 0;
  cfg.OptIRSleep[0].Select();   // 800 ms clears bits 6..4
  cfg.OptALSRange[1].Select();  // 125 lux
  EXPECT_EQ(h.Writes(), (RegWrites{{1, 0x8F}, {1, 0x8D}}));
  EXPECT_EQ(shared.LuxRangeIndex, 1);
  EXPECT_EQ(shared.LuxSettleCount, 15);
  EXPECT_EQ(h.sim().chipRegister(1), 0x8D);

  // Selecting what is already selected is not a click.
  h.transport.calls.clear();
  cfg.OptALSRange[1].Select();
  cfg.OptMMode[1].Select();
  EXPECT_TRUE(h.transport.Frames().empty());
}

TEST(ConsoleConfigTest, TestCommTogglesTheBoardLedsAndReadsTheId) {
  Opened h;
  ConfigControls& cfg = h.c().config;
  cfg.OptMode[2].Select();
  EXPECT_EQ(cfg.LblCommTest.caption(), "Good");
  EXPECT_TRUE(cfg.LblCommTest.visible());
  EXPECT_EQ(cfg.LblCommTest.backColor(), (Rgb{0, 128, 0}));
  EXPECT_EQ(h.c().regs.lblID.caption(), "71");
  EXPECT_FALSE(cfg.OptMode[2].value());
  EXPECT_TRUE(h.sim().ledLit(0));
  EXPECT_TRUE(h.sim().ledLit(1));

  // The option was cleared, so it can be clicked again; this time the chip does not answer.
  h.sim().InjectFault(sim::Fault::Nak);
  cfg.OptMode[2].Select();
  EXPECT_EQ(cfg.LblCommTest.caption(), "Fail");
  EXPECT_EQ(cfg.LblCommTest.backColor(), (Rgb{255, 0, 0}));
  EXPECT_TRUE(cfg.LblCommTest.visible());
  EXPECT_FALSE(cfg.OptMode[2].value());
  EXPECT_FALSE(h.sim().ledLit(0));
  EXPECT_FALSE(h.sim().ledLit(1));
}

TEST(ConsoleLimitsTest, WriteChecksEachEntryBeforeWritingItsRegisters) {
  Opened h;
  InterruptControls& in = h.c().intr;
  in.txtILow[0].setText("291");
  in.txtIHigh[0].setText("2748");
  in.cmdWrtILimits.Click();
  EXPECT_EQ(h.Writes(), (RegWrites{{5, 0x23}, {6, 0xC1}, {7, 0xAB}, {3, 0x00}, {4, 0xFF}}));
  EXPECT_EQ(in.txtILow[1].text(), "123");
  EXPECT_EQ(in.txtIHigh[1].text(), "ABC");
  EXPECT_EQ(in.lblILimitNote.caption(), "");
  EXPECT_EQ(h.sim().chipRegister(reg::kAth2), 0xC1);

  const std::string alsLow = "Low Limit must be within 0 Min and 4095 Max. Re-enter Low Limit";
  const std::string alsHigh = "High Limit must be within 0 Min and 4095 Max. Re-enter High Limt";
  struct Case {
    const char* low;
    const char* high;
    const std::string& note;
  };
  for (const Case& k : {Case{"4096", "2748", alsLow}, Case{"4095.5", "2748", alsLow},
                        Case{"99999999999999999999", "2748", alsLow}, Case{"291", "-1", alsHigh}}) {
    h.transport.calls.clear();
    in.txtILow[0].setText(k.low);
    in.txtIHigh[0].setText(k.high);
    in.cmdWrtILimits.Click();
    EXPECT_EQ(in.lblILimitNote.caption(), k.note) << k.low << " / " << k.high;
    EXPECT_TRUE(h.Writes().empty()) << k.low << " / " << k.high;
  }

  // Low above high goes out as entered; a bad proximity entry stops after ATH1..3.
  h.transport.calls.clear();
  in.txtILow[0].setText("4000");
  in.txtIHigh[0].setText("100");
  in.txtIHigh[2].setText("300");
  in.cmdWrtILimits.Click();
  EXPECT_EQ(h.Writes(), (RegWrites{{5, 0xA0}, {6, 0x4F}, {7, 0x06}}));
  EXPECT_EQ(in.txtILow[1].text(), "FA0");
  EXPECT_EQ(in.txtIHigh[1].text(), "064");
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
  EXPECT_EQ(in.txtILow[0].text(), "0");
  EXPECT_EQ(in.txtIHigh[0].text(), "4095");
  EXPECT_EQ(in.txtILow[1].text(), "000");
  EXPECT_EQ(in.txtIHigh[1].text(), "FFF");
  EXPECT_EQ(in.txtILow[2].text(), "16");
  EXPECT_EQ(in.txtIHigh[2].text(), "224");
  EXPECT_EQ(in.txtILow[3].text(), "10");
  EXPECT_EQ(in.txtIHigh[3].text(), "E0");
  EXPECT_FALSE(h.app->shared.LimitsReadPending);

  // The adaptive console reads the high threshold's nibble from ATH2's top.
  Opened a(ConsoleVariant::Adaptive);
  for (auto [r, v] : RegWrites{{5, 0x23}, {6, 0xC1}, {7, 0xAB}}) {
    h.board().I2C_WriteRegister(static_cast<uint8_t>(r), static_cast<uint8_t>(v));
    a.board().I2C_WriteRegister(static_cast<uint8_t>(r), static_cast<uint8_t>(v));
  }
  in.cmdReadILimits.Click();
  EXPECT_EQ(in.txtILow[0].text(), "291");
  EXPECT_EQ(in.txtIHigh[0].text(), "2748");
  EXPECT_EQ(in.txtIHigh[1].text(), "ABC");
  a.c().intr.cmdReadILimits.Click();
  EXPECT_EQ(a.c().intr.txtILow[0].text(), "291");
  EXPECT_EQ(a.c().intr.txtIHigh[0].text(), "3243");
  EXPECT_EQ(a.c().intr.txtIHigh[1].text(), "CAB");
}

TEST(ConsoleRegisterPanelTest, BusyBusQueuesOperationsInsteadOfSending) {
  Opened h;
  ConsoleWindow& c = h.c();
  BoardLink& board = h.board();
  board.UsbBusy = true;
  c.cmdWrtReg_Click(3);
  EXPECT_EQ(c.regs.lblUSBStatis.caption(), "Wrt_Reg Waiting3");
  EXPECT_TRUE(board.RegWritePending[3]);
  EXPECT_TRUE(board.RegOpsPending);
  c.cmdRDReg_Click(4);
  EXPECT_EQ(c.regs.lblUSBStatis.caption(), "Read_Reg Waiting");
  EXPECT_TRUE(board.RegReadPending[4]);
  c.cmdReadILimits_Click();
  EXPECT_TRUE(h.app->shared.LimitsReadPending);
  EXPECT_TRUE(h.transport.Frames().empty());

  // Once the bus is free the queued write goes out and its mark is cleared.
  board.UsbBusy = false;
  c.cmdWrtReg_Click(3);
  EXPECT_EQ(h.Writes(), (RegWrites{{3, 0x00}}));
  EXPECT_FALSE(board.RegWritePending[3]);
  EXPECT_FALSE(board.RegOpsPending);
}

TEST(ConsoleRegisterPanelTest, ValueEntryWritesThenReadsBack) {
  Opened h;
  ConsoleWindow& c = h.c();
  const double red = h.app->colors.ColorRed;
  TextBox& box = c.regs.txtRegHex[3];
  box.setText("a5");
  box.onKeyPress(13);
  EXPECT_EQ(box.text(), "A5");
  const auto frames = h.transport.Frames();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].bytes, (Bytes{0x00, 0x88, 0x03, 0xA5}));
  EXPECT_EQ(frames[1].bytes, (Bytes{0x01, 0x89, 0x03}));
  EXPECT_EQ(frames[2].pipe, 130u);
  EXPECT_EQ(c.regs.txtRegRd[3].text(), "A5");
  EXPECT_NE(c.regs.ShpIndrd[3].fillColor(), red);

  h.transport.calls.clear();
  box.setText("123");
  box.onKeyPress(13);
  EXPECT_EQ(box.text(), "12");
  EXPECT_EQ(h.Writes(), (RegWrites{{3, 0x12}}));

  // One digit is written as it stands, but its read-back "05" differs from "5".
  h.transport.calls.clear();
  box.setText("5");
  box.onKeyPress(13);
  EXPECT_EQ(h.Writes(), (RegWrites{{3, 0x05}}));
  EXPECT_EQ(c.regs.txtRegRd[3].text(), "05");
  EXPECT_EQ(c.regs.ShpIndrd[3].fillColor(), red);

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
  EXPECT_EQ(h.sim().chipRegister(3), 0x3C);
}

TEST(ConsoleRegisterPanelTest, AddressEntrySetsWriteAndReadAddresses) {
  Opened h;
  TextBox& adr = h.c().txtI2CADR;
  adr.setText("8a");
  adr.onKeyPress(13);
  EXPECT_EQ(adr.text(), "8A");
  EXPECT_EQ(h.board().I2CWriteAddress, 0x8A);
  EXPECT_EQ(h.board().I2CReadAddress, 0x8B);
  h.c().cmdWrtReg_Click(1);
  EXPECT_EQ(h.transport.Frames().at(0).bytes[1], 0x8A);

  adr.setText("FF");
  adr.onLostFocus();
  EXPECT_EQ(h.board().I2CWriteAddress, 0xFF);
  EXPECT_EQ(h.board().I2CReadAddress, 0x00);

  adr.setText("12345");  // too long for an address: it stays, and the box shows it
  adr.onKeyPress(13);
  EXPECT_EQ(adr.text(), "FF");
  EXPECT_EQ(h.board().I2CWriteAddress, 0xFF);
}

TEST(ConsoleRegisterPanelTest, ReadAllNeedsTheBoard) {
  Harness h;
  h.startup().Show();
  h.transport.board.Unplug();
  h.board().DoEvents();
  h.startup().goto_x28.Click();
  h.toolkit.messages.clear();
  h.transport.calls.clear();
  h.app->console.regs.cmdReadAllRegs.Click();
  EXPECT_EQ(h.toolkit.messages, std::vector<std::string>{"USB is not Connected"});
  EXPECT_TRUE(h.transport.Frames().empty());
}

TEST(ConsoleInterruptTest, ReadingIntrMirrorsTheProximityFlagOnLampAndLed) {
  Opened h;
  ConsoleWindow& c = h.c();
  const ColorTable& colors = h.app->colors;
  RaiseProximityFlag(h);
  c.cmdRDReg_Click(reg::kIntr);
  EXPECT_EQ(c.intr.ShpPintr.fillColor(), colors.ColorRed);
  EXPECT_TRUE(h.sim().ledLit(6));

  c.cmdPIClear_Click();
  EXPECT_EQ(h.sim().chipRegister(reg::kIntr) & kIntrProxFlag, 0);
  c.cmdRDReg_Click(reg::kIntr);
  EXPECT_EQ(c.intr.ShpPintr.fillColor(), colors.ColorBlack);
  EXPECT_FALSE(h.sim().ledLit(6));

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

TEST(ConsoleInterruptTest, PinSampleBeepsWhenThePinChanges) {
  Opened h;
  ConsoleWindow& c = h.c();
  const ColorTable& colors = h.app->colors;
  ASSERT_TRUE(c.intr.beep_on_int.checked());
  RaiseProximityFlag(h);
  ASSERT_TRUE(h.sim().interruptPinAsserted());
  c.cmdISamples_Click();
  c.cmdISamples_Click();
  EXPECT_EQ(h.toolkit.beeps, 1);
  EXPECT_EQ(c.intr.ShpINTexternal.fillColor(), colors.ColorRed);

  c.cmdPIClear_Click();
  ASSERT_FALSE(h.sim().interruptPinAsserted());
  c.cmdISamples_Click();
  EXPECT_EQ(h.toolkit.beeps, 2);
  EXPECT_EQ(c.intr.ShpINTexternal.fillColor(), colors.ColorBlack);
}

}  // namespace
}  // namespace kps
