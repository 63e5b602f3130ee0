#include "usb/libusb_transport.h"

#include <libusb.h>

#include <algorithm>
#include <climits>

#include "usb/usb_mapping.h"

namespace kps::usb {

namespace {

// Handle numbers are unique for the life of the process, across sessions and
// transports, so that a stale number can never name a later board.
DeviceHandle NextDeviceHandle() {
  static DeviceHandle last = 0;
  if (++last == 0) ++last;
  return last;
}

DriverHandle NextDriverHandle() {
  static DriverHandle last = 0;
  if (last == INT32_MAX) last = 0;
  return ++last;
}

}  // namespace

LibusbTransport::LibusbTransport() : LibusbTransport(MakeSystemUsbBackend()) {}

LibusbTransport::LibusbTransport(std::unique_ptr<UsbBackend> backend)
    : backend_(std::move(backend)) {
  backend_->SetPollFdsChanged([this] { PollChanged(); });
}

LibusbTransport::~LibusbTransport() {
  if (open_) EndSession();
}

std::string LibusbTransport::LibraryVersion() {
  const libusb_version* version = libusb_get_version();
  return FormatLibraryVersion(version->major, version->minor, version->micro, version->rc);
}

uint32_t LibusbTransport::Init(const UsbMatch& match, TransportListener* listener,
                               DriverHandle* driver) {
  if (listener == nullptr || driver == nullptr) return kUsbOther;
  if (open_) EndSession();
  *driver = 0;
  const int result = backend_->Init();
  if (result < 0) return StatusFromLibusb(result);

  match_ = match;
  listener_ = listener;
  open_ = true;
  // With LIBUSB_HOTPLUG_ENUMERATE the board that is already plugged in is
  // queued during the registration, like a later arrival.
  hotplug_ = backend_->HasHotplug() && backend_->RegisterHotplug(match_, this) == LIBUSB_SUCCESS;
  if (!hotplug_) {
    // No hot-plug on this platform, or no way to watch for it here (a
    // container without a device manager, say): find the board by scanning.
    for (const Event& event : queue_) backend_->UnrefDevice(event.device);
    queue_.clear();
    Scan();
  }
  driver_ = NextDriverHandle();
  *driver = driver_;
  PollChanged();  // the context's descriptors, and any queued arrival
  return kUsbOk;
}

void LibusbTransport::PollChanged() {
  if (changed_) changed_();
}

std::vector<PollSource> LibusbTransport::PollSources() const {
  std::vector<PollSource> sources;
  if (open_) backend_->GetPollFds(&sources);
  return sources;
}

int LibusbTransport::PollIntervalMs() const {
  if (!open_) return -1;
  // Events handled inside a transfer may have queued notifications that no
  // descriptor will signal again.
  if (!queue_.empty()) return 0;
  int interval = backend_->NextTimeoutMs();
  if (!hotplug_) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(kScanInterval - (backend_->Now() - lastScan_));
    const int scan = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    interval = interval < 0 ? scan : std::min(interval, scan);
  }
  return interval;
}

void LibusbTransport::OnHotplug(libusb_device* device, bool arrived) {
  // Inside libusb's event handling: no synchronous libusb call is allowed
  // here, so only keep the device alive and remember what happened.
  if (!open_) return;
  backend_->RefDevice(device);
  queue_.push_back({arrived, device});
  if (queue_.size() == 1) PollChanged();
}

void LibusbTransport::Scan() {
  lastScan_ = backend_->Now();
  std::vector<libusb_device*> listed;
  if (backend_->GetDeviceList(&listed) < 0) return;
  std::vector<libusb_device*> found;
  for (libusb_device* device : listed) {
    DeviceIds ids;
    if (backend_->GetDeviceIds(device, &ids) == LIBUSB_SUCCESS && ids.vendorId == match_.vendorId &&
        ids.productId == match_.productId) {
      found.push_back(device);
    } else {
      backend_->UnrefDevice(device);
    }
  }
  // A device object stays the same while it is referenced, so a board that
  // is still plugged in is listed with the pointer present_ holds.
  for (auto it = present_.begin(); it != present_.end();) {
    if (std::find(found.begin(), found.end(), *it) == found.end()) {
      queue_.push_back({false, *it});  // present_'s reference moves to the queue
      it = present_.erase(it);
    } else {
      ++it;
    }
  }
  for (libusb_device* device : found) {
    if (std::find(present_.begin(), present_.end(), device) != present_.end()) {
      backend_->UnrefDevice(device);
      continue;
    }
    present_.push_back(device);
    backend_->RefDevice(device);
    queue_.push_back({true, device});
  }
}

void LibusbTransport::Poll() {
  if (!open_) return;
  backend_->HandleEvents();  // runs the hot-plug callback for whatever happened
  if (!hotplug_ && backend_->Now() - lastScan_ >= kScanInterval) Scan();
  // The listener processes events while it handles a notification, which
  // calls Poll() again: take each event off the queue before delivering it,
  // so a nested Poll() goes on with the next one and none is delivered twice.
  while (open_ && !queue_.empty()) {
    const Event event = queue_.front();
    queue_.pop_front();
    if (event.arrived) {
      DeliverArrival(event.device);
    } else {
      DeliverDeparture(event.device);
    }
  }
}

bool LibusbTransport::Matches(const UsbMatch& match, libusb_device* device) {
  DeviceIds ids;
  if (backend_->GetDeviceIds(device, &ids) < 0 || !MatchesDevice(match, ids)) return false;
  if (!NeedsInterfaceMatch(match)) return true;
  std::vector<InterfaceIds> interfaces;
  if (backend_->GetInterfaceIds(device, &interfaces) < 0) return false;
  return MatchesInterface(match, interfaces);
}

std::string LibusbTransport::PortPath(libusb_device* device) {
  std::vector<uint8_t> ports;
  if (backend_->GetPortNumbers(device, &ports) < 0) return "";
  return PortPathText(backend_->BusNumber(device), ports);
}

bool LibusbTransport::Chosen(Device& device) {
  const std::string& choice = match_.board;
  if (choice.empty()) return true;
  const std::string place = PortPath(device.device);
  if (ChoiceIsPlace(choice)) return BoardChosen(choice, place, "");
  // Only the board itself can tell its serial number: open it (without
  // claiming anything) and read it. One that cannot be opened is not the one
  // asked for, as far as anyone can tell.
  return OpenDevice(device) == kUsbOk && BoardChosen(choice, place, device.strings.serial);
}

int LibusbTransport::Describe(libusb_device* device, DeviceInfo* info) {
  DeviceIds ids;
  if (const int result = backend_->GetDeviceIds(device, &ids); result < 0) return result;
  info->vendorId = ids.vendorId;
  info->productId = ids.productId;
  info->deviceVersion = ids.deviceVersion;
  info->busNumber = backend_->BusNumber(device);
  info->deviceAddress = backend_->DeviceAddress(device);
  info->portPath = PortPath(device);
  return LIBUSB_SUCCESS;
}

uint32_t LibusbTransport::ListBoards(const UsbMatch& match, std::vector<AttachedBoard>* boards) {
  if (boards == nullptr) return kUsbOther;
  boards->clear();
  // Without a session, a context just for the listing.
  const bool ownContext = !open_;
  if (ownContext) {
    const int result = backend_->Init();
    if (result < 0) return StatusFromLibusb(result);
  }
  std::vector<libusb_device*> listed;
  const int result = backend_->GetDeviceList(&listed);
  for (libusb_device* device : listed) {
    AttachedBoard board;
    if (Matches(match, device) && Describe(device, &board.info) == LIBUSB_SUCCESS) {
      const auto held = std::find_if(devices_.begin(), devices_.end(), [&](const auto& entry) {
        return entry.second.device == device && entry.second.open != nullptr;
      });
      DeviceInfo strings;
      if (held != devices_.end()) {
        strings = held->second.strings;  // the session has it open: no second open
      } else {
        libusb_device_handle* handle = nullptr;
        board.openStatus = StatusFromLibusb(backend_->Open(device, &handle));
        if (board.openable()) {
          ReadStrings(device, handle, &strings);
          backend_->Close(handle);
        }
      }
      board.info.manufacturer = strings.manufacturer;
      board.info.product = strings.product;
      board.info.serial = strings.serial;
      boards->push_back(board);
    }
    backend_->UnrefDevice(device);
  }
  if (ownContext) {
    backend_->Exit();
    PollChanged();
  }
  std::sort(boards->begin(), boards->end(), [](const AttachedBoard& a, const AttachedBoard& b) {
    return std::pair(a.info.busNumber, a.info.deviceAddress) <
           std::pair(b.info.busNumber, b.info.deviceAddress);
  });
  return result < 0 ? StatusFromLibusb(result) : kUsbOk;
}

void LibusbTransport::DeliverArrival(libusb_device* device) {
  const bool known = std::any_of(devices_.begin(), devices_.end(),
                                 [&](const auto& entry) { return entry.second.device == device; });
  // A board plugged in while the session opens can be reported both by the
  // enumeration and by its arrival event.
  if (known || !Matches(match_, device)) {
    backend_->UnrefDevice(device);
    return;
  }
  const DeviceHandle handle = NextDeviceHandle();
  Device& entry = devices_[handle];
  entry.device = device;  // the queue's reference moves here
  entry.arrivedAt = backend_->Now();
  // A board that is not the one asked for is not announced: never claimed,
  // and closed again if it had to be opened to tell.
  if (!Chosen(entry)) {
    Forget(handle);
    return;
  }
  // Do not touch entry after this call: the listener may have seen the board
  // leave, or ended the session, while it processed events.
  const bool taken = listener_->DeviceAttach(handle);
  if (!taken) Forget(handle);  // a refused board gets no detach either
}

void LibusbTransport::DeliverDeparture(libusb_device* device) {
  const auto it = std::find_if(devices_.begin(), devices_.end(),
                               [&](const auto& entry) { return entry.second.device == device; });
  backend_->UnrefDevice(device);  // the queue's reference; a known device still holds its own
  if (it == devices_.end()) return;
  const DeviceHandle handle = it->first;
  // The handle is dead for good, even if the same board comes back: nothing
  // the listener does while it hears of the departure may reach the bus.
  it->second.dead = true;
  listener_->DeviceDetach(handle);
  Forget(handle);
}

LibusbTransport::Device* LibusbTransport::Live(DeviceHandle device) {
  if (!open_) return nullptr;
  const auto it = devices_.find(device);
  if (it == devices_.end() || it->second.dead) return nullptr;
  return &it->second;
}

LibusbTransport::Device* LibusbTransport::LiveOpen(DeviceHandle device) {
  Device* entry = Live(device);
  return entry != nullptr && entry->open != nullptr ? entry : nullptr;
}

uint32_t LibusbTransport::OpenDevice(Device& device) {
  if (device.open != nullptr) return kUsbOk;
  for (;;) {
    libusb_device_handle* handle = nullptr;
    const int result = backend_->Open(device.device, &handle);
    if (result == LIBUSB_SUCCESS) {
      device.open = handle;
      break;
    }
    // udev sets the node's permissions after the kernel announced the
    // device; an access error this early may go away within milliseconds.
    if (result != LIBUSB_ERROR_ACCESS || backend_->Now() - device.arrivedAt >= kOpenRetryWindow) {
      return StatusFromLibusb(result);
    }
    backend_->Sleep(kOpenRetryStep);
  }
  // Let libusb unbind a kernel driver from the interfaces we claim and bind
  // it again when we release them. Where this is not supported, a claim of an
  // interface a driver holds fails with BUSY, which is the right report.
  backend_->SetAutoDetachKernelDriver(device.open, true);
  ReadStrings(device.device, device.open, &device.strings);
  return kUsbOk;
}

void LibusbTransport::ReadStrings(libusb_device* device, libusb_device_handle* handle,
                                  DeviceInfo* strings) {
  DeviceIds ids;
  if (backend_->GetDeviceIds(device, &ids) < 0) return;
  // A board whose firmware does not answer string requests still counts as
  // present. One that let a request time out will let the others time out
  // too: do not make the user wait for each.
  bool answering = true;
  const auto read = [&](uint8_t index) {
    std::string text;
    if (index == 0 || !answering) return text;
    const int result = backend_->GetStringAscii(handle, index, &text, kStringTimeoutMs);
    if (result < 0) text.clear();
    answering = result != LIBUSB_ERROR_TIMEOUT;
    return text;
  };
  strings->manufacturer = read(ids.manufacturerIndex);
  strings->product = read(ids.productIndex);
  strings->serial = read(ids.serialIndex);
}

void LibusbTransport::CloseDevice(Device& device) {
  if (device.open == nullptr) return;
  // Fails harmlessly when the board is gone; libusb_close frees the handle anyway.
  for (const int number : device.claimed) backend_->ReleaseInterface(device.open, number);
  device.claimed.clear();
  backend_->Close(device.open);
  device.open = nullptr;
}

void LibusbTransport::Forget(DeviceHandle device) {
  const auto it = devices_.find(device);
  if (it == devices_.end()) return;
  CloseDevice(it->second);
  backend_->UnrefDevice(it->second.device);
  devices_.erase(it);
}

uint32_t LibusbTransport::SetInterface(DeviceHandle device, uint32_t interfaceNumber,
                                       uint32_t alternateSetting) {
  Device* entry = Live(device);
  if (entry == nullptr) return kUsbNoDevice;
  if (interfaceNumber > 0xFF || alternateSetting > 0xFF) return kUsbNotFound;
  const uint32_t status = OpenDevice(*entry);
  if (status != kUsbOk) return status;
  const int number = static_cast<int>(interfaceNumber);
  if (std::find(entry->claimed.begin(), entry->claimed.end(), number) == entry->claimed.end()) {
    const int result = backend_->ClaimInterface(entry->open, number);
    if (result < 0) return StatusFromLibusb(result);
    entry->claimed.push_back(number);
  }
  return StatusFromLibusb(
      backend_->SetAltSetting(entry->open, number, static_cast<int>(alternateSetting)));
}

uint32_t LibusbTransport::GetDeviceInfo(DeviceHandle device, DeviceInfo* info) {
  if (info == nullptr) return kUsbOther;
  Device* entry = Live(device);
  if (entry == nullptr) return kUsbNoDevice;
  DeviceInfo out;
  if (const int result = Describe(entry->device, &out); result < 0) {
    return StatusFromLibusb(result);
  }
  // The program asks before every operation; the strings take control
  // transfers, so they were read once, when the device was opened.
  out.manufacturer = entry->strings.manufacturer;
  out.product = entry->strings.product;
  out.serial = entry->strings.serial;
  *info = out;
  return kUsbOk;
}

uint32_t LibusbTransport::Transfer(DeviceHandle device, uint32_t pipe, bool read, uint8_t* buffer,
                                   uint32_t length, uint32_t* transferred, uint32_t timeoutMs) {
  if (transferred != nullptr) *transferred = 0;
  Device* entry = LiveOpen(device);
  if (entry == nullptr) return kUsbNoDevice;
  const auto endpoint = EndpointForTransfer(pipe, read);
  if (!endpoint) return kUsbNotFound;
  if (length > static_cast<uint32_t>(INT_MAX) || (buffer == nullptr && length > 0))
    return kUsbOther;

  // A board pulled out during the transfer makes libusb return NO_DEVICE (or
  // IO) at once; its departure is queued meanwhile and reaches the listener
  // at the next Poll(), not from in here.
  libusb_device_handle* const handle = entry->open;
  int count = 0;
  const int result = backend_->BulkTransfer(handle, *endpoint, buffer, static_cast<int>(length),
                                            &count, timeoutMs);
  // A time-out or a stall can still have moved part of the data.
  if (transferred != nullptr) *transferred = count > 0 ? static_cast<uint32_t>(count) : 0;
  // A stalled endpoint stays halted, failing every later transfer, until the
  // host clears it. Clear it once now so that the program's next attempt can
  // go through; if even that fails, the next transfer reports it again.
  if (result == LIBUSB_ERROR_PIPE) backend_->ClearHalt(handle, *endpoint);
  return StatusFromLibusb(result);
}

uint32_t LibusbTransport::ResetPipe(DeviceHandle device, uint32_t pipe) {
  Device* entry = LiveOpen(device);
  if (entry == nullptr) return kUsbNoDevice;
  const auto endpoint = EndpointForPipe(pipe);
  if (!endpoint) return kUsbNotFound;
  return StatusFromLibusb(backend_->ClearHalt(entry->open, *endpoint));
}

uint32_t LibusbTransport::ResetDevice(DeviceHandle device) {
  Device* entry = LiveOpen(device);
  if (entry == nullptr) return kUsbNoDevice;
  const int result = backend_->ResetDevice(entry->open);
  if (result == LIBUSB_ERROR_NOT_FOUND) {
    // The board came back from the reset with other descriptors and was
    // enumerated afresh: this handle is finished; the departure and a new
    // arrival follow through the hot-plug events.
    CloseDevice(*entry);
    entry->dead = true;
  }
  return StatusFromLibusb(result);
}

void LibusbTransport::Uninit(DriverHandle driver) {
  if (!open_ || driver != driver_) return;
  EndSession();
}

void LibusbTransport::EndSession() {
  open_ = false;  // first, so that late hot-plug events are ignored
  if (hotplug_) backend_->DeregisterHotplug();
  for (const Event& event : queue_) backend_->UnrefDevice(event.device);
  queue_.clear();
  for (auto& [handle, entry] : devices_) {
    CloseDevice(entry);
    backend_->UnrefDevice(entry.device);
  }
  devices_.clear();
  for (libusb_device* device : present_) backend_->UnrefDevice(device);
  present_.clear();
  backend_->Exit();
  hotplug_ = false;
  listener_ = nullptr;
  driver_ = 0;
  PollChanged();
}

}  // namespace kps::usb
