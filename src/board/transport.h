// The USB operations the board link relies on. Implemented over libusb for the
// real board (usb/), by the simulated board (sim/), and by a recording fake in
// the tests. Every operation reports a status: 0 = success, anything else a
// failure (UsbStatus); the board link stores it and colours a lamp.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kps {

using DriverHandle = int32_t;   // 0 = no session
using DeviceHandle = uint32_t;  // 0 = no device

// Failure statuses of the transports, mapped at each transport's boundary.
enum UsbStatus : uint32_t {
  kUsbOk = 0,
  kUsbTimeout = 1,       // no answer within the time-out
  kUsbNoDevice = 2,      // the board went away, or the handle is not (or no longer) open
  kUsbAccessDenied = 3,  // the board is there but this user may not open it
  kUsbIoError = 4,       // the transfer failed on the bus
  kUsbStall = 5,         // the endpoint stalled
  kUsbNotFound = 6,      // no such pipe, interface or device
  kUsbBusy = 7,          // another program holds the interface
  kUsbNoSession = 8,     // no driver session is open
  kUsbOverflow = 9,      // the device sent more than was asked for
  kUsbOther = 10,
};

std::string UsbStatusText(uint32_t status);

// The board's pipes: I2C frames go out on 2 and their replies come in on 130;
// the GPIO exchange uses 1 and 129. An IN pipe is its OUT pipe + 128.
inline constexpr uint32_t kGpioOutPipe = 1;
inline constexpr uint32_t kI2cOutPipe = 2;
inline constexpr uint32_t kGpioInPipe = 129;
inline constexpr uint32_t kI2cInPipe = 130;

// One match entry: the board's ids; class fields 0 = any.
struct UsbMatch {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint8_t deviceClass = 0, deviceSubClass = 0;
  uint8_t interfaceClass = 0, interfaceSubClass = 0, interfaceProtocol = 0;
  // Which of the boards with these ids to take: its serial number, or its
  // place on the bus as BUS-PORT ("1-4.2"); empty = every one. A board that
  // is not chosen is never announced, so it is never claimed.
  std::string board = {};
};

// The ids as users write them: "1209:a710".
std::string UsbIdText(const UsbMatch& match);

// What the program learns of an attached board.
struct DeviceInfo {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t deviceVersion = 0;  // bcdDevice
  uint8_t busNumber = 0;
  uint8_t deviceAddress = 0;
  std::string portPath;  // the place on the bus, BUS-PORT: "1-4.2" (empty when unknown)
  std::string manufacturer;
  std::string product;
  std::string serial;
};

// A board with the looked-for ids, as a listing finds it: opened to read its
// strings and closed again, never claimed.
struct AttachedBoard {
  DeviceInfo info;               // the strings are empty when it could not be opened
  uint32_t openStatus = kUsbOk;  // of the open: kUsbOk = this user may open it
  bool openable() const { return openStatus == kUsbOk; }
};

// "1-4.2": bus 1, port 2 of the hub on port 4 of the root hub. Without ports
// (a root hub) just the bus.
std::string PortPathText(uint8_t bus, const std::vector<uint8_t>& ports);
// Whether a board choice (UsbMatch::board) names a place on the bus: digits,
// a dash, then port numbers joined by dots. Anything else is a serial number.
bool ChoiceIsPlace(const std::string& choice);
// Whether the choice names the board with this place and serial number. An
// empty choice names every board; places compare as numbers ("01-4" is "1-4").
bool BoardChosen(const std::string& choice, const std::string& portPath, const std::string& serial);

// A file descriptor the program's event loop should watch for the transport:
// when it becomes ready as asked, Poll() has work to do.
struct PollSource {
  int fd = -1;
  bool read = false;
  bool write = false;
  bool operator==(const PollSource&) const = default;
};

// The receiver of attach and detach notifications. A transport calls it only
// from Poll(), on the user-interface thread.
class TransportListener {
 public:
  virtual ~TransportListener() = default;
  // True when the program takes the device.
  virtual bool DeviceAttach(DeviceHandle device) = 0;
  virtual void DeviceDetach(DeviceHandle device) = 0;
};

class Transport {
 public:
  virtual ~Transport() = default;

  // Opens a driver session for boards that match. Notifications for a board
  // that is already present, and for later arrivals and departures, are
  // delivered to the listener by Poll(), never from inside another call.
  virtual uint32_t Init(const UsbMatch& match, TransportListener* listener,
                        DriverHandle* driver) = 0;
  // Handles pending USB events and delivers queued notifications.
  virtual void Poll() = 0;
  // Opens the device if need be, claims the interface and selects the setting.
  virtual uint32_t SetInterface(DeviceHandle device, uint32_t interfaceNumber,
                                uint32_t alternateSetting) = 0;
  virtual uint32_t GetDeviceInfo(DeviceHandle device, DeviceInfo* info) = 0;
  // Every board with the match's ids that is plugged in now, chosen or not
  // (UsbMatch::board is not looked at), in bus order. Each is opened to read
  // its strings and closed again; none is claimed, and a session's
  // notifications are not affected. Needs no session. A transport that
  // cannot list boards says kUsbNotFound.
  virtual uint32_t ListBoards(const UsbMatch& /*match*/, std::vector<AttachedBoard>* boards) {
    if (boards != nullptr) boards->clear();
    return kUsbNotFound;
  }
  // A bulk transfer. pipe is the endpoint address (IN pipes are OUT + 128);
  // read = true moves data from the device into buffer.
  virtual uint32_t Transfer(DeviceHandle device, uint32_t pipe, bool read, uint8_t* buffer,
                            uint32_t length, uint32_t* transferred, uint32_t timeoutMs) = 0;
  virtual uint32_t ResetPipe(DeviceHandle device, uint32_t pipe) = 0;
  virtual uint32_t ResetDevice(DeviceHandle device) = 0;
  // Ends the session: every device handle of it is released and no more
  // notifications come.
  virtual void Uninit(DriverHandle driver) = 0;

  // What should make the program call Poll() while it waits for the user: the
  // descriptors to watch, and the milliseconds after which Poll() is due in
  // any case (-1 = not at all; 0 = now). A transport with no descriptors is
  // polled at a pace of the program's choosing.
  virtual std::vector<PollSource> PollSources() const { return {}; }
  virtual int PollIntervalMs() const { return -1; }
  // The function is called whenever either of the above may have changed. It
  // runs on the calling thread from inside the transport's own calls, when a
  // descriptor it named may already be closed: it should stop watching at
  // once and ask again later, not call the transport back.
  virtual void SetPollChanged(std::function<void()> /*changed*/) {}

  // For the system-information dialog: which transport, and its version.
  virtual std::string Description() const = 0;
};

}  // namespace kps
