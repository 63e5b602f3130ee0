// A transport that records every call on its way to the simulated board, and
// can override the status of the calls a board rarely fails (driver init,
// interface selection, device information, pipe resets, every transfer), so
// that tests see the frames the program sends and the failures it meets.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "board/transport.h"
#include "sim/simulated_board.h"

namespace kps::test {

struct TransportCall {
  std::string op;  // "init", "setInterface", "getDeviceInfo", "out", "in", "resetPipe",
                   // "resetDevice", "uninit"
  uint32_t pipe = 0;
  std::vector<uint8_t> bytes;  // the bytes sent ("out") or received ("in")
  uint32_t length = 0;         // the length sent or asked for
};

class RecordingTransport : public Transport {
 public:
  explicit RecordingTransport(bool plugged = true) : board(sim::SimOptions{.plugged = plugged}) {}

  uint32_t Init(const UsbMatch& match, TransportListener* listener, DriverHandle* driver) override;
  void Poll() override { board.Poll(); }
  uint32_t SetInterface(DeviceHandle device, uint32_t interfaceNumber,
                        uint32_t alternateSetting) override;
  uint32_t GetDeviceInfo(DeviceHandle device, DeviceInfo* info) override;
  uint32_t ListBoards(const UsbMatch& match, std::vector<AttachedBoard>* boards) override {
    return board.ListBoards(match, boards);
  }
  uint32_t Transfer(DeviceHandle device, uint32_t pipe, bool read, uint8_t* buffer, uint32_t length,
                    uint32_t* transferred, uint32_t timeoutMs) override;
  uint32_t ResetPipe(DeviceHandle device, uint32_t pipe) override;
  uint32_t ResetDevice(DeviceHandle device) override;
  void Uninit(DriverHandle driver) override;
  std::string Description() const override { return "recording transport"; }

  sim::SimulatedBoard board;

  // Status overrides; 0 = whatever the board answers.
  uint32_t initStatus = 0;
  uint32_t setInterfaceStatus = 0;
  uint32_t transferStatus = 0;
  std::deque<uint32_t> resetPipeStatuses;
  // Replies of I2C frames (pipe 130) that stand in for the board's, in turn.
  std::deque<std::vector<uint8_t>> i2cReplies;
  // Run inside a transfer, before it reaches the board (to pull the board out
  // mid-way); the second is told which transfer it is.
  std::function<void()> duringTransfer;
  std::function<void(uint32_t pipe, bool read)> beforeTransfer;

  std::vector<TransportCall> calls;
  std::vector<TransportCall> Frames() const;  // only "out" and "in"
  std::vector<std::string> Ops() const;
  int Count(const std::string& op) const;

 private:
  void Record(const char* op, uint32_t pipe = 0);
};

}  // namespace kps::test
