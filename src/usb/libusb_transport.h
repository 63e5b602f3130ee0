// The transport to the real evaluation board, over libusb-1.0.
//
// libusb reports arrivals and departures through a hot-plug callback that runs
// inside its event handling, where no synchronous call is allowed; the
// callback therefore only queues the event, and Poll() hands the queue to the
// listener. Each arrival gets a fresh DeviceHandle number, never reused within
// the process, so a number kept by the program after its board left (or after
// the session ended) is simply unknown and fails with kUsbNoDevice instead of
// reaching a different board.
//
// Exactly one thread may call a transport: the one that runs the user
// interface. The transport starts no threads of its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "board/transport.h"
#include "usb/usb_backend.h"

namespace kps::usb {

// Right after an arrival udev may not yet have applied the permissions of its
// rule; an access error on open is retried for this long after the arrival.
inline constexpr std::chrono::milliseconds kOpenRetryWindow{200};
inline constexpr std::chrono::milliseconds kOpenRetryStep{10};
// Without hot-plug support the bus is scanned by Poll(), at most this often.
inline constexpr std::chrono::milliseconds kScanInterval{250};
// The device's strings are read once, when it is opened. A board whose
// firmware ignores string requests costs this much once instead of a second
// per string on every query.
inline constexpr unsigned int kStringTimeoutMs = 100;

class LibusbTransport : public Transport, private HotplugSink {
 public:
  LibusbTransport();
  // For the tests: any backend in place of libusb itself.
  explicit LibusbTransport(std::unique_ptr<UsbBackend> backend);
  ~LibusbTransport() override;
  LibusbTransport(const LibusbTransport&) = delete;
  LibusbTransport& operator=(const LibusbTransport&) = delete;

  uint32_t Init(const UsbMatch& match, TransportListener* listener, DriverHandle* driver) override;
  void Poll() override;
  uint32_t SetInterface(DeviceHandle device, uint32_t interfaceNumber,
                        uint32_t alternateSetting) override;
  uint32_t GetDeviceInfo(DeviceHandle device, DeviceInfo* info) override;
  uint32_t ListBoards(const UsbMatch& match, std::vector<AttachedBoard>* boards) override;
  uint32_t Transfer(DeviceHandle device, uint32_t pipe, bool read, uint8_t* buffer, uint32_t length,
                    uint32_t* transferred, uint32_t timeoutMs) override;
  uint32_t ResetPipe(DeviceHandle device, uint32_t pipe) override;
  uint32_t ResetDevice(DeviceHandle device) override;
  void Uninit(DriverHandle driver) override;
  std::vector<PollSource> PollSources() const override;
  int PollIntervalMs() const override;
  void SetPollChanged(std::function<void()> changed) override { changed_ = std::move(changed); }
  std::string Description() const override { return LibraryVersion(); }

  // The libusb the program runs with, e.g. "libusb 1.0.26".
  static std::string LibraryVersion();

 private:
  struct Event {
    bool arrived = false;
    libusb_device* device = nullptr;  // holds a reference while queued
  };
  struct Device {
    libusb_device* device = nullptr;  // holds a reference
    libusb_device_handle* open = nullptr;
    std::vector<int> claimed;
    std::chrono::steady_clock::time_point arrivedAt;
    bool dead = false;   // re-enumerated after a reset: unusable, but its departure is still due
    DeviceInfo strings;  // manufacturer, product and serial, read when opened
  };

  void OnHotplug(libusb_device* device, bool arrived) override;
  void Scan();
  void DeliverArrival(libusb_device* device);
  void DeliverDeparture(libusb_device* device);
  bool Matches(const UsbMatch& match, libusb_device* device);
  // Whether the board is the one UsbMatch::board chose; a choice by serial
  // number opens the device to read it.
  bool Chosen(Device& device);
  std::string PortPath(libusb_device* device);
  // The device's ids and place, without its strings; libusb's code of the
  // descriptor's read.
  int Describe(libusb_device* device, DeviceInfo* info);
  // The device of a handle that may be used, or nullptr.
  Device* Live(DeviceHandle device);
  Device* LiveOpen(DeviceHandle device);
  uint32_t OpenDevice(Device& device);
  // Manufacturer, product and serial into `strings`.
  void ReadStrings(libusb_device* device, libusb_device_handle* handle, DeviceInfo* strings);
  void PollChanged();
  void CloseDevice(Device& device);
  void Forget(DeviceHandle device);
  void EndSession();

  std::unique_ptr<UsbBackend> backend_;
  bool open_ = false;
  bool hotplug_ = false;
  DriverHandle driver_ = 0;
  UsbMatch match_;
  TransportListener* listener_ = nullptr;
  std::deque<Event> queue_;
  std::map<DeviceHandle, Device> devices_;
  std::vector<libusb_device*> present_;  // matching devices seen by the last scan (referenced)
  std::chrono::steady_clock::time_point lastScan_;
  std::function<void()> changed_;
};

}  // namespace kps::usb
