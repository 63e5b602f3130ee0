// The program's board link over the simulated board, end to end.
#include <gtest/gtest.h>

#include "board/board_link.h"
#include "board/gpio.h"
#include "sim/simulated_board.h"
#include "support/fake_toolkit.h"

namespace kps::sim {
namespace {

using Bytes = std::vector<uint8_t>;

struct LinkRig {
  explicit LinkRig(SimOptions options = {})
      : board(options), link(toolkit, board, colors, flags, UsbMatch{0x1209, 0xA710}) {
    InitColors(colors);
    link.BoardPipe = 2;
    link.SetI2CAddress(0x88);
  }
  test::FakeToolkit toolkit;
  ColorTable colors;
  RunFlags flags;
  SimulatedBoard board;
  BoardLink link;
};

TEST(SimBoardLinkTest, SessionAndRegisterRoundTrip) {
  LinkRig rig(SimOptions{.scene = {.lux = 100.0, .proximity = 0.5}});
  rig.link.USB_Init();
  rig.link.USB_CheckDevice();
  EXPECT_TRUE(rig.link.DeviceAttached);
  EXPECT_TRUE(rig.link.UsbConnected);
  ASSERT_TRUE(rig.link.deviceInfo.has_value());
  EXPECT_EQ(rig.link.deviceInfo->vendorId, 0x1209);
  EXPECT_EQ(rig.link.deviceInfo->productId, 0xA710);

  rig.link.I2C_WriteRegister(0x01, 0x86);
  EXPECT_EQ(rig.link.LastUsbStatus, kUsbOk);
  rig.link.I2C_ReadRegisters(0x01, 1, 6);
  EXPECT_EQ(rig.link.TransferBuffer, (Bytes{0x01, 0x86, 0, 0, 0, 0}));
  rig.link.I2C_ReadRegisters(0x08, 3, 5);
  EXPECT_EQ(rig.link.TransferBuffer, (Bytes{0x03, 0x80, 0xCD, 0x00, 0x00}));

  // Outside a held session every operation opens and closes the session.
  rig.link.USB_Abort();
  rig.link.FrameBegin();
  rig.link.I2C_ReadRegisters(0x01, 1, 6);
  rig.link.FrameEnd();
  EXPECT_EQ(rig.link.LastUsbStatus, kUsbOk);
  EXPECT_EQ(rig.link.TransferBuffer, (Bytes{0x01, 0x86, 0, 0, 0, 0}));
}

TEST(SimBoardLinkTest, UnplugAndPlugAgain) {
  LinkRig rig;
  rig.link.USB_Init();
  rig.link.USB_CheckDevice();
  rig.link.I2C_WriteRegister(0x0E, 0x5A);
  rig.board.Unplug();
  rig.link.DoEvents();
  EXPECT_FALSE(rig.link.DeviceAttached);
  EXPECT_TRUE(rig.link.DeviceDetached);
  EXPECT_EQ(rig.toolkit.messages, std::vector<std::string>{kDetachMessage});
  rig.link.I2C_ReadRegisters(0x0E, 1, 6);
  EXPECT_EQ(rig.link.LastUsbStatus, kUsbNoDevice);
  EXPECT_EQ(rig.link.TransferBuffer, (Bytes{0, 0, 0, 0, 0, 0}));

  rig.board.Plug();
  rig.link.DoEvents();
  EXPECT_TRUE(rig.link.DeviceAttached);
  rig.link.USB_CheckDevice();
  rig.link.I2C_ReadRegisters(0x0E, 1, 6);
  EXPECT_EQ(rig.link.LastUsbStatus, kUsbOk);
  EXPECT_EQ(rig.link.TransferBuffer, (Bytes{0x01, 0x00, 0, 0, 0, 0}));  // powered up afresh
}

TEST(SimBoardLinkTest, GpioExchangeSamplesTheInterruptPin) {
  LinkRig rig(SimOptions{.scene = {.proximity = 0.0}});
  rig.link.USB_Init();
  rig.link.USB_CheckDevice();
  rig.link.SessionHeld = true;
  GpioPort gpio(rig.link);
  gpio.state[0] = 0x60;
  gpio.state[2] = 0x40;
  gpio.cmdGPIO_Write_Click();
  ASSERT_EQ(rig.link.TransferBuffer.size(), 25u);
  EXPECT_EQ(rig.link.TransferBuffer[0], 0xDF);
  EXPECT_TRUE(rig.board.ledLit(5));

  rig.link.I2C_WriteRegister(0x03, 0x05);  // proximity 0 is below the window
  rig.link.I2C_WriteRegister(0x01, 0x80);
  rig.link.I2C_ReadRegisters(0x08, 3, 5);
  gpio.cmdGPIO_Write_Click();
  EXPECT_EQ(rig.link.TransferBuffer[0], 0x5F);
}

}  // namespace
}  // namespace kps::sim
