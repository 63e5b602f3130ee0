#include "support/recording_transport.h"

#include <algorithm>

namespace kps::test {

void RecordingTransport::Record(const char* op, uint32_t device, uint32_t pipe) {
  TransportCall call;
  call.op = op;
  call.device = device;
  call.pipe = pipe;
  calls.push_back(call);
}

uint32_t RecordingTransport::Init(const UsbMatch& match, TransportListener* listener,
                                  DriverHandle* driver) {
  Record("init");
  lastMatch = match;
  if (initStatus != 0) {
    *driver = 0;
    return initStatus;
  }
  listener_ = listener;
  sessionOpen = true;
  *driver = 1;
  if (plugged) pending_.push_back(true);
  return 0;
}

void RecordingTransport::Poll() {
  while (!pending_.empty() && sessionOpen && listener_ != nullptr) {
    const bool attach = pending_.front();
    pending_.pop_front();
    if (attach) {
      current_ = nextDevice_++;
      listener_->DeviceAttach(current_);
    } else {
      const DeviceHandle gone = current_;
      current_ = 0;
      listener_->DeviceDetach(gone);
    }
  }
}

void RecordingTransport::Plug() {
  plugged = true;
  pending_.push_back(true);
}

void RecordingTransport::Unplug() {
  plugged = false;
  pending_.push_back(false);
}

uint32_t RecordingTransport::SetInterface(DeviceHandle device, uint32_t, uint32_t) {
  Record("setInterface", device);
  return setInterfaceStatus;
}

uint32_t RecordingTransport::GetDeviceInfo(DeviceHandle device, DeviceInfo* info) {
  Record("getDeviceInfo", device);
  if (getDeviceInfoStatus != 0) return getDeviceInfoStatus;
  if (device == 0 || !sessionOpen) return kUsbNoDevice;
  info->vendorId = lastMatch.vendorId;
  info->productId = lastMatch.productId;
  return 0;
}

uint32_t RecordingTransport::Transfer(DeviceHandle device, uint32_t pipe, bool read,
                                      uint8_t* buffer, uint32_t length, uint32_t* transferred,
                                      uint32_t) {
  TransportCall call;
  call.op = read ? "in" : "out";
  call.device = device;
  call.pipe = pipe;
  call.length = length;
  if (!read) call.bytes.assign(buffer, buffer + length);
  calls.push_back(call);
  if (duringTransfer) duringTransfer();
  *transferred = 0;
  if (!sessionOpen || !plugged || device == 0 || device != current_) return kUsbNoDevice;
  if (transferStatus != 0) return transferStatus;
  if (read) {
    auto& queue = replies[pipe];
    if (queue.empty()) return kUsbTimeout;
    const auto reply = queue.front();
    queue.pop_front();
    const auto n = std::min<std::size_t>(reply.size(), length);
    std::copy_n(reply.begin(), n, buffer);
    *transferred = static_cast<uint32_t>(n);
  } else {
    *transferred = length;
  }
  return 0;
}

uint32_t RecordingTransport::ResetPipe(DeviceHandle device, uint32_t pipe) {
  Record("resetPipe", device, pipe);
  if (resetPipeStatuses.empty()) return 0;
  const uint32_t status = resetPipeStatuses.front();
  resetPipeStatuses.pop_front();
  return status;
}

uint32_t RecordingTransport::ResetDevice(DeviceHandle device) {
  Record("resetDevice", device);
  return 0;
}

void RecordingTransport::Uninit(DriverHandle) {
  Record("uninit");
  sessionOpen = false;
  listener_ = nullptr;
  current_ = 0;
  pending_.clear();
}

std::vector<TransportCall> RecordingTransport::Frames() const {
  std::vector<TransportCall> out;
  std::copy_if(calls.begin(), calls.end(), std::back_inserter(out),
               [](const TransportCall& c) { return c.op == "out" || c.op == "in"; });
  return out;
}

}  // namespace kps::test
