#include "board/transport.h"

#include <cctype>
#include <cstdio>
#include <optional>

namespace kps {

std::string UsbIdText(const UsbMatch& match) {
  char ids[16];
  std::snprintf(ids, sizeof ids, "%04x:%04x", match.vendorId, match.productId);
  return ids;
}

namespace {

// The numbers of a place "B-P.P.P" (bus first), or nullopt when the text is
// not one. Each number is 1 to 3 digits, so no overflow.
std::optional<std::vector<unsigned>> PlaceNumbers(const std::string& text) {
  std::vector<unsigned> numbers;
  std::size_t digits = 0;
  unsigned value = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : '\0';
    if (std::isdigit(static_cast<unsigned char>(c))) {
      if (++digits > 3) return std::nullopt;
      value = value * 10 + static_cast<unsigned>(c - '0');
      continue;
    }
    const char wanted = numbers.empty() ? '-' : '.';
    if (digits == 0 || (c != wanted && c != '\0')) return std::nullopt;
    numbers.push_back(value);
    digits = 0;
    value = 0;
  }
  if (numbers.size() < 2) return std::nullopt;
  return numbers;
}

}  // namespace

std::string PortPathText(uint8_t bus, const std::vector<uint8_t>& ports) {
  std::string text = std::to_string(bus);
  for (std::size_t i = 0; i < ports.size(); ++i) {
    text += (i == 0 ? "-" : ".") + std::to_string(ports[i]);
  }
  return text;
}

bool ChoiceIsPlace(const std::string& choice) {
  return PlaceNumbers(choice).has_value();
}

bool BoardChosen(const std::string& choice, const std::string& portPath,
                 const std::string& serial) {
  if (choice.empty()) return true;
  const auto place = PlaceNumbers(choice);
  if (!place) return choice == serial;
  return place == PlaceNumbers(portPath);
}

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
