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
};

TEST(FramesTest, RegisterWriteIsFourBytesOnPipeTwoWithNoReply) {
  HeldLink h;
  h.board().I2C_WriteRegister(0x01, 0xA2);
  h.board().I2C_WriteRegister(0x0F, 0x00);
  const auto frames = h.transport.Frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].op, "out");
  EXPECT_EQ(frames[0].pipe, 2u);
  EXPECT_EQ(frames[0].bytes, (Bytes{0x00, 0x88, 0x01, 0xA2}));
  EXPECT_EQ(frames[1].bytes, (Bytes{0x00, 0x88, 0x0F, 0x00}));
}

TEST(FramesTest, SingleAndMeasurementReadsAskForTheirReplies) {
  HeldLink h;
  h.transport.replies[130].push_back({0x01, 0x5C, 0, 0, 0, 0});
  h.board().I2C_ReadRegisters(0x05, 1, 6);
  EXPECT_EQ(h.board().ReadCount, 1);
  EXPECT_EQ(h.board().TransferBuffer, (Bytes{0x01, 0x5C, 0, 0, 0, 0}));

  h.transport.replies[130].push_back({0x03, 0x20, 0x34, 0x0F, 0});
  h.board().I2C_ReadRegisters(0x08, 3, 5);
  const auto frames = h.transport.Frames();
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0].bytes, (Bytes{0x01, 0x89, 0x05}));
  EXPECT_EQ(frames[1].op, "in");
  EXPECT_EQ(frames[1].pipe, 130u);
  EXPECT_EQ(frames[1].length, 6u);
  EXPECT_EQ(frames[2].bytes, (Bytes{0x03, 0x89, 0x08}));
  EXPECT_EQ(frames[3].length, 5u);
  EXPECT_EQ(h.board().TransferBuffer, (Bytes{0x03, 0x20, 0x34, 0x0F, 0}));
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

TEST(FramesTest, ShortOrFailedRepliesLeaveZeros) {
  HeldLink h;
  h.transport.replies[130].push_back({0x03, 0x11});
  h.board().I2C_ReadRegisters(0x08, 3, 5);
  EXPECT_EQ(h.board().TransferBuffer, (Bytes{0x03, 0x11, 0, 0, 0}));
  EXPECT_EQ(h.startup().lamps.Shp_USB_Transfer.fillColor(), kGreen);

  // Nothing queued: the read times out, the buffer stays cleared, the lamp turns red.
  h.board().I2C_ReadRegisters(0x08, 3, 5);
  EXPECT_EQ(h.board().TransferBuffer, (Bytes{0, 0, 0, 0, 0}));
  EXPECT_EQ(h.board().LastUsbStatus, kUsbTimeout);
  EXPECT_EQ(h.startup().lamps.Shp_USB_Transfer.fillColor(), kRed);
}

TEST(FramesTest, WriteTransferColoursTheAttachedLamp) {
  HeldLink h;
  h.transport.transferStatus = kUsbIoError;
  h.board().I2C_WriteRegister(0x01, 0x00);
  EXPECT_EQ(h.startup().lamps.ShpAttach.fillColor(), kRed);
  h.transport.transferStatus = 0;
  h.board().I2C_WriteRegister(0x01, 0x00);
  EXPECT_EQ(h.startup().lamps.ShpAttach.fillColor(), kGreen);
}

TEST(GpioTest, ExchangeSendsDataBeforeEnablesAndAsksForTwentyFiveBytes) {
  HeldLink h;
  GpioPort& gpio = h.app->gpio;
  EXPECT_EQ(gpio.GpioFrameLength, 0);
  gpio.state[0] = 0x60;
  gpio.state[2] = 0x40;
  gpio.state[1] = 0x03;
  gpio.state[3] = 0x02;
  h.transport.replies[129].push_back(Bytes(25, 0x7F));
  gpio.cmdGPIO_Write_Click();
  const auto frames = h.transport.Frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].pipe, 1u);
  EXPECT_EQ(frames[0].bytes, (Bytes{0x40, 0x02, 0x60, 0x03}));
  EXPECT_EQ(frames[1].pipe, 129u);
  EXPECT_EQ(frames[1].length, 25u);
  EXPECT_EQ(gpio.GpioFrameLength, 4);
  EXPECT_EQ(h.board().TransferBuffer[0], 0x7F);
}

TEST(GpioTest, LedDataBoxesSetAndClearTheirPortCBitOnly) {
  Harness h;
  GpioPort& gpio = h.app->gpio;
  gpio.state[3] = 0xF0;
  gpio.ChKLedData_Click(1, true);
  EXPECT_EQ(gpio.state[3], 0xF2);
  gpio.ChKLedData_Click(1, false);
  EXPECT_EQ(gpio.state[3], 0xF0);
  gpio.ChKLedData_Click(0, false);  // clearing a clear bit changes nothing
  EXPECT_EQ(gpio.state[3], 0xF0);
  gpio.ChKLedData_Click(0, true);
  EXPECT_EQ(gpio.state[3], 0xF1);
}

TEST(SessionTest, StartWithTheBoardLightsInitAttachedAndInfo) {
  Harness h;
  h.startup().Show();
  EXPECT_EQ(h.startup().Shp_USB_Init.fillColor(), kGreen);
  EXPECT_EQ(h.startup().lamps.ShpAttach.fillColor(), kGreen);
  EXPECT_EQ(h.startup().lamps.Shp_USB_Info.fillColor(), kGreen);
  EXPECT_EQ(h.startup().lamps.Shp_USB_Transfer.fillColor(), kBlack);
  EXPECT_TRUE(h.board().DeviceAttached);
  EXPECT_TRUE(h.board().UsbConnected);
  EXPECT_TRUE(h.board().SessionHeld);  // the load selects the first entry with the board attached
  EXPECT_EQ(h.Count("setInterface"), 1);
  EXPECT_TRUE(h.toolkit.messages.empty());
}

TEST(SessionTest, StartWithoutTheBoardWaitsTenThousandPassesThenShowsRed) {
  Harness h(/*boardPlugged=*/false);
  h.startup().Show();
  EXPECT_EQ(h.startup().Shp_USB_Init.fillColor(), kGreen);
  EXPECT_EQ(h.startup().lamps.ShpAttach.fillColor(), kRed);
  EXPECT_EQ(h.startup().lamps.Shp_USB_Info.fillColor(), kRed);
  EXPECT_GE(h.toolkit.processEventsCalls, 10000);
  EXPECT_FALSE(h.board().DeviceAttached);
  EXPECT_FALSE(h.board().UsbConnected);
  EXPECT_FALSE(h.board().SessionHeld);
  EXPECT_TRUE(h.toolkit.messages.empty());  // no board is shown by the lamps alone
}

TEST(SessionTest, FailedDriverInitOnlyTurnsTheInitLampRed) {
  Harness h;
  h.transport.initStatus = kUsbOther;
  h.startup().Show();
  EXPECT_EQ(h.startup().Shp_USB_Init.fillColor(), kRed);
  EXPECT_FALSE(h.board().DeviceAttached);
  EXPECT_TRUE(h.toolkit.messages.empty());
}

TEST(SessionTest, LaterAttachTurnsAttachedGreenAndResetsInfoAndComm) {
  Harness h(/*boardPlugged=*/false);
  h.startup().Show();
  h.transport.Plug();
  h.board().DoEvents();
  EXPECT_TRUE(h.board().DeviceAttached);
  EXPECT_FALSE(h.board().DeviceDetached);
  EXPECT_FALSE(h.board().UsbConnected);  // until the next device check
  EXPECT_EQ(h.startup().lamps.ShpAttach.fillColor(), kGreen);
  EXPECT_EQ(h.startup().lamps.Shp_USB_Info.fillColor(), kBlack);
  EXPECT_EQ(h.startup().lamps.Shp_USB_Transfer.fillColor(), kBlack);
}

TEST(SessionTest, DetachStopsCollectionAndTellsTheUserOnce) {
  Harness h;
  h.startup().Show();
  h.app->flags.CollectRunning = true;
  h.transport.Unplug();
  h.board().DoEvents();
  h.board().DoEvents();
  ASSERT_EQ(h.toolkit.messages.size(), 1u);
  EXPECT_EQ(h.toolkit.messages[0],
            "Device has been disconnected, reconnect and re-initialize all registers");
  EXPECT_FALSE(h.app->flags.CollectRunning);
  EXPECT_FALSE(h.board().DeviceAttached);
  EXPECT_TRUE(h.board().DeviceDetached);
  EXPECT_FALSE(h.board().UsbConnected);
  EXPECT_EQ(h.board().attachContext.Device, 0u);
  EXPECT_EQ(h.startup().lamps.ShpAttach.fillColor(), kRed);
  EXPECT_EQ(h.startup().lamps.Shp_USB_Info.fillColor(), kBlack);
}

TEST(SessionTest, DetachDuringAReadFailsItAndShowsTheMessageOnce) {
  HeldLink h;
  h.transport.duringTransfer = [&] {
    if (h.transport.plugged) h.transport.Unplug();
  };
  h.board().I2C_ReadRegisters(0x08, 3, 5);
  EXPECT_EQ(h.board().TransferBuffer, (Bytes{0, 0, 0, 0, 0}));
  EXPECT_EQ(h.board().LastUsbStatus, kUsbNoDevice);
  EXPECT_EQ(h.startup().lamps.Shp_USB_Transfer.fillColor(), kRed);
  EXPECT_EQ(h.toolkit.messages.size(), 1u);
  EXPECT_FALSE(h.board().DeviceAttached);
}

TEST(SessionTest, RefusedInterfaceLeavesTheBoardDetachedAndExplainsPermissions) {
  Harness h;
  h.transport.setInterfaceStatus = kUsbBusy;
  h.startup().Show();
  EXPECT_FALSE(h.board().DeviceAttached);
  EXPECT_EQ(h.board().attachContext.Device, 0u);
  EXPECT_TRUE(h.toolkit.messages.empty());

  Harness denied;
  denied.transport.setInterfaceStatus = kUsbAccessDenied;
  denied.startup().Show();
  ASSERT_EQ(denied.toolkit.messages.size(), 1u);
  EXPECT_NE(denied.toolkit.messages[0].find("udev rule"), std::string::npos);
  EXPECT_NE(denied.toolkit.messages[0].find("60-kps-eval.rules"), std::string::npos);
}

TEST(SessionTest, CloseResetsPipesOneTwoThreeAndReleasesOnlyAfterTheThirdSucceeds) {
  Harness h;
  h.startup().Show();
  h.transport.calls.clear();
  h.transport.resetPipeStatuses = {kUsbIoError, 0, kUsbIoError};
  h.board().USB_Close();
  ASSERT_EQ(h.transport.calls.size(), 3u);
  for (uint32_t p = 0; p < 3; ++p) {
    EXPECT_EQ(h.transport.calls[p].op, "resetPipe");
    EXPECT_EQ(h.transport.calls[p].pipe, p + 1);
  }
  EXPECT_TRUE(h.board().deviceInfo.has_value());
  EXPECT_GT(h.board().hDriver, 0);

  h.transport.calls.clear();
  h.transport.resetPipeStatuses = {kUsbIoError, kUsbIoError, 0};
  h.board().USB_Close();
  ASSERT_EQ(h.transport.calls.size(), 4u);
  EXPECT_EQ(h.transport.calls[3].op, "uninit");
  EXPECT_FALSE(h.board().deviceInfo.has_value());
}

TEST(SessionTest, AbortWithoutASessionDoesNothing) {
  Harness h;
  h.board().USB_Abort();
  EXPECT_TRUE(h.transport.calls.empty());
  EXPECT_TRUE(h.toolkit.sleeps.empty());
}

TEST(SessionTest, NotHeldOperationsCheckFirstAndAbortAfterAndStillWorkNextTime) {
  Harness h(/*boardPlugged=*/false);
  h.startup().Show();  // no board at load: the session is not held
  h.transport.Plug();
  h.board().DoEvents();
  h.board().BoardPipe = 2;
  h.board().SetI2CAddress(0x88);
  ASSERT_FALSE(h.board().SessionHeld);

  for (int round = 0; round < 2; ++round) {
    h.transport.calls.clear();
    h.board().FrameBegin();
    h.board().I2C_WriteRegister(0x01, 0x04);
    h.board().FrameEnd();
    std::vector<std::string> ops;
    for (const auto& c : h.transport.calls) ops.push_back(c.op);
    if (round == 0) {
      EXPECT_EQ(ops, (std::vector<std::string>{"getDeviceInfo", "out", "resetDevice", "uninit"}));
    } else {
      // The abort ended the session; the next check opens a new one instead of
      // letting every later transfer fail.
      EXPECT_EQ(ops, (std::vector<std::string>{"init", "setInterface", "getDeviceInfo", "out",
                                               "resetDevice", "uninit"}));
    }
    EXPECT_EQ(h.board().LastUsbStatus, 0u) << "round " << round;
    EXPECT_EQ(h.startup().lamps.ShpAttach.fillColor(), kGreen) << "round " << round;
    EXPECT_EQ(h.board().hDriver, 0);
    EXPECT_FALSE(h.board().UsbConnected);
    EXPECT_TRUE(h.board().DeviceAttached);  // an abort does not detach the board
  }
  EXPECT_EQ(h.toolkit.sleeps.back(), 100);
}

}  // namespace
}  // namespace kps
