// The libusb calls the transport makes, behind an interface so that the
// transport's bookkeeping (notification queue, handle lifetimes, open retry,
// error mapping) can be exercised by the tests with a scripted bus. The
// program uses MakeSystemUsbBackend(), a thin pass-through to libusb-1.0.
//
// Device and handle pointers are libusb's own; a backend may hand out any
// pointer values it likes, because the transport only compares and passes
// them back. Return codes are libusb's (0 or a count = success, negative =
// LIBUSB_ERROR_*).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "board/transport.h"
#include "usb/usb_mapping.h"

struct libusb_device;
struct libusb_device_handle;

namespace kps::usb {

// Receives hot-plug events. Called from inside libusb's event handling (and,
// for boards already present, from inside RegisterHotplug): the receiver may
// take a reference on the device and queue work, nothing more.
class HotplugSink {
 public:
  virtual ~HotplugSink() = default;
  virtual void OnHotplug(libusb_device* device, bool arrived) = 0;
};

class UsbBackend {
 public:
  virtual ~UsbBackend() = default;

  // The library context: one per driver session.
  virtual int Init() = 0;
  virtual void Exit() = 0;

  virtual bool HasHotplug() = 0;
  // Arrivals and departures of devices with the match's vendor and product id
  // (and device class, when set); devices already present are reported at once.
  virtual int RegisterHotplug(const UsbMatch& match, HotplugSink* sink) = 0;
  virtual void DeregisterHotplug() = 0;
  // Handles pending events without waiting.
  virtual int HandleEvents() = 0;
  // The descriptors libusb's event handling waits on (none without a context).
  virtual int GetPollFds(std::vector<PollSource>* fds) = 0;
  // Called from inside libusb whenever it adds or removes one of them; kept
  // across contexts.
  virtual void SetPollFdsChanged(std::function<void()> changed) = 0;
  // Milliseconds until libusb must handle a time-out its descriptors do not
  // signal, or -1.
  virtual int NextTimeoutMs() = 0;

  // Every device on the bus, each with a reference the caller must drop.
  virtual int GetDeviceList(std::vector<libusb_device*>* devices) = 0;
  virtual void RefDevice(libusb_device* device) = 0;
  virtual void UnrefDevice(libusb_device* device) = 0;
  // Cached descriptors: no bus traffic, safe at any time.
  virtual int GetDeviceIds(libusb_device* device, DeviceIds* ids) = 0;
  virtual int GetInterfaceIds(libusb_device* device, std::vector<InterfaceIds>* interfaces) = 0;
  virtual uint8_t BusNumber(libusb_device* device) = 0;
  virtual uint8_t DeviceAddress(libusb_device* device) = 0;
  // The hub ports from the root hub down to the device (libusb_get_port_numbers).
  virtual int GetPortNumbers(libusb_device* device, std::vector<uint8_t>* ports) = 0;

  virtual int Open(libusb_device* device, libusb_device_handle** handle) = 0;
  virtual void Close(libusb_device_handle* handle) = 0;
  virtual int SetAutoDetachKernelDriver(libusb_device_handle* handle, bool enable) = 0;
  virtual int ClaimInterface(libusb_device_handle* handle, int interfaceNumber) = 0;
  virtual int ReleaseInterface(libusb_device_handle* handle, int interfaceNumber) = 0;
  virtual int SetAltSetting(libusb_device_handle* handle, int interfaceNumber,
                            int alternateSetting) = 0;
  // A string descriptor in ASCII (in the device's first language); fills text
  // and returns its length.
  virtual int GetStringAscii(libusb_device_handle* handle, uint8_t index, std::string* text,
                             unsigned int timeoutMs) = 0;
  virtual int BulkTransfer(libusb_device_handle* handle, uint8_t endpoint, uint8_t* data,
                           int length, int* transferred, unsigned int timeoutMs) = 0;
  virtual int ClearHalt(libusb_device_handle* handle, uint8_t endpoint) = 0;
  virtual int ResetDevice(libusb_device_handle* handle) = 0;

  // The clock the open retry measures against.
  virtual std::chrono::steady_clock::time_point Now() = 0;
  virtual void Sleep(std::chrono::milliseconds duration) = 0;
};

// libusb-1.0 itself.
std::unique_ptr<UsbBackend> MakeSystemUsbBackend();

}  // namespace kps::usb
