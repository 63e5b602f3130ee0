#include "board/board_link.h"

#include <gtest/gtest.h>

#include "board/gpio.h"
#include "support/harness.h"

namespace kps {
namespace {

using test::Harness;
using Bytes = std::vector<uint8_t>;

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
  const Lamp& Attached() { return startup().lamps.ShpAttach; }
  const Lamp& Comm() { return startup().lamps.Shp_USB_Transfer; }
};

TEST(FramesTest, RegisterWriteThenSingleAndMeasurementReads) {
  HeldLink h;
  h.board().I2C_WriteRegister(0x01, 0x86);  // prox and ALS on, 2000 lux range
  h.board().I2C_ReadRegisters(0x01, 1, 6);
  EXPECT_EQ(h.board().ReadCount, 1);
  EXPECT_EQ(h.board().TransferBuffer, (Bytes{0x01, 0x86, 0, 0, 0, 0}));
  h.board().I2C_ReadRegisters(0x08, 3, 5);
  // The default scene: proximity 0.1 -> 26, 250 lux -> 512.
  EXPECT_EQ(h.board().TransferBuffer, (Bytes{0x03, 0x1A, 0x00, 0x02, 0x00}));

  const auto frames = h.transport.Frames();
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_EQ(frames[0].pipe, 2u);
  EXPECT_EQ(frames[0].bytes, (Bytes{0x00, 0x88, 0x01, 0x86}));
  EXPECT_EQ(frames[1].bytes, (Bytes{0x01, 0x89, 0x01}));
  EXPECT_EQ(frames[2].op, "in");
  EXPECT_EQ(frames[2].pipe, 130u);
  EXPECT_EQ(frames[2].length, 6u);
  EXPECT_EQ(frames[3].bytes, (Bytes{0x03, 0x89, 0x08}));
  EXPECT_EQ(frames[4].length, 5u);
}

TEST(FramesTest, AddressEightAGivesReadAddressEightB) {
  HeldLink h;
  h.board().SetI2CAddress(0x8A);
  EXPECT_EQ(h.board().I2CReadAddress, 0x8B);
  h.board().I2C_ReadRegisters(0x00, 1, 6);
  h.board().I2C_WriteRegister(0x02, 0x00);
  const auto frames = h.transport.Frames();
  EXPECT_EQ(frames[0].bytes, (Bytes{0x01, 0x8B, 0x00}));
  EXPECT_EQ(frames[2].bytes, (Bytes{0x00, 0x8A, 0x02, 0x00}));
  h.board().SetI2CAddress(0xFF);  // the read address wraps with the byte
  EXPECT_EQ(h.board().I2CReadAddress, 0x00);
}

TEST(FramesTest, ShortAndFailedTransfersLeaveZerosAndRedLamps) {
  HeldLink h;
  h.board().I2C_WriteRegister(0x01, 0x86);
  h.transport.board.InjectFault(sim::Fault::ShortReply);
  h.board().I2C_ReadRegisters(0x08, 3, 5);
  EXPECT_EQ(h.board().TransferBuffer, (Bytes{0x03, 0, 0, 0, 0}));
  EXPECT_EQ(h.Comm().fillColor(), kGreen);

  h.transport.board.InjectFault(sim::Fault::Timeout);
  h.board().I2C_ReadRegisters(0x08, 3, 5);
  EXPECT_EQ(h.board().TransferBuffer, (Bytes{0, 0, 0, 0, 0}));
  EXPECT_EQ(h.board().LastUsbStatus, kUsbTimeout);
  EXPECT_EQ(h.Comm().fillColor(), kRed);

  h.transport.transferStatus = kUsbIoError;
  h.board().I2C_WriteRegister(0x01, 0x00);
  EXPECT_EQ(h.Attached().fillColor(), kRed);
  h.transport.transferStatus = 0;
  h.board().I2C_WriteRegister(0x01, 0x00);
  EXPECT_EQ(h.Attached().fillColor(), kGreen);
}

TEST(FramesTest, ATransferMadeByAHandlerDuringAnotherLeavesItIntact) {
  HeldLink h;
  GpioPort& gpio = h.app->gpio;
  h.board().I2C_WriteRegister(0x03, 0x5A);
  // A GPIO exchange (an LED test click) runs at each event point of the read.
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
  EXPECT_EQ(h.board().TransferPipe, 130u);
  int readFrames = 0;
  for (const auto& f : h.transport.Frames()) {
    if (f.pipe == 2 && f.op == "out" && f.bytes.size() == 3) {
      EXPECT_EQ(f.bytes, (Bytes{0x01, 0x89, 0x03}));
      ++readFrames;
    }
  }
  EXPECT_EQ(readFrames, 1);
  EXPECT_EQ(gpio.portBPins & 0x80, 0x80);  // PB7 high: no interrupt
}

TEST(GpioTest, ExchangeSendsDataBeforeEnablesAndReadsThePortsBack) {
  HeldLink h;
  GpioPort& gpio = h.app->gpio;
  EXPECT_EQ(gpio.GpioFrameLength, 0);
  gpio.state[0] = 0x60;  // PB5 and PB6 drive the LEDs
  gpio.state[2] = 0x40;
  gpio.cmdGPIO_Write_Click();
  const auto frames = h.transport.Frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].pipe, 1u);
  EXPECT_EQ(frames[0].bytes, (Bytes{0x40, 0x00, 0x60, 0x00}));
  EXPECT_EQ(frames[1].pipe, 129u);
  EXPECT_EQ(frames[1].length, 25u);
  EXPECT_EQ(gpio.GpioFrameLength, 4);
  EXPECT_EQ(h.board().TransferBuffer[0], 0xDF);  // PB5 driven low, PB7 (interrupt) high

  // The LED data boxes set and clear only their own port C bit.
  gpio.state[3] = 0xF0;
  gpio.ChKLedData_Click(1, true);
  EXPECT_EQ(gpio.state[3], 0xF2);
  gpio.ChKLedData_Click(1, false);
  gpio.ChKLedData_Click(0, false);
  EXPECT_EQ(gpio.state[3], 0xF0);
}

TEST(SessionTest, StartWithTheBoardLightsInitAttachedAndInfo) {
  Harness h;
  h.startup().Show();
  EXPECT_EQ(h.startup().Shp_USB_Init.fillColor(), kGreen);
  EXPECT_EQ(h.startup().lamps.ShpAttach.fillColor(), kGreen);
  EXPECT_EQ(h.startup().lamps.Shp_USB_Info.fillColor(), kGreen);
  EXPECT_EQ(h.startup().lamps.Shp_USB_Transfer.fillColor(), kBlack);
  EXPECT_TRUE(h.board().UsbConnected);
  EXPECT_TRUE(h.board().SessionHeld);  // the load selects the first entry with the board attached
  EXPECT_TRUE(h.toolkit.messages.empty());
}

TEST(SessionTest, StartWithoutTheBoardWaitsTenThousandPassesThenShowsRed) {
  Harness h(/*boardPlugged=*/false);
  h.startup().Show();
  EXPECT_EQ(h.startup().Shp_USB_Init.fillColor(), kGreen);
  EXPECT_EQ(h.startup().lamps.ShpAttach.fillColor(), kRed);
  EXPECT_EQ(h.startup().lamps.Shp_USB_Info.fillColor(), kRed);
  EXPECT_GE(h.toolkit.processEventsCalls, 10000);
  EXPECT_FALSE(h.board().UsbConnected);
  EXPECT_FALSE(h.board().SessionHeld);
  EXPECT_TRUE(h.toolkit.messages.empty());  // no board is shown by the lamps alone

  Harness noDriver;
  noDriver.transport.initStatus = kUsbOther;
  noDriver.startup().Show();
  EXPECT_EQ(noDriver.startup().Shp_USB_Init.fillColor(), kRed);
  EXPECT_EQ(noDriver.Count("init"), 1);  // only an aborted session is opened again
  EXPECT_FALSE(noDriver.board().DeviceAttached);
  EXPECT_TRUE(noDriver.toolkit.messages.empty());
}

TEST(SessionTest, LaterAttachTurnsAttachedGreenAndResetsInfoAndComm) {
  Harness h(/*boardPlugged=*/false);
  h.startup().Show();
  h.transport.board.Plug();
  h.board().DoEvents();
  EXPECT_TRUE(h.board().DeviceAttached);
  EXPECT_FALSE(h.board().UsbConnected);  // until the next device check
  EXPECT_EQ(h.startup().lamps.ShpAttach.fillColor(), kGreen);
  EXPECT_EQ(h.startup().lamps.Shp_USB_Info.fillColor(), kBlack);
  EXPECT_EQ(h.startup().lamps.Shp_USB_Transfer.fillColor(), kBlack);
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
  ASSERT_EQ(h.toolkit.messages.size(), 1u);
  EXPECT_EQ(h.toolkit.messages[0],
            "Device has been disconnected, reconnect and re-initialize all registers");
  EXPECT_FALSE(h.app->flags.CollectRunning);
  EXPECT_FALSE(h.board().DeviceAttached);
  EXPECT_TRUE(h.board().DeviceDetached);
  EXPECT_FALSE(h.board().UsbConnected);
  EXPECT_EQ(h.board().attachContext.Device, 0u);
  EXPECT_FALSE(h.board().deviceInfo.has_value());
  // The frame failed and the detach came at the next event pass; the reply
  // read after it failed too.
  EXPECT_EQ(h.Attached().fillColor(), kRed);
  EXPECT_EQ(h.Comm().fillColor(), kRed);
  EXPECT_EQ(h.startup().lamps.Shp_USB_Info.fillColor(), kBlack);
}

TEST(SessionTest, RefusedInterfaceLeavesTheBoardDetachedAndExplainsPermissions) {
  Harness busy;
  busy.transport.setInterfaceStatus = kUsbBusy;
  busy.startup().Show();
  EXPECT_FALSE(busy.board().DeviceAttached);
  EXPECT_EQ(busy.board().attachContext.Device, 0u);
  EXPECT_TRUE(busy.toolkit.messages.empty());

  Harness denied;
  denied.transport.setInterfaceStatus = kUsbAccessDenied;
  denied.startup().Show();
  denied.transport.board.Unplug();
  denied.transport.board.Plug();
  denied.board().DoEvents();
  ASSERT_EQ(denied.toolkit.messages.size(), 1u);  // once a run, not at every attempt
  EXPECT_NE(denied.toolkit.messages[0].find("udev rule"), std::string::npos);
  EXPECT_NE(denied.toolkit.messages[0].find(
                "ATTRS{idVendor}==\"1209\", ATTRS{idProduct}==\"a710\", TAG+=\"uaccess\""),
            std::string::npos);
}

TEST(SessionTest, CloseResetsPipesOneTwoThreeAndReleasesOnlyAfterTheThirdSucceeds) {
  Harness h;
  h.startup().Show();
  h.transport.calls.clear();
  h.transport.resetPipeStatuses = {kUsbIoError, 0, kUsbIoError};
  h.board().USB_Close();
  EXPECT_EQ(h.transport.Ops(), (std::vector<std::string>{"resetPipe", "resetPipe", "resetPipe"}));
  EXPECT_EQ(h.transport.calls[2].pipe, 3u);
  EXPECT_TRUE(h.board().deviceInfo.has_value());
  EXPECT_GT(h.board().hDriver, 0);

  h.transport.calls.clear();
  h.transport.resetPipeStatuses = {kUsbIoError, kUsbIoError, 0};
  h.board().USB_Close();
  EXPECT_EQ(h.transport.Ops().back(), "uninit");
  EXPECT_FALSE(h.board().deviceInfo.has_value());
}

TEST(SessionTest, NotHeldOperationsCheckFirstAndAbortAfterAndStillWorkNextTime) {
  Harness h(/*boardPlugged=*/false);
  h.board().USB_Abort();  // no session yet: nothing at all
  EXPECT_TRUE(h.transport.calls.empty());

  h.startup().Show();  // no board at load: the session is not held
  h.transport.board.Plug();
  h.board().DoEvents();
  h.board().BoardPipe = 2;
  h.board().SetI2CAddress(0x88);
  ASSERT_FALSE(h.board().SessionHeld);

  for (int round = 0; round < 2; ++round) {
    h.transport.calls.clear();
    h.board().FrameBegin();
    h.board().I2C_WriteRegister(0x01, 0x04);
    h.board().FrameEnd();
    if (round == 0) {
      EXPECT_EQ(h.transport.Ops(),
                (std::vector<std::string>{"getDeviceInfo", "out", "resetDevice", "uninit"}));
    } else {
      // The abort ended the session; the next check opens a new one instead of
      // letting every later transfer fail.
      EXPECT_EQ(h.transport.Ops(),
                (std::vector<std::string>{"init", "setInterface", "getDeviceInfo", "out",
                                          "resetDevice", "uninit"}));
    }
    EXPECT_EQ(h.board().LastUsbStatus, 0u) << "round " << round;
    EXPECT_EQ(h.transport.board.chipRegister(0x01), 0x04) << "round " << round;
    EXPECT_EQ(h.board().hDriver, 0);
    EXPECT_FALSE(h.board().UsbConnected);
    EXPECT_TRUE(h.board().DeviceAttached);  // an abort does not detach the board
    // A power cycle clears the chip, so the next round proves its own write.
    h.transport.board.Unplug();
    h.transport.board.Plug();
  }
  EXPECT_EQ(h.toolkit.sleeps.back(), 100);
}

}  // namespace
}  // namespace kps
