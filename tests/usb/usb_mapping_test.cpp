#include "usb/usb_mapping.h"

#include <gtest/gtest.h>
#include <libusb.h>

namespace kps::usb {
namespace {

TEST(StatusFromLibusbTest, EachLibusbErrorHasItsStatus) {
  EXPECT_EQ(StatusFromLibusb(LIBUSB_ERROR_TIMEOUT), kUsbTimeout);
  EXPECT_EQ(StatusFromLibusb(LIBUSB_ERROR_NO_DEVICE), kUsbNoDevice);
  EXPECT_EQ(StatusFromLibusb(LIBUSB_ERROR_ACCESS), kUsbAccessDenied);
  EXPECT_EQ(StatusFromLibusb(LIBUSB_ERROR_IO), kUsbIoError);
  EXPECT_EQ(StatusFromLibusb(LIBUSB_ERROR_PIPE), kUsbStall);
  EXPECT_EQ(StatusFromLibusb(LIBUSB_ERROR_NOT_FOUND), kUsbNotFound);
  EXPECT_EQ(StatusFromLibusb(LIBUSB_ERROR_BUSY), kUsbBusy);
  EXPECT_EQ(StatusFromLibusb(LIBUSB_ERROR_OVERFLOW), kUsbOverflow);
}

TEST(StatusFromLibusbTest, CountsAreSuccessAndEveryOtherFailureStaysAFailure) {
  EXPECT_EQ(StatusFromLibusb(LIBUSB_SUCCESS), kUsbOk);
  EXPECT_EQ(StatusFromLibusb(25), kUsbOk);  // string and list calls return a count
  for (const int code : std::initializer_list<int>{
           LIBUSB_ERROR_INVALID_PARAM, LIBUSB_ERROR_INTERRUPTED, LIBUSB_ERROR_NO_MEM,
           LIBUSB_ERROR_NOT_SUPPORTED, LIBUSB_ERROR_OTHER, -1000}) {
    EXPECT_EQ(StatusFromLibusb(code), kUsbOther) << code;
  }
}

TEST(EndpointTest, PipeNumbersAreEndpointAddresses) {
  EXPECT_EQ(EndpointForTransfer(1, false), 0x01);
  EXPECT_EQ(EndpointForTransfer(2, false), 0x02);
  EXPECT_EQ(EndpointForTransfer(3, false), 0x03);
  EXPECT_EQ(EndpointForTransfer(129, true), 0x81);
  EXPECT_EQ(EndpointForTransfer(130, true), 0x82);
  EXPECT_EQ(EndpointForPipe(15), 0x0F);
  EXPECT_EQ(EndpointForPipe(0x8F), 0x8F);
}

TEST(EndpointTest, DirectionMustAgreeWithThePipe) {
  EXPECT_EQ(EndpointForTransfer(2, true), std::nullopt);     // reading from an OUT pipe
  EXPECT_EQ(EndpointForTransfer(130, false), std::nullopt);  // writing to an IN pipe
}

TEST(EndpointTest, NoBulkEndpointForControlReservedOrOversizedPipes) {
  for (const uint32_t pipe : {0u, 128u, 16u, 0x90u, 0xF1u, 256u, 258u, 0x102u}) {
    EXPECT_EQ(EndpointForPipe(pipe), std::nullopt) << pipe;
    EXPECT_EQ(EndpointForTransfer(pipe, true), std::nullopt) << pipe;
    EXPECT_EQ(EndpointForTransfer(pipe, false), std::nullopt) << pipe;
  }
}

TEST(MatchTest, IdsMustBeEqualAndZeroClassFieldsAcceptAny) {
  UsbMatch match;
  match.vendorId = 0x1209;
  match.productId = 0xA710;
  DeviceIds ids;
  ids.vendorId = 0x1209;
  ids.productId = 0xA710;
  ids.deviceClass = 0xFF;
  ids.deviceSubClass = 3;
  EXPECT_TRUE(MatchesDevice(match, ids));

  ids.productId = 0xA711;
  EXPECT_FALSE(MatchesDevice(match, ids));
  ids.productId = 0xA710;
  ids.vendorId = 0;
  EXPECT_FALSE(MatchesDevice(match, ids));  // a zero vendor id in the match is not a wildcard
  ids.vendorId = 0x1209;

  match.deviceClass = 0xFF;
  EXPECT_TRUE(MatchesDevice(match, ids));
  match.deviceSubClass = 4;
  EXPECT_FALSE(MatchesDevice(match, ids));
}

TEST(MatchTest, InterfaceFieldsNeedOneInterfaceThatFitsAllOfThem) {
  UsbMatch match;
  EXPECT_FALSE(NeedsInterfaceMatch(match));
  EXPECT_TRUE(MatchesInterface(match, {}));

  match.interfaceClass = 0xFF;
  match.interfaceProtocol = 2;
  EXPECT_TRUE(NeedsInterfaceMatch(match));
  EXPECT_FALSE(MatchesInterface(match, {}));
  // Class from one interface and protocol from another is not a match.
  EXPECT_FALSE(MatchesInterface(match, {{0xFF, 0, 1}, {0x03, 0, 2}}));
  EXPECT_TRUE(MatchesInterface(match, {{0x03, 0, 2}, {0xFF, 7, 2}}));
}

TEST(LibraryVersionTest, Format) {
  EXPECT_EQ(FormatLibraryVersion(1, 0, 26, ""), "libusb 1.0.26");
  EXPECT_EQ(FormatLibraryVersion(1, 0, 27, "-rc1"), "libusb 1.0.27-rc1");
  EXPECT_EQ(FormatLibraryVersion(1, 0, 26, nullptr), "libusb 1.0.26");
}

}  // namespace
}  // namespace kps::usb
