// The backend over the real libusb-1.0: each method is one libusb call.
#include <libusb.h>

#include <poll.h>

#include <algorithm>
#include <climits>
#include <thread>

#include "usb/usb_backend.h"

namespace kps::usb {

namespace {

int LIBUSB_CALL HotplugTrampoline(libusb_context* /*context*/, libusb_device* device,
                                  libusb_hotplug_event event, void* userData) {
  static_cast<HotplugSink*>(userData)->OnHotplug(device,
                                                 event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED);
  return 0;  // stay registered
}

void LIBUSB_CALL PollFdAdded(int /*fd*/, short /*events*/, void* userData) {
  (*static_cast<std::function<void()>*>(userData))();
}

void LIBUSB_CALL PollFdRemoved(int /*fd*/, void* userData) {
  (*static_cast<std::function<void()>*>(userData))();
}

class SystemUsbBackend : public UsbBackend {
 public:
  ~SystemUsbBackend() override { Exit(); }

  int Init() override {
    if (context_ != nullptr) return LIBUSB_SUCCESS;
    const int result = libusb_init(&context_);
    if (result == LIBUSB_SUCCESS) {
      libusb_set_pollfd_notifiers(context_, PollFdAdded, PollFdRemoved, &pollFdsChanged_);
    }
    return result;
  }

  void Exit() override {
    if (context_ == nullptr) return;
    // The owner learns of the context's end from its own Exit call.
    libusb_set_pollfd_notifiers(context_, nullptr, nullptr, nullptr);
    libusb_exit(context_);
    context_ = nullptr;
    hotplugRegistered_ = false;
  }

  bool HasHotplug() override { return libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) != 0; }

  int RegisterHotplug(const UsbMatch& match, HotplugSink* sink) override {
    const int deviceClass = match.deviceClass != 0 ? match.deviceClass : LIBUSB_HOTPLUG_MATCH_ANY;
    const int result = libusb_hotplug_register_callback(
        context_,
        static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                          LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
        LIBUSB_HOTPLUG_ENUMERATE, match.vendorId, match.productId, deviceClass, HotplugTrampoline,
        sink, &hotplugHandle_);
    hotplugRegistered_ = result == LIBUSB_SUCCESS;
    return result;
  }

  void DeregisterHotplug() override {
    if (!hotplugRegistered_) return;
    libusb_hotplug_deregister_callback(context_, hotplugHandle_);
    hotplugRegistered_ = false;
  }

  int HandleEvents() override {
    timeval zero{0, 0};
    return libusb_handle_events_timeout_completed(context_, &zero, nullptr);
  }

  int GetPollFds(std::vector<PollSource>* fds) override {
    fds->clear();
    if (context_ == nullptr) return LIBUSB_ERROR_INVALID_PARAM;
    const libusb_pollfd** list = libusb_get_pollfds(context_);
    if (list == nullptr) return LIBUSB_ERROR_NOT_SUPPORTED;  // Windows has none to give
    for (const libusb_pollfd** entry = list; *entry != nullptr; ++entry) {
      fds->push_back(
          {(*entry)->fd, ((*entry)->events & POLLIN) != 0, ((*entry)->events & POLLOUT) != 0});
    }
    libusb_free_pollfds(list);
    return static_cast<int>(fds->size());
  }

  void SetPollFdsChanged(std::function<void()> changed) override {
    // libusb keeps a pointer to this member, so it is assigned, never replaced.
    pollFdsChanged_ = changed ? std::move(changed) : [] {};
  }

  int NextTimeoutMs() override {
    if (context_ == nullptr || libusb_pollfds_handle_timeouts(context_) != 0) return -1;
    timeval next{};
    if (libusb_get_next_timeout(context_, &next) != 1) return -1;
    // Rounded up, so that the time-out has expired when the program polls.
    const long long ms = static_cast<long long>(next.tv_sec) * 1000 + (next.tv_usec + 999) / 1000;
    return static_cast<int>(std::min<long long>(ms, INT_MAX));
  }

  int GetDeviceList(std::vector<libusb_device*>* devices) override {
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_, &list);
    if (count < 0) return static_cast<int>(count);
    devices->assign(list, list + count);
    libusb_free_device_list(list, 0);  // the references now belong to the caller
    return static_cast<int>(count);
  }

  void RefDevice(libusb_device* device) override { libusb_ref_device(device); }
  void UnrefDevice(libusb_device* device) override { libusb_unref_device(device); }

  int GetDeviceIds(libusb_device* device, DeviceIds* ids) override {
    libusb_device_descriptor descriptor{};
    const int result = libusb_get_device_descriptor(device, &descriptor);
    if (result < 0) return result;
    ids->vendorId = descriptor.idVendor;
    ids->productId = descriptor.idProduct;
    ids->deviceVersion = descriptor.bcdDevice;
    ids->deviceClass = descriptor.bDeviceClass;
    ids->deviceSubClass = descriptor.bDeviceSubClass;
    ids->manufacturerIndex = descriptor.iManufacturer;
    ids->productIndex = descriptor.iProduct;
    ids->serialIndex = descriptor.iSerialNumber;
    return LIBUSB_SUCCESS;
  }

  int GetInterfaceIds(libusb_device* device, std::vector<InterfaceIds>* interfaces) override {
    libusb_config_descriptor* config = nullptr;
    const int result = libusb_get_active_config_descriptor(device, &config);
    if (result < 0) return result;
    interfaces->clear();
    for (int i = 0; i < config->bNumInterfaces; ++i) {
      const libusb_interface& interface = config->interface[i];
      if (interface.num_altsetting < 1) continue;
      const libusb_interface_descriptor& setting = interface.altsetting[0];
      interfaces->push_back(
          {setting.bInterfaceClass, setting.bInterfaceSubClass, setting.bInterfaceProtocol});
    }
    libusb_free_config_descriptor(config);
    return LIBUSB_SUCCESS;
  }

  uint8_t BusNumber(libusb_device* device) override { return libusb_get_bus_number(device); }
  uint8_t DeviceAddress(libusb_device* device) override {
    return libusb_get_device_address(device);
  }

  int GetPortNumbers(libusb_device* device, std::vector<uint8_t>* ports) override {
    uint8_t numbers[8];  // USB allows seven tiers below the root hub
    const int count = libusb_get_port_numbers(device, numbers, static_cast<int>(sizeof numbers));
    if (count < 0) return count;
    ports->assign(numbers, numbers + count);
    return count;
  }

  int Open(libusb_device* device, libusb_device_handle** handle) override {
    return libusb_open(device, handle);
  }
  void Close(libusb_device_handle* handle) override { libusb_close(handle); }

  int SetAutoDetachKernelDriver(libusb_device_handle* handle, bool enable) override {
    return libusb_set_auto_detach_kernel_driver(handle, enable ? 1 : 0);
  }
  int ClaimInterface(libusb_device_handle* handle, int interfaceNumber) override {
    return libusb_claim_interface(handle, interfaceNumber);
  }
  int ReleaseInterface(libusb_device_handle* handle, int interfaceNumber) override {
    return libusb_release_interface(handle, interfaceNumber);
  }
  int SetAltSetting(libusb_device_handle* handle, int interfaceNumber,
                    int alternateSetting) override {
    return libusb_set_interface_alt_setting(handle, interfaceNumber, alternateSetting);
  }

  // libusb_get_string_descriptor_ascii waits up to a second per request; the
  // same two requests, with the caller's time-out.
  int GetStringAscii(libusb_device_handle* handle, uint8_t index, std::string* text,
                     unsigned int timeoutMs) override {
    const auto request = [&](uint8_t descriptor, uint16_t language, unsigned char* buffer) {
      return libusb_control_transfer(handle, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR,
                                     static_cast<uint16_t>((LIBUSB_DT_STRING << 8) | descriptor),
                                     language, buffer, 255, timeoutMs);
    };
    unsigned char buffer[255];
    int result = request(0, 0, buffer);  // the language ids
    if (result < 0) return result;
    if (result < 4) return LIBUSB_ERROR_IO;
    result = request(index, static_cast<uint16_t>(buffer[2] | (buffer[3] << 8)), buffer);
    if (result < 0) return result;
    if (result < 2 || buffer[1] != LIBUSB_DT_STRING || buffer[0] > result) return LIBUSB_ERROR_IO;
    text->clear();
    // UTF-16LE; anything outside ASCII becomes '?', as libusb does it.
    for (int i = 2; i + 1 < buffer[0]; i += 2) {
      const bool ascii = buffer[i + 1] == 0 && buffer[i] < 0x80;
      text->push_back(ascii ? static_cast<char>(buffer[i]) : '?');
    }
    return static_cast<int>(text->size());
  }

  int BulkTransfer(libusb_device_handle* handle, uint8_t endpoint, uint8_t* data, int length,
                   int* transferred, unsigned int timeoutMs) override {
    return libusb_bulk_transfer(handle, endpoint, data, length, transferred, timeoutMs);
  }
  int ClearHalt(libusb_device_handle* handle, uint8_t endpoint) override {
    return libusb_clear_halt(handle, endpoint);
  }
  int ResetDevice(libusb_device_handle* handle) override { return libusb_reset_device(handle); }

  std::chrono::steady_clock::time_point Now() override { return std::chrono::steady_clock::now(); }
  void Sleep(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }

 private:
  libusb_context* context_ = nullptr;
  std::function<void()> pollFdsChanged_ = [] {};
  libusb_hotplug_callback_handle hotplugHandle_{};
  bool hotplugRegistered_ = false;
};

}  // namespace

std::unique_ptr<UsbBackend> MakeSystemUsbBackend() {
  return std::make_unique<SystemUsbBackend>();
}

}  // namespace kps::usb
