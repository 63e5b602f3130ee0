#include "board/transport.h"

namespace kps {

std::string UsbStatusText(uint32_t status) {
  switch (status) {
    case kUsbOk:
      return "success";
    case kUsbTimeout:
      return "time-out";
    case kUsbNoDevice:
      return "no device (disconnected or not open)";
    case kUsbAccessDenied:
      return "access denied";
    case kUsbIoError:
      return "input/output error";
    case kUsbStall:
      return "endpoint stalled";
    case kUsbNotFound:
      return "not found";
    case kUsbBusy:
      return "busy (held by another program)";
    case kUsbNoSession:
      return "no driver session";
    case kUsbOverflow:
      return "overflow";
    default:
      return "failure " + std::to_string(status);
  }
}

}  // namespace kps
