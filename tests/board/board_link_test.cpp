#include "board/board_link.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string_view>

#include "board/gpio.h"
#include "support/harness.h"

namespace kps {
namespace {

using test::Harness;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using Colors = std::vector<double>;

constexpr double kRed = 12, kGreen = 10, kBlack = 0;

// A started program that picked address 0x88 with the board attached: the
// session is held, the console's pipe is 2.
struct HeldLink : Harness {
  HeldLink() {
    startup().Show();
    board().BoardPipe = 2;
    board().SetI2CAddress(0x88);
    transport.calls.clear();
  }
};

// The frames sent as "out 2: 00 88 01 86" and asked for as "in 130: 6", only
// those that start with `only`.
Lines Frames(const Harness& h, std::string_view only = "") {
  Lines lines;
  for (const auto& f : h.transport.Frames()) {
    std::string line = f.op + " " + std::to_string(f.pipe) + ":";
    if (f.op == "in") line += " " + std::to_string(f.length);
    char hex[4];
    for (const uint8_t b : f.op == "out" ? f.bytes : Bytes{})
      line += (std::snprintf(hex, sizeof hex, " %02X", b), hex);
    if (line.starts_with(only)) lines.push_back(line);
  }
  return lines;
}

// The startup window's lamps: USB init, attached, info, transfer.
Colors Lamps(Harness& h) {
  StartupWindow& s = h.startup();
  return {s.Shp_USB_Init.fillColor(), s.lamps.ShpAttach.fillColor(),
          s.lamps.Shp_USB_Info.fillColor(), s.lamps.Shp_USB_Transfer.fillColor()};
}

TEST(FramesTest, RegisterWriteSingleAndMeasurementReadsAtEitherAddress) {
  HeldLink h;
  h.board().I2C_WriteRegister(0x01, 0x86);  // prox and ALS on, 2000 lux range
  h.board().I2C_ReadRegisters(0x01, 1, 6);
  EXPECT_EQ(h.board().TransferBuffer, (Bytes{0x01, 0x86, 0, 0, 0, 0}));
  h.board().I2C_ReadRegisters(0x08, 3, 5);
  h.board().SetI2CAddress(0x8A);
  h.board().I2C_ReadRegisters(0x00, 1, 6);
  h.board().I2C_WriteRegister(0x02, 0x00);
  EXPECT_EQ(Frames(h),
            (Lines{"out 2: 00 88 01 86", "out 2: 01 89 01", "in 130: 6", "out 2: 03 89 08",
                   "in 130: 5", "out 2: 01 8B 00", "in 130: 6", "out 2: 00 8A 02 00"}));
}

// The one reply check every caller relies on, where the fault table
// (link_faults_test.cpp) does not reach: the lamps a good and a refused
// exchange leave (init, attached, info, comm), a write, and a GPIO reply.
TEST(ReplyCheckTest, EveryFailureOfAnExchangeIsNamedAndTurnsCommRed) {
  HeldLink h;
  EXPECT_TRUE(h.board().I2C_ReadRegisters(0x08, 3, 5).ok());
  EXPECT_EQ(Lamps(h), (Colors{kGreen, kGreen, kGreen, kGreen}));
  h.transport.transferStatus = kUsbIoError;
  EXPECT_EQ(h.board().I2C_ReadRegisters(0x08, 3, 5).Why(),
            "the board did not take the transfer (input/output error)");
  EXPECT_EQ(Lamps(h), (Colors{kGreen, kRed, kGreen, kRed}));

  // A register write reads no reply: only its transfer can be seen to fail.
  h.transport.transferStatus = 0;
  h.transport.board.InjectFault(sim::Fault::Nak);
  EXPECT_TRUE(h.board().I2C_WriteRegister(0x01, 0x86).ok());
  h.transport.transferStatus = kUsbStall;
  EXPECT_EQ(h.board().I2C_WriteRegister(0x01, 0x86).Why(),
            "the board did not take the transfer (endpoint stalled)");
  // A GPIO reply has no status byte, but must hold the four port bytes.
  h.transport.transferStatus = 0;
  h.transport.board.InjectFault(sim::Fault::ShortReply, 1, 0, sim::FaultPipe::Gpio);
  EXPECT_EQ(h.app->gpio.cmdGPIO_Write_Click().Why(), "the reply was short: 1 of 4 bytes");
}

TEST(GpioTest, ExchangeSendsDataBeforeEnablesReadsThePortsBackAndLeavesAReadItInterruptsIntact) {
  HeldLink h;
  GpioPort& gpio = h.app->gpio;
  gpio.state[0] = 0x60;  // PB5 and PB6 drive the LEDs
  gpio.state[2] = 0x40;
  gpio.cmdGPIO_Write_Click();
  EXPECT_EQ(Frames(h), (Lines{"out 1: 40 00 60 00", "in 129: 25"}));
  EXPECT_EQ(h.board().TransferBuffer[0], 0xDF);  // PB5 driven low, PB7 (interrupt) high
  // The LED data boxes set and clear only their own port C bit.
  gpio.state[3] = 0xF0;
  gpio.ChKLedData_Click(1, true);
  EXPECT_EQ(gpio.state[3], 0xF2);
  gpio.ChKLedData_Click(1, false);
  gpio.ChKLedData_Click(0, false);
  EXPECT_EQ(gpio.state[3], 0xF0);

  // An exchange (an LED test click) runs at each event point of an I2C read.
  h.board().I2C_WriteRegister(0x03, 0x5A);
  bool nested = false;
  h.toolkit.onProcessEvents = [&] {
    if (nested) return;
    nested = true;
    gpio.cmdGPIO_Write_Click();
    nested = false;
  };
  h.board().I2C_ReadRegisters(0x03, 1, 6);
  h.toolkit.onProcessEvents = nullptr;
  EXPECT_EQ(h.board().TransferBuffer, (Bytes{0x01, 0x5A, 0, 0, 0, 0}));
  EXPECT_EQ(Frames(h, "out 2"), (Lines{"out 2: 00 88 03 5A", "out 2: 01 89 03"}));
  EXPECT_GT(Frames(h, "out 1").size(), 1u);  // the nested exchanges ran
}

TEST(SessionTest, WithoutTheBoardAtStartLampsTurnGreenOnAttachAndEachOperationChecksAndAborts) {
  Harness h(/*boardPlugged=*/false);
  h.board().USB_Abort();  // no session yet: nothing at all
  EXPECT_TRUE(h.transport.calls.empty());
  h.startup().Show();  // waits ten thousand event passes for the board
  EXPECT_EQ(Lamps(h), (Colors{kGreen, kRed, kRed, kBlack}));
  EXPECT_GE(h.toolkit.processEventsCalls, 10000);
  EXPECT_TRUE(h.toolkit.messages.empty());  // no board is shown by the lamps alone
  h.transport.board.Plug();
  h.board().DoEvents();
  EXPECT_TRUE(h.board().DeviceAttached);
  EXPECT_FALSE(h.board().UsbConnected);  // until the next device check
  EXPECT_EQ(Lamps(h), (Colors{kGreen, kGreen, kBlack, kBlack}));

  // Not held (no board at load): each operation checks the device first and aborts after.
  h.board().BoardPipe = 2;
  h.board().SetI2CAddress(0x88);
  for (int round = 0; round < 2; ++round) {
    h.transport.calls.clear();
    h.board().FrameBegin();
    h.board().I2C_WriteRegister(0x01, 0x04);
    h.board().FrameEnd();
    Lines ops = {"getDeviceInfo", "out", "resetDevice", "uninit"};
    // The abort ended the session; the next check opens a new one instead of
    // letting every later transfer fail.
    if (round == 1) ops.insert(ops.begin(), {"init", "setInterface"});
    EXPECT_EQ(h.transport.Ops(), ops) << "round " << round;
    EXPECT_EQ(h.board().LastUsbStatus, 0u) << "round " << round;
    EXPECT_EQ(h.transport.board.chipRegister(0x01), 0x04) << "round " << round;
    EXPECT_FALSE(h.board().UsbConnected);
    EXPECT_TRUE(h.board().DeviceAttached);  // an abort does not detach the board
    // A power cycle clears the chip, so the next round proves its own write.
    h.transport.board.Unplug();
    h.transport.board.Plug();
  }
  EXPECT_EQ(h.toolkit.sleeps.back(), 100);
}

TEST(SessionTest, ABoardBackWhileHeldIsTakenUpAndAHeldSessionAScriptRowAbortedReopens) {
  HeldLink h;
  const DeviceHandle before = h.board().hDevice;
  h.transport.board.Unplug();
  h.board().DoEvents();
  EXPECT_FALSE(h.board().UsbConnected);
  h.transport.board.Plug();
  h.board().DoEvents();  // nobody checks the device while the session is held
  EXPECT_TRUE(h.board().UsbConnected);
  EXPECT_NE(h.board().hDevice, before);
  EXPECT_EQ(h.board().DetachCount, 1);
  EXPECT_EQ(Lamps(h), (Colors{kGreen, kGreen, kGreen, kBlack}));
  EXPECT_TRUE(h.board().I2C_ReadRegisters(0x00, 1, 6).ok());

  // A script row run alone aborts the session, held or not; the next
  // operation's frame opens it again instead of using a dead handle.
  h.board().USB_Abort();
  h.board().FrameBegin();
  EXPECT_TRUE(h.board().UsbConnected);
  EXPECT_TRUE(h.board().I2C_ReadRegisters(0x00, 1, 6).ok());
  EXPECT_EQ(h.Count("init"), 1);
}

TEST(SessionTest, DetachDuringAReadFailsItStopsCollectionAndTellsTheUserOnce) {
  HeldLink h;
  h.app->flags.CollectRunning = true;
  h.transport.duringTransfer = [&] {
    if (h.transport.board.plugged()) h.transport.board.Unplug();
  };
  h.board().I2C_ReadRegisters(0x08, 3, 5);
  h.board().DoEvents();
  EXPECT_EQ(h.board().TransferBuffer, (Bytes{0, 0, 0, 0, 0}));
  EXPECT_EQ(h.board().LastUsbStatus, kUsbNoDevice);
  EXPECT_EQ(h.toolkit.messages,
            Lines{"Device has been disconnected, reconnect and re-initialize all registers"});
  EXPECT_FALSE(h.app->flags.CollectRunning);
  EXPECT_FALSE(h.board().DeviceAttached);
  EXPECT_TRUE(h.board().DeviceDetached);
  EXPECT_FALSE(h.board().UsbConnected);
  EXPECT_EQ(h.board().attachContext.Device, 0u);
  EXPECT_FALSE(h.board().deviceInfo.has_value());
  // The frame failed and the detach came at the next event pass; the reply
  // read after it failed too.
  EXPECT_EQ(Lamps(h), (Colors{kGreen, kRed, kBlack, kRed}));
}

TEST(SessionTest, RefusedInitOrInterfaceLeavesTheBoardDetachedAndDenialOrUseExplainItself) {
  Harness noDriver;
  noDriver.transport.initStatus = kUsbOther;
  noDriver.startup().Show();
  EXPECT_EQ(noDriver.startup().Shp_USB_Init.fillColor(), kRed);
  EXPECT_EQ(noDriver.Count("init"), 1);  // only an aborted session is opened again
  EXPECT_FALSE(noDriver.board().DeviceAttached);
  EXPECT_TRUE(noDriver.toolkit.messages.empty());

  // The simulated board refuses to be opened as a real one would: the
  // program explains each refusal once a run, not at every attempt.
  for (const auto& [refusal, advice] :
       {std::pair{kUsbAccessDenied,
                  "ATTRS{idVendor}==\"1209\", ATTRS{idProduct}==\"a710\", TAG+=\"uaccess\""},
        std::pair{kUsbBusy, "in use by another program"}}) {
    Harness refused;
    refused.transport.board.RefuseOpen(refusal);
    refused.startup().Show();
    refused.transport.board.Unplug();
    refused.transport.board.Plug();
    refused.board().DoEvents();
    EXPECT_FALSE(refused.board().DeviceAttached);
    EXPECT_EQ(refused.board().attachContext.Device, 0u);
    ASSERT_EQ(refused.toolkit.messages.size(), 1u);
    EXPECT_NE(refused.toolkit.messages[0].find(advice), std::string::npos);
    // Lifted, and the board plugged in again: taken as any board.
    refused.transport.board.RefuseOpen(kUsbOk);
    refused.transport.board.Unplug();
    refused.transport.board.Plug();
    refused.board().DoEvents();
    EXPECT_TRUE(refused.board().DeviceAttached);
  }
}

TEST(SessionTest, StartWithTheBoardHoldsItAndCloseResetsPipesOneTwoThreeReleasingAfterTheThird) {
  Harness h;
  h.startup().Show();
  EXPECT_EQ(Lamps(h), (Colors{kGreen, kGreen, kGreen, kBlack}));
  EXPECT_TRUE(h.board().UsbConnected);
  EXPECT_TRUE(h.board().SessionHeld);  // the load selects the first entry with the board attached
  EXPECT_TRUE(h.toolkit.messages.empty());

  h.transport.calls.clear();
  h.transport.resetPipeStatuses = {kUsbIoError, 0, kUsbIoError};
  h.board().USB_Close();
  EXPECT_EQ(h.transport.Ops(), (Lines{"resetPipe", "resetPipe", "resetPipe"}));
  EXPECT_EQ(h.transport.calls[2].pipe, 3u);
  EXPECT_TRUE(h.board().deviceInfo.has_value());

  h.transport.calls.clear();
  h.transport.resetPipeStatuses = {kUsbIoError, kUsbIoError, 0};
  h.board().USB_Close();
  EXPECT_EQ(h.transport.Ops().back(), "uninit");
  EXPECT_FALSE(h.board().deviceInfo.has_value());
}

}  // namespace
}  // namespace kps
