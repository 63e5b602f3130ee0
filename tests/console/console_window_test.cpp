#include "console/console_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
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

TEST(ConsoleConfigTest, EachControlComposesItsFieldOfConfOrIntrAndWritesIt) {
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

  // With CONF and INTR all ones, each control clears or re-codes its own field
  // and keeps every other bit. {the user's action, register, value written}
  InterruptControls& in = h.c().intr;
  auto& cache = shared.caches.RegWriteCache;
  using Case = std::tuple<std::function<void()>, int, int>;
  const Case cases[] = {
      {[&] { cfg.OptMMode[0].Select(); }, 1, 0xFE},
      {[&] { cfg.chkALSEnable.setChecked(false); }, 1, 0xFB},
      {[&] { cfg.OptALSRange[0].setValue(true), cfg.OptALSRange[1].Select(); }, 1, 0xFD},
      {[&] { cfg.OptProxDr[0].Select(); }, 1, 0xF7},
      {[&] { cfg.OptIRSleep[2].Select(); }, 1, 0xAF},
      {[&] { cfg.ChkPEnable.setChecked(false); }, 1, 0x7F},
      {[&] { in.OptEPIN[1].setValue(true), in.OptEPIN[0].Select(); }, 2, 0xFE},
      {[&] { in.optINTPALS[1].Select(); }, 2, 0xFB},
      {[&] { in.optINTPALS[2].Select(); }, 2, 0xFD},
      {[&] { in.optINTP[1].Select(); }, 2, 0xBF},
      {[&] { in.cmdPIClear.Click(); }, 2, 0x7F},
      {[&] { in.cmdALSClear.Click(); }, 2, 0xF7},
  };
  for (const auto& [act, reg, value] : cases) {
    cache[reg::kConf] = cache[reg::kIntr] = 0xFF;
    h.transport.calls.clear();
    act();
    EXPECT_EQ(h.Writes(), (RegWrites{{reg, value}})) << "register " << reg;
  }
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
        Case{"99999999999999999999", "2748", alsLow}, Case{"abc", "2748", alsLow},
        Case{"", "2748", alsLow}, Case{"291", "-1", alsHigh}, Case{"291", "12abc", alsHigh}}) {
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

  // A fraction is rounded once, for both halves of the high threshold (31.6 is
  // 32, 0x020); a proximity limit that is no number is out of range.
  h.transport.calls.clear();
  in.txtILow[0].setText("0");
  in.txtIHigh[0].setText("31.6");
  in.txtILow[2].setText("abc");
  in.cmdWrtILimits.Click();
  EXPECT_EQ(h.Writes(), (RegWrites{{5, 0x00}, {6, 0x00}, {7, 0x02}}));
  EXPECT_EQ(in.lblILimitNote.caption(),
            "Low Limit must be within 0 Min and 255 Max. Re-enter Low Limit");
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
  for (const auto& f : h.Sent()) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X %02X", f[0], f[2]);
    sent.push_back(text);
  }
  EXPECT_EQ(sent, (Texts{"03 08", "00 03", "01 04", "01 05", "01 06", "01 07", "01 03", "01 04",
                         "03 08"}));
  EXPECT_TRUE(readPendingSeen);
  EXPECT_FALSE(board.RegWritePending[3] || board.RegReadPending[4] || board.RegOpsPending);
  EXPECT_FALSE(h.app->shared.LimitsReadPending);
  EXPECT_EQ(c.intr.txtILow[3].text(), "12");  // read after the write clicked before it
}

TEST(ConsoleRegisterPanelTest, ValueEntryWritesThenReadsBackAndRefusesTextThatIsNotHex) {
  Opened h;
  ConsoleWindow& c = h.c();
  TextBox& box = c.regs.txtRegHex[3];
  // A single digit is written as it stands, but its read-back "05" differs from "5".
  // {typed, shown, written, read back, read lamp red}
  using Case = std::tuple<const char*, const char*, int, const char*, bool>;
  for (auto [typed, shown, written, readBack, red] :
       {Case{"a5", "A5", 0xA5, "A5", false}, Case{"123", "12", 0x12, "12", false},
        Case{" 0x1f ", "1F", 0x1F, "1F", false}, Case{"5", "5", 0x05, "05", true}}) {
    h.transport.calls.clear();
    box.Edit(typed);
    box.onKeyPress(13);
    EXPECT_EQ(box.text(), shown);
    EXPECT_EQ(h.Writes(), (RegWrites{{3, written}})) << typed;
    EXPECT_EQ(c.regs.txtRegRd[3].text(), readBack);
    EXPECT_EQ(c.regs.ShpIndrd[3].fillColor() == h.app->colors.ColorRed, red) << typed;
  }
  h.transport.calls.clear();
  box.Edit("7");
  box.onKeyPress('7');
  EXPECT_TRUE(h.transport.Frames().empty());

  // Text that is not hex goes nowhere, by Enter, by leaving the box or by "Wr":
  // the box shows the register's value again and a message says why.
  for (const char* typed : {"G1", "zz", "5G", "1\xC3\xA4", ""}) {
    for (int way = 0; way < 3; ++way) {
      h.toolkit.messages.clear();
      box.Edit(typed);
      if (way == 0) box.onKeyPress(13);
      if (way == 1) box.onLostFocus();
      if (way == 2) c.regs.cmdWrtReg[3].Click();
      EXPECT_TRUE(h.transport.Frames().empty()) << typed << " way " << way;
      EXPECT_EQ(box.text(), "05");
      EXPECT_EQ(h.toolkit.messages, Texts{"\"" + std::string(typed) +
                                          "\" is not a value for register 3: type two hex "
                                          "digits, 00 to FF. It was not written; the box shows "
                                          "the register's last value, 05, again."});
    }
  }

  // Leaving the box writes what the user typed, twice (the write lamp ends where
  // it was); a box the focus passes through, or left after its Enter, writes nothing.
  const double lamp = c.regs.ShpIndwr[3].fillColor();
  box.Edit("3c");
  box.onLostFocus();
  EXPECT_EQ(box.text(), "3C");
  EXPECT_EQ(h.Writes(), (RegWrites{{3, 0x3C}, {3, 0x3C}}));
  EXPECT_EQ(c.regs.ShpIndwr[3].fillColor(), lamp);
  h.transport.calls.clear();
  box.onLostFocus();
  box.setText("44");  // by the program
  box.onLostFocus();
  box.Edit("45");
  box.onKeyPress(13);
  box.onLostFocus();
  EXPECT_EQ(h.Writes(), (RegWrites{{3, 0x45}}));
}

TEST(ConsoleRegisterPanelTest, AddressEntrySetsWriteAndReadAddressesOrSaysWhyNot) {
  Opened h;
  TextBox& adr = h.c().txtI2CADR;
  BoardLink& board = h.board();
  // {typed, by Enter (else by leaving the box), shown, write address, refused}
  using Case = std::tuple<const char*, bool, const char*, int, bool>;
  for (auto [typed, enter, shown, address, refused] :
       {Case{"8a", true, "8A", 0x8A, false}, Case{"FF", false, "FF", 0xFF, false},
        Case{" 0x8A ", false, "8A", 0x8A, false}, Case{"ZZ", true, "8A", 0x8A, true},
        Case{"12345", false, "8A", 0x8A, true}, Case{"", true, "8A", 0x8A, true}}) {
    h.toolkit.messages.clear();
    adr.Edit(typed);
    enter ? adr.onKeyPress(13) : adr.onLostFocus();
    EXPECT_EQ(adr.text(), shown) << typed;
    EXPECT_EQ(board.I2CWriteAddress, address) << typed;
    EXPECT_EQ(board.I2CReadAddress, (address + 1) & 0xFF) << typed;
    EXPECT_EQ(h.toolkit.messages.size(), refused ? 1u : 0u) << typed;
  }
  EXPECT_EQ(h.toolkit.messages[0],
            "\"\" is not an I2C address: type two hex digits, 00 to FF. The address stays 8A.");
  // Passing through the box keeps an address a script row set meanwhile.
  board.SetI2CAddress(0x20);
  adr.onLostFocus();
  EXPECT_EQ(board.I2CWriteAddress, 0x20);
  EXPECT_TRUE(h.transport.Frames().empty());
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
  for (const auto& f : a.transport.Frames()) EXPECT_NE(f.pipe, 1u);  // no GPIO exchange
  EXPECT_FALSE(a.sim().ledLit(6));
}

}  // namespace
}  // namespace kps
