#include "support/emulated_board.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <libusb.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include <gtest/gtest.h>

namespace kps::test {

namespace {

std::mutex gMutex;  // guards the two below: libusb logs from any thread
std::vector<std::string>* gLog = nullptr;
std::set<std::string> gDenied;

void LIBUSB_CALL KeepLogLine(libusb_context* /*context*/, enum libusb_log_level /*level*/,
                             const char* text) {
  std::string line(text);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  const std::lock_guard lock(gMutex);
  if (gLog != nullptr) gLog->push_back(line);
}

UMockdevTestbed* Testbed(void* testbed) {
  return static_cast<UMockdevTestbed*>(testbed);
}

gboolean OnIoctl(UMockdevIoctlBase* /*handler*/, UMockdevIoctlClient* client, gpointer board) {
  return static_cast<EmulatedBoard*>(board)->HandleIoctlFromUmockdev(client) ? TRUE : FALSE;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  char pair[3];
  for (const uint8_t b : bytes) text += (std::snprintf(pair, sizeof pair, "%02x", b), pair);
  return text;
}

// The device descriptor and the one configuration: interface 0, vendor class,
// bulk endpoints 0x01 and 0x02 out, 0x81 and 0x82 in, 64-byte packets.
std::vector<uint8_t> Descriptors(uint16_t vendorId, uint16_t productId) {
  std::vector<uint8_t> d = {18,
                            1,
                            0x00,
                            0x02,
                            0,
                            0,
                            0,
                            64,
                            static_cast<uint8_t>(vendorId),
                            static_cast<uint8_t>(vendorId >> 8),
                            static_cast<uint8_t>(productId),
                            static_cast<uint8_t>(productId >> 8),
                            0x00,
                            0x01,
                            1,
                            2,
                            3,
                            1};
  const std::vector<uint8_t> config = {9, 2, 46, 0, 1, 1,    0, 0x80, 50,
                                       9, 4, 0,  0, 4, 0xFF, 0, 0,    0};
  d.insert(d.end(), config.begin(), config.end());
  for (const uint8_t endpoint : {0x01, 0x02, 0x81, 0x82}) {
    d.insert(d.end(), {7, 5, endpoint, 2, 64, 0, 0});
  }
  return d;
}

}  // namespace

// One submitted URB: umockdev's copy of the caller's struct and of its buffer.
struct EmulatedBoard::Urb {
  UMockdevIoctlData* data = nullptr;
  UMockdevIoctlData* buffer = nullptr;
  bool done = false;  // reapable
  std::chrono::steady_clock::time_point submitted;
  usbdevfs_urb* urb() const { return reinterpret_cast<usbdevfs_urb*>(data->data); }
  ~Urb() {
    if (buffer != nullptr) umockdev_ioctl_data_unref(buffer);
    if (data != nullptr) umockdev_ioctl_data_unref(data);
  }
};

struct EmulatedBoard::Listener : TransportListener {
  bool DeviceAttach(DeviceHandle device) override {
    handle = device;
    return true;
  }
  void DeviceDetach(DeviceHandle /*device*/) override { handle = 0; }
  DeviceHandle handle = 0;
};

namespace {
sim::SimOptions Unplugged(sim::SimOptions options) {
  options.plugged = false;  // until the device node is there
  return options;
}
}  // namespace

EmulatedBoard::EmulatedBoard(EmulatedUsbBus& bus, EmulatedBoardOptions options)
    : bus_(bus),
      options_(std::move(options)),
      model_(Unplugged(options_.sim)),
      listener_(std::make_unique<Listener>()) {
  DriverHandle driver = 0;
  model_.Init(UsbMatch{.vendorId = options_.vendorId, .productId = options_.productId},
              listener_.get(), &driver);
  handler_ = umockdev_ioctl_base_new();
  g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(OnIoctl), this);
  if (options_.sim.plugged) Plug();
}

EmulatedBoard::~EmulatedBoard() {
  Unplug();
  DenyAccess(false);
  for (const std::string& node : attachedNodes_) {
    umockdev_testbed_detach_ioctl(Testbed(bus_.testbed()), node.c_str(), nullptr);
  }
  g_object_unref(handler_);
}

std::string EmulatedBoard::SysPath() const {
  return "/sys/devices/pci0000:00/usb1/1-" + std::to_string(options_.port);
}

std::string EmulatedBoard::devnode() const {
  char node[32];
  std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", address_);
  return node;
}

std::string EmulatedBoard::Record() const {
  char number[8];
  std::snprintf(number, sizeof number, "%03d", address_);
  char product[24];
  std::snprintf(product, sizeof product, "%x/%x/100", options_.vendorId, options_.productId);
  return "P: " + SysPath().substr(4) + "\nN: bus/usb/001/" + number +
         "\nE: SUBSYSTEM=usb\nE: DRIVER=usb\nE: DEVTYPE=usb_device\nE: BUSNUM=001\nE: DEVNUM=" +
         number + "\nE: DEVNAME=" + devnode() + "\nE: PRODUCT=" + product +
         "\nA: bConfigurationValue=1\\n\nA: busnum=1\\n\nA: devnum=" + std::to_string(address_) +
         "\\n\nA: speed=12\\n\nH: descriptors=" +
         Hex(Descriptors(options_.vendorId, options_.productId)) + "\n";
}

void EmulatedBoard::Plug() {
  if (plugged()) return;
  address_ = bus_.NextAddress();
  UMockdevTestbed* testbed = Testbed(bus_.testbed());
  // The handler first, so that the node answers as soon as it is announced.
  GError* error = nullptr;
  if (!umockdev_testbed_attach_ioctl(testbed, devnode().c_str(),
                                     static_cast<UMockdevIoctlBase*>(handler_), &error)) {
    ADD_FAILURE() << "cannot emulate " << devnode() << ": " << error->message;
    g_error_free(error);
    return;
  }
  attachedNodes_.push_back(devnode());
  if (denied_) bus_.Deny(devnode(), true);
  if (!umockdev_testbed_add_from_string(testbed, Record().c_str(), &error)) {
    ADD_FAILURE() << "cannot add the board to the test bed: " << error->message;
    g_error_free(error);
    return;
  }
  {
    const std::lock_guard lock(mutex_);
    plugged_ = true;
    gone_ = false;
    halted_.clear();
    model_.Plug();
    model_.Poll();
  }
  umockdev_testbed_uevent(testbed, SysPath().c_str(), "add");
}

void EmulatedBoard::Unplug() {
  {
    const std::lock_guard lock(mutex_);
    if (!plugged_) return;
    plugged_ = false;
    gone_ = true;
    goneAtNextReply_ = false;
    FailFlying(-ESHUTDOWN);
    model_.Unplug();
    model_.Poll();
  }
  UMockdevTestbed* testbed = Testbed(bus_.testbed());
  umockdev_testbed_uevent(testbed, SysPath().c_str(), "remove");
  umockdev_testbed_remove_device(testbed, SysPath().c_str());
}

void EmulatedBoard::GoneDuringNextReply() {
  const std::lock_guard lock(mutex_);
  goneAtNextReply_ = true;
}

void EmulatedBoard::DenyAccess(bool denied) {
  denied_ = denied;
  if (address_ != 0) bus_.Deny(devnode(), denied);
}

void EmulatedBoard::HeldElsewhere(bool held) {
  const std::lock_guard lock(mutex_);
  heldElsewhere_ = held;
}

bool EmulatedBoard::plugged() const {
  const std::lock_guard lock(mutex_);
  return plugged_;
}

std::vector<TransportCall> EmulatedBoard::Wire() const {
  const std::lock_guard lock(mutex_);
  return wire_;
}

void EmulatedBoard::ClearWire() {
  const std::lock_guard lock(mutex_);
  wire_.clear();
}

EmulatedBoard::Counts EmulatedBoard::counts() const {
  const std::lock_guard lock(mutex_);
  return counts_;
}

// ---------------------------------------------------------------------------
// usbfs, on umockdev's thread

bool EmulatedBoard::HandleIoctlFromUmockdev(void* clientPointer) {
  auto* client = static_cast<UMockdevIoctlClient*>(clientPointer);
  const gulong request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  const std::lock_guard lock(mutex_);
  // A node of an earlier plug, still open in the program, belongs to a board
  // that left: like the kernel, answer that it has no device.
  const bool current = devnode() == umockdev_ioctl_client_get_devnode(client);
  if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
    return Reap(client, arg, current);
  }
  if (gone_ || !current) {
    umockdev_ioctl_client_complete(client, -1, ENODEV);
    return true;
  }
  const auto value = [&](auto* out) {
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof *out, nullptr);
    std::memcpy(out, data->data, sizeof *out);
    return data;
  };
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof(uint32_t), nullptr);
      const uint32_t caps = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                            USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
      std::memcpy(data->data, &caps, sizeof caps);
      umockdev_ioctl_data_unref(data);
      umockdev_ioctl_client_complete(client, 0, 0);
      return true;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE: {
      unsigned int number = 0;
      umockdev_ioctl_data_unref(value(&number));
      if (number != 0 || (heldElsewhere_ && request == USBDEVFS_CLAIMINTERFACE)) {
        umockdev_ioctl_client_complete(client, -1, number != 0 ? EINVAL : EBUSY);
        return true;
      }
      claimed_ = request == USBDEVFS_CLAIMINTERFACE;
      counts_.claims += claimed_ ? 1 : 0;
      umockdev_ioctl_client_complete(client, 0, 0);
      return true;
    }
    case USBDEVFS_SETINTERFACE: {
      usbdevfs_setinterface setting{};
      umockdev_ioctl_data_unref(value(&setting));
      if (!claimed_) ++counts_.unclaimedUse;  // the kernel claims it on the program's behalf
      const bool known = setting.interface == 0 && setting.altsetting == 0;
      umockdev_ioctl_client_complete(client, known ? 0 : -1, known ? 0 : EINVAL);
      return true;
    }
    case USBDEVFS_CLEAR_HALT: {
      unsigned int endpoint = 0;
      umockdev_ioctl_data_unref(value(&endpoint));
      std::erase(halted_, static_cast<uint8_t>(endpoint));
      ++counts_.clearHalts;
      umockdev_ioctl_client_complete(client, 0, 0);
      return true;
    }
    case USBDEVFS_RESET:
      ++counts_.resets;
      halted_.clear();
      model_.ResetDevice(listener_->handle);
      umockdev_ioctl_client_complete(client, 0, 0);
      return true;
    case USBDEVFS_GETDRIVER:
    case USBDEVFS_IOCTL:  // asking a kernel driver to let go: none is bound
      umockdev_ioctl_client_complete(client, -1, ENODATA);
      return true;
    case USBDEVFS_SUBMITURB:
      return Submit(client, arg);
    case USBDEVFS_DISCARDURB:
      return Discard(client, arg);
    default:
      umockdev_ioctl_client_complete(client, -1, ENOTTY);
      return true;
  }
}

bool EmulatedBoard::Submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  auto urb = std::make_unique<Urb>();
  urb->submitted = std::chrono::steady_clock::now();
  urb->data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
  usbdevfs_urb* u = urb->urb();
  if (u->buffer_length < 0) {
    umockdev_ioctl_client_complete(client, -1, EINVAL);
    return true;
  }
  urb->buffer = umockdev_ioctl_data_resolve(urb->data, G_STRUCT_OFFSET(usbdevfs_urb, buffer),
                                            static_cast<gsize>(u->buffer_length), nullptr);
  auto* bytes = reinterpret_cast<uint8_t*>(urb->buffer->data);
  const auto length = static_cast<uint32_t>(u->buffer_length);
  const uint8_t endpoint = u->endpoint;

  if (u->type == USBDEVFS_URB_TYPE_CONTROL && endpoint == 0) {
    AnswerControl(*urb, bytes, length);
  } else if (u->type != USBDEVFS_URB_TYPE_BULK ||
             !(endpoint == 0x01 || endpoint == 0x02 || endpoint == 0x81 || endpoint == 0x82)) {
    // The kernel refuses an endpoint the interface does not have.
    umockdev_ioctl_client_complete(client, -1, ENOENT);
    return true;
  } else if (goneAtNextReply_ && (endpoint & 0x80) != 0) {
    goneAtNextReply_ = false;
    gone_ = true;
    Answer(*urb, -ESHUTDOWN, 0);
  } else if (std::find(halted_.begin(), halted_.end(), endpoint) != halted_.end()) {
    Answer(*urb, -EPIPE, 0);
  } else {
    if (!claimed_) ++counts_.unclaimedUse;
    const bool read = (endpoint & 0x80) != 0;
    uint32_t moved = 0;
    const uint32_t status =
        model_.Transfer(listener_->handle, endpoint, read, bytes, length, &moved, 0);
    TransportCall call{read ? "in" : "out", endpoint, {}, length};
    if (!read || status == kUsbOk) call.bytes.assign(bytes, bytes + (read ? length : moved));
    wire_.push_back(call);
    if (status == kUsbOk) {
      Answer(*urb, 0, static_cast<int>(moved));
    } else if (status == kUsbStall) {
      halted_.push_back(endpoint);
      Answer(*urb, -EPIPE, 0);
    } else if (status != kUsbTimeout) {
      Answer(*urb, -EPROTO, 0);
    }
    // On a time-out the transfer stays pending until the host discards it.
  }
  urbs_.push_back(std::move(urb));
  umockdev_ioctl_client_complete(client, 0, 0);
  return true;
}

// String descriptors; any other request on endpoint 0 is stalled.
void EmulatedBoard::AnswerControl(Urb& urb, uint8_t* bytes, uint32_t length) {
  if (length < 8 || bytes[0] != 0x80 || bytes[1] != 6 || bytes[3] != 3) {
    Answer(urb, -EPIPE, 0);
    return;
  }
  std::vector<uint8_t> descriptor;
  const uint8_t index = bytes[2];
  const std::string* text = index == 1   ? &options_.manufacturer
                            : index == 2 ? &options_.product
                            : index == 3 ? &options_.serial
                                         : nullptr;
  if (index == 0) {
    descriptor = {4, 3, 0x09, 0x04};  // English (United States)
  } else if (text != nullptr) {
    descriptor = {static_cast<uint8_t>(2 + 2 * text->size()), 3};
    for (const char c : *text) descriptor.insert(descriptor.end(), {static_cast<uint8_t>(c), 0});
  } else {
    Answer(urb, -EPIPE, 0);
    return;
  }
  const uint32_t asked = bytes[6] | (bytes[7] << 8);
  const auto n = std::min<uint32_t>({static_cast<uint32_t>(descriptor.size()), asked, length - 8});
  std::copy_n(descriptor.begin(), n, bytes + 8);
  Answer(urb, 0, static_cast<int>(n));
}

void EmulatedBoard::Answer(Urb& urb, int status, int actualLength) {
  urb.urb()->status = status;
  urb.urb()->actual_length = actualLength;
  urb.done = true;
}

void EmulatedBoard::FailFlying(int status) {
  for (auto& urb : urbs_) {
    if (!urb->done) Answer(*urb, status, 0);
  }
}

bool EmulatedBoard::Reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg, bool current) {
  // A host that would wait for ever (a transfer sent with no time-out) gets
  // its transfer back failed after a while, so that the test fails instead of hanging.
  const auto now = std::chrono::steady_clock::now();
  for (auto& urb : urbs_) {
    if (!urb->done && now - urb->submitted > kNeverAnswered) {
      Answer(*urb, -EPROTO, 0);
      ++counts_.abandoned;
    }
  }
  const auto it = std::find_if(urbs_.begin(), urbs_.end(), [](const auto& u) { return u->done; });
  if (it == urbs_.end()) {
    // With nothing left to reap, a board that left says so; a live one says "later".
    umockdev_ioctl_client_complete(client, -1, gone_ || !current ? ENODEV : EAGAIN);
    return true;
  }
  const std::unique_ptr<Urb> urb = std::move(*it);
  urbs_.erase(it);
  UMockdevIoctlData* pointer = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
  umockdev_ioctl_data_set_ptr(pointer, 0, urb->data);
  umockdev_ioctl_data_unref(pointer);
  umockdev_ioctl_client_complete(client, 0, 0);
  return true;
}

bool EmulatedBoard::Discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  void* address = nullptr;
  std::memcpy(&address, arg->data, sizeof address);
  const auto it = std::find_if(urbs_.begin(), urbs_.end(), [&](const auto& u) {
    return !u->done && u->data->client_addr == reinterpret_cast<gulong>(address);
  });
  if (it == urbs_.end()) {
    umockdev_ioctl_client_complete(client, -1, EINVAL);
    return true;
  }
  Answer(**it, -ENOENT, 0);
  ++counts_.discards;
  umockdev_ioctl_client_complete(client, 0, 0);
  return true;
}

// ---------------------------------------------------------------------------
// The bus

bool EmulatedUsbBus::Available() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload != nullptr && std::strstr(preload, "umockdev-preload") != nullptr;
}

namespace {
int gBuses = 0;  // umockdev keeps one test bed per process in its environment
}  // namespace

EmulatedUsbBus::EmulatedUsbBus() {
  if (++gBuses > 1) ADD_FAILURE() << "only one emulated bus may exist at a time";
  // Warnings and errors of every libusb context made from now on reach the
  // log: libusb reads the level when a context is made.
  setenv("LIBUSB_DEBUG", "2", 1);
  {
    const std::lock_guard lock(gMutex);
    gLog = &log_;
  }
  libusb_set_log_cb(nullptr, KeepLogLine, LIBUSB_LOG_CB_GLOBAL);
  testbed_ = umockdev_testbed_new();
}

EmulatedUsbBus::~EmulatedUsbBus() {
  --gBuses;
  g_object_unref(Testbed(testbed_));
  libusb_set_log_cb(nullptr, nullptr, LIBUSB_LOG_CB_GLOBAL);
  unsetenv("LIBUSB_DEBUG");
  const std::lock_guard lock(gMutex);
  gLog = nullptr;
  gDenied.clear();
}

std::vector<std::string> EmulatedUsbBus::LibusbLog() const {
  const std::lock_guard lock(gMutex);
  return log_;
}

std::vector<std::string> EmulatedUsbBus::Leaks() const {
  std::vector<std::string> leaks;
  for (const std::string& line : LibusbLog()) {
    if (line.find("still referenced") != std::string::npos ||
        line.find("left some devices open") != std::string::npos) {
      leaks.push_back(line);
    }
  }
  return leaks;
}

void EmulatedUsbBus::Deny(const std::string& node, bool denied) {
  const std::lock_guard lock(gMutex);
  if (denied) {
    gDenied.insert(node);
  } else {
    gDenied.erase(node);
  }
}

bool EmulatedUsbBus::AccessDenied(const char* path) {
  if (path == nullptr) return false;
  const std::lock_guard lock(gMutex);
  return gDenied.count(path) != 0;
}

}  // namespace kps::test

// Running as root, file modes cannot refuse anyone; a node this "user" may not
// open is refused here, before the call reaches the test bed, exactly as the
// kernel would refuse it: open() fails with EACCES. Every other open goes on
// to the next definition (the test bed's, then the C library's). libusb is
// built with fortified calls, which reach __open_2.
extern "C" int __open_2(const char* path, int flags) {
  if (kps::test::EmulatedUsbBus::AccessDenied(path)) {
    errno = EACCES;
    return -1;
  }
  using Open = int (*)(const char*, int);
  static const auto next = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "__open_2"));
  return next(path, flags);
}

extern "C" int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  if (kps::test::EmulatedUsbBus::AccessDenied(path)) {
    errno = EACCES;
    return -1;
  }
  using Open = int (*)(const char*, int, ...);
  static const auto next = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "open"));
  return next(path, flags, mode);
}
