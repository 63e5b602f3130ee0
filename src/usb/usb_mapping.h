// The small translations at the edge of the libusb transport: libusb's error
// codes to the program's UsbStatus, pipe numbers to endpoint addresses, and
// the match table against a device's descriptors. Pure functions, so they can
// be checked without a board.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "board/transport.h"

namespace kps::usb {

// A libusb return code (0 or a byte count on success, a negative
// LIBUSB_ERROR_* on failure) as a UsbStatus. Every failure maps to a non-zero
// status, including codes this table does not know.
uint32_t StatusFromLibusb(int code);

// The endpoint address of a pipe: the pipe number is the address itself, bit 7
// the direction (IN), bits 0-3 the endpoint number. Pipe 0 (the control
// endpoint) and numbers that do not fit an address byte have no bulk endpoint.
std::optional<uint8_t> EndpointForPipe(uint32_t pipe);
// As above, and the pipe's direction must agree with the transfer's.
std::optional<uint8_t> EndpointForTransfer(uint32_t pipe, bool read);

// What the match table is checked against. Read from the device descriptor
// and from the alternate setting 0 of each interface of the active
// configuration.
struct DeviceIds {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t deviceVersion = 0;  // bcdDevice
  uint8_t deviceClass = 0;
  uint8_t deviceSubClass = 0;
  uint8_t manufacturerIndex = 0;  // string descriptor indexes, 0 = none
  uint8_t productIndex = 0;
  uint8_t serialIndex = 0;
};

struct InterfaceIds {
  uint8_t interfaceClass = 0;
  uint8_t interfaceSubClass = 0;
  uint8_t interfaceProtocol = 0;
};

// Vendor and product id must be equal; each class field of the match that is 0
// accepts any value.
bool MatchesDevice(const UsbMatch& match, const DeviceIds& ids);
// True when the match asks for an interface class, subclass or protocol.
bool NeedsInterfaceMatch(const UsbMatch& match);
// True when one of the interfaces satisfies the interface fields of the match.
bool MatchesInterface(const UsbMatch& match, const std::vector<InterfaceIds>& interfaces);

// "libusb 1.0.26", with a release-candidate suffix when there is one.
std::string FormatLibraryVersion(uint16_t major, uint16_t minor, uint16_t micro, const char* rc);

}  // namespace kps::usb
