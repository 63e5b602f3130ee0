// The program's board link over the simulated board, end to end.
#include <gtest/gtest.h>

#include "board/board_link.h"
#include "sim/simulated_board.h"
#include "support/fake_toolkit.h"

namespace kps::sim {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(SimBoardLinkTest, SessionAndRegisterRoundTrip) {
  test::FakeToolkit toolkit;
  ColorTable colors;
  InitColors(colors);
  RunFlags flags;
  SimulatedBoard board(SimOptions{.scene = {.lux = 100.0, .proximity = 128.0}});
  BoardLink link(toolkit, board, colors, flags, UsbMatch{0x1209, 0xA710});
  link.BoardPipe = 2;
  link.SetI2CAddress(0x88);
  link.USB_Init();
  link.USB_CheckDevice();
  EXPECT_TRUE(link.DeviceAttached);

  link.I2C_WriteRegister(0x01, 0x86);
  EXPECT_EQ(link.LastUsbStatus, kUsbOk);
  link.I2C_ReadRegisters(0x01, 1, 6);
  EXPECT_EQ(link.TransferBuffer, (Bytes{0x01, 0x86, 0, 0, 0, 0}));
  link.I2C_ReadRegisters(0x08, 3, 5);
  EXPECT_EQ(link.TransferBuffer, (Bytes{0x03, 0x80, 0xCD, 0x00, 0x00}));
}

}  // namespace
}  // namespace kps::sim
