#include "usb/usb_mapping.h"

#include <libusb.h>

#include <algorithm>

namespace kps::usb {

uint32_t StatusFromLibusb(int code) {
  if (code >= 0) return kUsbOk;
  switch (code) {
    case LIBUSB_ERROR_TIMEOUT:
      return kUsbTimeout;
    case LIBUSB_ERROR_NO_DEVICE:
      return kUsbNoDevice;
    case LIBUSB_ERROR_ACCESS:
      return kUsbAccessDenied;
    case LIBUSB_ERROR_IO:
      return kUsbIoError;
    case LIBUSB_ERROR_PIPE:
      return kUsbStall;
    case LIBUSB_ERROR_NOT_FOUND:
      return kUsbNotFound;
    case LIBUSB_ERROR_BUSY:
      return kUsbBusy;
    case LIBUSB_ERROR_OVERFLOW:
      return kUsbOverflow;
    default:
      return kUsbOther;  // INVALID_PARAM, INTERRUPTED, NO_MEM, NOT_SUPPORTED, OTHER
  }
}

std::optional<uint8_t> EndpointForPipe(uint32_t pipe) {
  // Bits 4-6 of an endpoint address are reserved and must be 0.
  if (pipe > 0xFF || (pipe & 0x70u) != 0 || (pipe & 0x0Fu) == 0) return std::nullopt;
  return static_cast<uint8_t>(pipe);
}

std::optional<uint8_t> EndpointForTransfer(uint32_t pipe, bool read) {
  const auto endpoint = EndpointForPipe(pipe);
  if (!endpoint) return std::nullopt;
  const bool in = (*endpoint & LIBUSB_ENDPOINT_IN) != 0;
  if (in != read) return std::nullopt;
  return endpoint;
}

bool MatchesDevice(const UsbMatch& match, const DeviceIds& ids) {
  return ids.vendorId == match.vendorId && ids.productId == match.productId &&
         (match.deviceClass == 0 || ids.deviceClass == match.deviceClass) &&
         (match.deviceSubClass == 0 || ids.deviceSubClass == match.deviceSubClass);
}

bool NeedsInterfaceMatch(const UsbMatch& match) {
  return match.interfaceClass != 0 || match.interfaceSubClass != 0 || match.interfaceProtocol != 0;
}

bool MatchesInterface(const UsbMatch& match, const std::vector<InterfaceIds>& interfaces) {
  if (!NeedsInterfaceMatch(match)) return true;
  return std::any_of(interfaces.begin(), interfaces.end(), [&](const InterfaceIds& i) {
    return (match.interfaceClass == 0 || i.interfaceClass == match.interfaceClass) &&
           (match.interfaceSubClass == 0 || i.interfaceSubClass == match.interfaceSubClass) &&
           (match.interfaceProtocol == 0 || i.interfaceProtocol == match.interfaceProtocol);
  });
}

std::string FormatLibraryVersion(uint16_t major, uint16_t minor, uint16_t micro, const char* rc) {
  std::string text =
      "libusb " + std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(micro);
  if (rc != nullptr) text += rc;
  return text;
}

}  // namespace kps::usb
