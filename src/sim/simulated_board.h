// The simulated evaluation board: a Transport that behaves like the USB board
// with its firmware and the sensor chip on it, so the program runs with no
// hardware and every test can run end to end. docs/simulated-board.md says
// what a user sees.
//
// The firmware: I2C frames on pipe 2 with their replies on pipe 130, the GPIO
// exchange on pipes 1 and 129. The board's lines: the chip's interrupt output
// on PB7 (active low), LEDs on PB5 and PB6 (lit when driven low) and on PC0
// (red) and PC1 (green) (lit when their data bit is 1).
//
// Notifications reach the listener only from Poll(), never from inside another
// call. Transfers complete at once: the time-out argument is never waited out.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "board/transport.h"
#include "sim/sensor_chip.h"

namespace kps::sim {

struct SimOptions {
  uint8_t chipAddress = 0x88;      // 8-bit write form; the read form is this + 1
  bool plugged = true;             // whether the board is in the USB socket at the start
  Scene scene = {};                // what the sensor looks at
  uint32_t seed = 1;               // of the noise generator
  std::string serial = "SIM0001";  // the board's serial number string
  // 0, or why the board cannot be opened (taken for the program's use):
  // kUsbAccessDenied, as for a user no udev rule admits, or kUsbBusy, as while
  // another program holds it.
  uint32_t openRefusal = kUsbOk;
};

// Where the simulated board sits on its (one) bus.
inline constexpr const char* kSimPortPath = "1-1";

// Ways an exchange can go wrong on the board. On the GPIO pipes, where no
// chip answers, a NAK stands for a board that says nothing about its ports:
// the frame is dropped and the reply is empty.
enum class Fault {
  Timeout,     // the frame is taken but nothing happens and no reply comes
  Nak,         // the chip does not acknowledge: status 0, nothing written or read
  ShortReply,  // the transaction runs, but the reply is only its first byte
  Stall,       // the board stalls the frame's endpoint: the frame is refused (kUsbStall) and
               // reaches nothing; the host clears the halt, as both transports do at once
};

// Which frames a fault takes: I2C frames (pipe 2) or GPIO exchanges (pipe 1).
enum class FaultPipe { I2c, Gpio };

class SimulatedBoard : public kps::Transport {
 public:
  explicit SimulatedBoard(SimOptions options = {});

  uint32_t Init(const UsbMatch& match, TransportListener* listener, DriverHandle* driver) override;
  void Poll() override;
  uint32_t SetInterface(DeviceHandle device, uint32_t interfaceNumber,
                        uint32_t alternateSetting) override;
  uint32_t GetDeviceInfo(DeviceHandle device, DeviceInfo* info) override;
  // The board, when it is plugged in, whatever ids it is looked for by.
  uint32_t ListBoards(const UsbMatch& match, std::vector<AttachedBoard>* boards) override;
  uint32_t Transfer(DeviceHandle device, uint32_t pipe, bool read, uint8_t* buffer, uint32_t length,
                    uint32_t* transferred, uint32_t timeoutMs) override;
  uint32_t ResetPipe(DeviceHandle device, uint32_t pipe) override;
  uint32_t ResetDevice(DeviceHandle device) override;
  void Uninit(DriverHandle driver) override;
  std::string Description() const override { return "simulated evaluation board"; }

  // The board is plugged in: an attach is queued for the next Poll().
  void Plug();
  // The board is pulled out: a detach is queued for the next Poll(), transfers
  // on its handle fail with kUsbNoDevice from now on, and the board and the
  // chip lose power (they come back in their power-on state).
  void Unplug();
  bool plugged() const { return plugged_; }

  // After `skip` more frames on the pipe have gone through, the next `count`
  // fail that way. Faults queue up behind those already injected on that pipe.
  void InjectFault(Fault fault, int count = 1, int skip = 0, FaultPipe pipe = FaultPipe::I2c);
  // Injected faults still waiting for their frame, on both pipes.
  int pendingFaults() const;

  // From now on SetInterface fails with `status` (kUsbAccessDenied or
  // kUsbBusy), or (kUsbOk) no longer fails. A board the program was refused
  // stays refused until it is plugged in again, as a real one.
  void RefuseOpen(uint32_t status) { options_.openRefusal = status; }
  uint32_t openRefusal() const { return options_.openRefusal; }

  // Pulls the board out, or plugs it in, at the `polls`-th Poll() from now
  // (1 = the next one), before that poll delivers anything: a test can time a
  // replug to any of the program's event points.
  void UnplugAtPoll(int polls);
  void PlugAtPoll(int polls);

  const Scene& scene() const { return chip_.scene(); }
  void setScene(const Scene& scene) { chip_.setScene(scene); }
  // Conversion cycles the chip has run, which the scene's shape follows.
  uint64_t conversions() const { return chip_.conversions(); }

  // The chip's register as it stands (0 past 0x0F); reading it here runs no conversion.
  uint8_t chipRegister(uint8_t reg) const { return chip_.reg(reg); }
  // Port B as the board sees its pins: outputs read their driven data, inputs
  // are pulled up to 1, and PB7 is low while the chip asserts its interrupt.
  uint8_t portBPins() const;
  // Port C likewise; PC0 and PC1 always read their data bits, PC2 and PC3 (no
  // lines) read 0.
  uint8_t portCPins() const;
  bool interruptPinAsserted() const { return chip_.interruptAsserted(); }
  // line 5 = PB5, 6 = PB6: lit when an output driven low. line 0 = PC0 (red),
  // 1 = PC1 (green): lit when its port C data bit is 1. Any other line: false.
  bool ledLit(int line) const;

 private:
  struct Notification {
    bool attach;
    DeviceHandle device;  // for a detach: the handle that went away
  };
  // The longest reply: the status byte and 255 data bytes. Held in place, so
  // that a transfer allocates nothing.
  struct Reply {
    // Written out (not defaulted) so that std::optional<Reply> finds it
    // constructible while the board's class is still being defined.
    Reply() {}  // NOLINT(modernize-use-equals-default)
    Reply(std::initializer_list<uint8_t> first, bool pad) : size(first.size()), padded(pad) {
      std::copy(first.begin(), first.end(), bytes.begin());
    }
    std::span<const uint8_t> view() const { return {bytes.data(), size}; }
    std::array<uint8_t, 256> bytes{};
    std::size_t size = 0;
    bool padded = true;  // zeros up to the length asked for
  };

  struct Scheduled {
    int polls;  // left until it happens
    bool plug;
  };

  bool Live(DeviceHandle device) const { return device != 0 && device == live_; }
  // Whether the session's board choice takes this board: only then is its
  // arrival announced.
  bool Chosen() const;
  // The device information of the board under the handle, live or to come.
  DeviceInfo Info(DeviceHandle device) const;
  // The fault the next frame on the pipe takes, if any.
  static std::optional<Fault> NextFault(std::deque<std::optional<Fault>>& queue);
  void RunI2cFrame(const uint8_t* frame, uint32_t length, std::optional<Fault> fault);
  void TakeGpioFrame(const uint8_t* frame, uint32_t length, std::optional<Fault> fault);
  Reply GpioReply() const;
  static uint32_t Deliver(const Reply& reply, uint8_t* buffer, uint32_t length);

  SimOptions options_;
  SensorChip chip_;
  bool plugged_;

  // Driver session.
  TransportListener* listener_ = nullptr;
  DriverHandle driver_ = 0;  // 0 = no session
  DriverHandle nextDriver_ = 1;
  DeviceHandle live_ = 0;  // the handle of the attach the listener was given
  DeviceHandle nextDevice_ = 1;
  std::deque<Notification> pending_;
  UsbMatch match_;

  // Firmware.
  std::optional<Reply> i2cReply_;  // the reply of the last frame, until read
  // Per pipe, one entry a frame: the fault it takes, or none (a frame skipped).
  std::deque<std::optional<Fault>> i2cFaults_, gpioFaults_;
  std::optional<Fault> gpioFault_;  // of the last GPIO frame, for its reply
  std::vector<Scheduled> scheduled_;
  uint8_t portBData_ = 0, portCData_ = 0, portBEnable_ = 0, portCEnable_ = 0;
};

}  // namespace kps::sim
