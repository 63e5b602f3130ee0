#include "support/recording_transport.h"

#include <algorithm>

namespace kps::test {

void RecordingTransport::Record(const char* op, uint32_t pipe) {
  TransportCall call;
  call.op = op;
  call.pipe = pipe;
  calls.push_back(call);
}

uint32_t RecordingTransport::Init(const UsbMatch& match, TransportListener* listener,
                                  DriverHandle* driver) {
  Record("init");
  if (initStatus != 0) {
    *driver = 0;
    return initStatus;
  }
  return board.Init(match, listener, driver);
}

uint32_t RecordingTransport::SetInterface(DeviceHandle device, uint32_t interfaceNumber,
                                          uint32_t alternateSetting) {
  Record("setInterface");
  if (setInterfaceStatus != 0) return setInterfaceStatus;
  return board.SetInterface(device, interfaceNumber, alternateSetting);
}

uint32_t RecordingTransport::GetDeviceInfo(DeviceHandle device, DeviceInfo* info) {
  Record("getDeviceInfo");
  return board.GetDeviceInfo(device, info);
}

uint32_t RecordingTransport::Transfer(DeviceHandle device, uint32_t pipe, bool read,
                                      uint8_t* buffer, uint32_t length, uint32_t* transferred,
                                      uint32_t timeoutMs) {
  if (duringTransfer) duringTransfer();
  if (beforeTransfer) beforeTransfer(pipe, read);
  uint32_t status = transferStatus;
  if (status == 0)
    status = board.Transfer(device, pipe, read, buffer, length, transferred, timeoutMs);
  if (status == 0 && read && pipe == 130 && !i2cReplies.empty()) {
    // The board answered; the test's bytes take the place of its reply.
    const std::vector<uint8_t> reply = i2cReplies.front();
    i2cReplies.pop_front();
    std::fill(buffer, buffer + length, 0);
    std::copy_n(reply.begin(), std::min<std::size_t>(reply.size(), length), buffer);
    *transferred = static_cast<uint32_t>(std::min<std::size_t>(reply.size(), length));
  }
  TransportCall call;
  call.op = read ? "in" : "out";
  call.pipe = pipe;
  call.length = length;
  if (!read || status == 0) call.bytes.assign(buffer, buffer + length);
  calls.push_back(call);
  return status;
}

uint32_t RecordingTransport::ResetPipe(DeviceHandle device, uint32_t pipe) {
  Record("resetPipe", pipe);
  const uint32_t status = board.ResetPipe(device, pipe);
  if (resetPipeStatuses.empty()) return status;
  const uint32_t scripted = resetPipeStatuses.front();
  resetPipeStatuses.pop_front();
  return scripted;
}

uint32_t RecordingTransport::ResetDevice(DeviceHandle device) {
  Record("resetDevice");
  return board.ResetDevice(device);
}

void RecordingTransport::Uninit(DriverHandle driver) {
  Record("uninit");
  board.Uninit(driver);
}

std::vector<TransportCall> RecordingTransport::Frames() const {
  std::vector<TransportCall> out;
  std::copy_if(calls.begin(), calls.end(), std::back_inserter(out),
               [](const TransportCall& c) { return c.op == "out" || c.op == "in"; });
  return out;
}

std::vector<std::string> RecordingTransport::Ops() const {
  std::vector<std::string> ops;
  for (const auto& c : calls) ops.push_back(c.op);
  return ops;
}

int RecordingTransport::Count(const std::string& op) const {
  return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                        [&op](const TransportCall& c) { return c.op == op; }));
}

}  // namespace kps::test
