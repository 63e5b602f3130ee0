// A transport that records every call and answers from a script: statuses per
// operation, reply bytes per IN pipe, and a board that can be plugged in and
// pulled out (the notifications arrive at the next Poll, as on the real link).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "board/transport.h"

namespace kps::test {

struct TransportCall {
  std::string op;  // "init", "setInterface", "getDeviceInfo", "out", "in", "resetPipe",
                   // "resetDevice", "uninit"
  uint32_t device = 0;
  uint32_t pipe = 0;
  std::vector<uint8_t> bytes;  // sent bytes for "out"; for "in", the length asked for
  uint32_t length = 0;
};

class RecordingTransport : public Transport {
 public:
  uint32_t Init(const UsbMatch& match, TransportListener* listener, DriverHandle* driver) override;
  void Poll() override;
  uint32_t SetInterface(DeviceHandle device, uint32_t interfaceNumber,
                        uint32_t alternateSetting) override;
  uint32_t GetDeviceInfo(DeviceHandle device, DeviceInfo* info) override;
  uint32_t Transfer(DeviceHandle device, uint32_t pipe, bool read, uint8_t* buffer, uint32_t length,
                    uint32_t* transferred, uint32_t timeoutMs) override;
  uint32_t ResetPipe(DeviceHandle device, uint32_t pipe) override;
  uint32_t ResetDevice(DeviceHandle device) override;
  void Uninit(DriverHandle driver) override;
  std::string Description() const override { return "recording transport"; }

  // The board: present from the start when plugged is true before Init.
  bool plugged = true;
  void Plug();    // queues an attach for the next Poll
  void Unplug();  // queues a detach for the next Poll; transfers fail from now on

  // Scripted answers.
  uint32_t initStatus = 0;
  uint32_t setInterfaceStatus = 0;
  uint32_t getDeviceInfoStatus = 0;
  std::deque<uint32_t> resetPipeStatuses;                        // 0 when empty
  uint32_t transferStatus = 0;                                   // for every transfer while plugged
  std::map<uint32_t, std::deque<std::vector<uint8_t>>> replies;  // per IN pipe
  // Called inside a transfer, before it completes (to pull the board out mid-way, say).
  std::function<void()> duringTransfer;

  std::vector<TransportCall> calls;
  std::vector<TransportCall> Frames() const;  // only "out" and "in" calls
  UsbMatch lastMatch;
  bool sessionOpen = false;

 private:
  void Record(const char* op, uint32_t device = 0, uint32_t pipe = 0);
  TransportListener* listener_ = nullptr;
  std::deque<bool> pending_;  // true = attach, false = detach
  DeviceHandle nextDevice_ = 0x100;
  DeviceHandle current_ = 0;
};

}  // namespace kps::test
