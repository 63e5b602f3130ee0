// The transport over the real libusb of this machine, where no board is
// plugged in (and there may be no USB bus at all).
#include <gtest/gtest.h>

#include "board/usb_ids.h"
#include "usb/libusb_transport.h"

namespace kps::usb {
namespace {

struct CountingListener : TransportListener {
  bool DeviceAttach(DeviceHandle) override { return ++calls, false; }
  void DeviceDetach(DeviceHandle) override { ++calls; }
  int calls = 0;
};

TEST(LibusbSystemTest, ASessionWithoutABoardStartsOrFailsCleanlyAndKnowsNoHandle) {
  LibusbTransport transport;
  CountingListener listener;
  DriverHandle driver = -1;
  const UsbMatch match{.vendorId = kDefaultVendorId, .productId = kDefaultProductId};
  if (transport.Init(match, &listener, &driver) == kUsbOk) {
    EXPECT_GE(driver, 1);
    EXPECT_FALSE(transport.PollSources().empty()) << "libusb waits on descriptors of its own";
  } else {
    EXPECT_EQ(driver, 0);
  }
  for (int i = 0; i < 3; ++i) transport.Poll();

  DeviceInfo info;
  for (const DeviceHandle unknown : {0u, 1u, 0xFFFFFFFFu}) {
    EXPECT_EQ(transport.SetInterface(unknown, 0, 0), kUsbNoDevice);
    EXPECT_EQ(transport.GetDeviceInfo(unknown, &info), kUsbNoDevice);
    EXPECT_EQ(transport.Transfer(unknown, 2, false, nullptr, 0, nullptr, 100), kUsbNoDevice);
    EXPECT_EQ(transport.ResetPipe(unknown, 1), kUsbNoDevice);
    EXPECT_EQ(transport.ResetDevice(unknown), kUsbNoDevice);
  }
  transport.Uninit(driver);
  transport.Uninit(driver);
  transport.Poll();
  EXPECT_TRUE(transport.PollSources().empty());
  EXPECT_EQ(listener.calls, 0) << "no board is plugged in here";
}

}  // namespace
}  // namespace kps::usb
