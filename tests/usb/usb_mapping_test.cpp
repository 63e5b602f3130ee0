#include "usb/usb_mapping.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include <utility>

namespace kps::usb {
namespace {

TEST(UsbMappingTest, LibusbCodesBecomeStatusesAndEveryFailureStaysAFailure) {
  const std::pair<int, uint32_t> table[] = {
      {LIBUSB_SUCCESS, kUsbOk},  // calls that return a count succeed too
      {25, kUsbOk},
      {LIBUSB_ERROR_TIMEOUT, kUsbTimeout},
      {LIBUSB_ERROR_NO_DEVICE, kUsbNoDevice},
      {LIBUSB_ERROR_ACCESS, kUsbAccessDenied},
      {LIBUSB_ERROR_IO, kUsbIoError},
      {LIBUSB_ERROR_PIPE, kUsbStall},
      {LIBUSB_ERROR_NOT_FOUND, kUsbNotFound},
      {LIBUSB_ERROR_BUSY, kUsbBusy},
      {LIBUSB_ERROR_OVERFLOW, kUsbOverflow},
      {LIBUSB_ERROR_INVALID_PARAM, kUsbOther},
      {LIBUSB_ERROR_NOT_SUPPORTED, kUsbOther},
      {-1000, kUsbOther}};
  for (const auto& [code, status] : table) EXPECT_EQ(StatusFromLibusb(code), status) << code;
}

TEST(UsbMappingTest, APipeIsABulkEndpointAddressOfOneDirection) {
  const struct {
    uint32_t pipe;
    bool read;
    std::optional<uint8_t> endpoint;
  } table[] = {{1, false, 0x01},           {2, false, 0x02},          {3, false, 0x03},
               {129, true, 0x81},          {130, true, 0x82},         {2, true, std::nullopt},
               {130, false, std::nullopt}, {0, false, std::nullopt},  {128, true, std::nullopt},
               {0x90, true, std::nullopt}, {258, false, std::nullopt}};
  for (const auto& [pipe, read, endpoint] : table) {
    EXPECT_EQ(EndpointForTransfer(pipe, read), endpoint) << pipe << (read ? " in" : " out");
  }
}

}  // namespace
}  // namespace kps::usb
