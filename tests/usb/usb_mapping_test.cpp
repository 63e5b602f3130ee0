#include "usb/usb_mapping.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include <tuple>
#include <utility>

namespace kps::usb {
namespace {

TEST(UsbMappingTest, LibusbCodesBecomeStatusesAndEveryFailureStaysAFailure) {
  // clang-format off
  const std::pair<int, uint32_t> table[] = {
      {LIBUSB_SUCCESS, kUsbOk},                {25, kUsbOk},  // a count is a success too
      {LIBUSB_ERROR_TIMEOUT, kUsbTimeout},     {LIBUSB_ERROR_NO_DEVICE, kUsbNoDevice},
      {LIBUSB_ERROR_ACCESS, kUsbAccessDenied}, {LIBUSB_ERROR_IO, kUsbIoError},
      {LIBUSB_ERROR_PIPE, kUsbStall},          {LIBUSB_ERROR_NOT_FOUND, kUsbNotFound},
      {LIBUSB_ERROR_BUSY, kUsbBusy},           {LIBUSB_ERROR_OVERFLOW, kUsbOverflow},
      {LIBUSB_ERROR_NOT_SUPPORTED, kUsbOther}};
  // clang-format on
  for (const auto& [code, status] : table) EXPECT_EQ(StatusFromLibusb(code), status) << code;
}

TEST(UsbMappingTest, APipeIsABulkEndpointAddressOfOneDirection) {
  const std::tuple<uint32_t, bool, std::optional<uint8_t>> table[] = {
      {1, false, 0x01},           {130, true, 0x82},        {2, true, std::nullopt},
      {130, false, std::nullopt}, {0, false, std::nullopt}, {0x90, true, std::nullopt},
      {258, false, std::nullopt}};
  for (const auto& [pipe, read, endpoint] : table)
    EXPECT_EQ(EndpointForTransfer(pipe, read), endpoint) << pipe << (read ? " in" : " out");
}

}  // namespace
}  // namespace kps::usb
