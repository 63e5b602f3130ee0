// The transport over the real libusb of this machine, with no board plugged
// in (the build machines have none, and may have no USB bus at all).
#include <gtest/gtest.h>
#include <libusb.h>

#include <vector>

#include "board/usb_ids.h"
#include "usb/libusb_transport.h"

namespace kps::usb {
namespace {

class CountingListener : public TransportListener {
 public:
  bool DeviceAttach(DeviceHandle device) override {
    attached.push_back(device);
    return false;
  }
  void DeviceDetach(DeviceHandle device) override { detached.push_back(device); }
  std::vector<DeviceHandle> attached, detached;
};

UsbMatch BoardMatch() {
  UsbMatch match;
  match.vendorId = kDefaultVendorId;
  match.productId = kDefaultProductId;
  return match;
}

TEST(LibusbSystemTest, DescribesTheLibraryItRunsWith) {
  const libusb_version* version = libusb_get_version();
  const std::string expected = "libusb " + std::to_string(version->major) + "." +
                               std::to_string(version->minor) + "." +
                               std::to_string(version->micro) + version->rc;
  EXPECT_EQ(LibusbTransport::LibraryVersion(), expected);
  LibusbTransport transport;
  EXPECT_EQ(transport.Description(), expected);
}

TEST(LibusbSystemTest, SessionWithoutABoard) {
  LibusbTransport transport;
  CountingListener listener;
  DriverHandle driver = -1;
  const uint32_t status = transport.Init(BoardMatch(), &listener, &driver);
  if (status != kUsbOk) {
    // A machine where libusb cannot start at all: a clean failure is all we ask.
    EXPECT_EQ(driver, 0);
    transport.Poll();
    EXPECT_TRUE(listener.attached.empty());
    GTEST_SKIP() << "libusb could not initialise here: " << UsbStatusText(status);
  }
  RecordProperty("libusb_init", "ok");
  EXPECT_GE(driver, 1);
  for (int i = 0; i < 5; ++i) transport.Poll();
  EXPECT_TRUE(listener.attached.empty()) << "no board is plugged into the build machine";

  uint8_t buffer[8] = {};
  uint32_t transferred = 99;
  DeviceInfo info;
  for (const DeviceHandle unknown : {0u, 1u, 0xFFFFFFFFu}) {
    EXPECT_EQ(transport.SetInterface(unknown, 0, 0), kUsbNoDevice);
    EXPECT_EQ(transport.GetDeviceInfo(unknown, &info), kUsbNoDevice);
    EXPECT_EQ(transport.Transfer(unknown, 2, false, buffer, 4, &transferred, 1000), kUsbNoDevice);
    EXPECT_EQ(transferred, 0u);
    EXPECT_EQ(transport.ResetPipe(unknown, 1), kUsbNoDevice);
    EXPECT_EQ(transport.ResetDevice(unknown), kUsbNoDevice);
  }

  transport.Uninit(driver);
  transport.Uninit(driver);
  transport.Poll();

  // A second session on the same transport opens a context of its own.
  DriverHandle again = 0;
  ASSERT_EQ(transport.Init(BoardMatch(), &listener, &again), kUsbOk);
  EXPECT_NE(again, driver);
  transport.Poll();
  // The destructor ends it.
}

}  // namespace
}  // namespace kps::usb
