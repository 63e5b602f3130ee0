// The evaluation board emulated below libusb: a device in a umockdev test bed
// (sysfs attributes, descriptors, a /dev/bus/usb node) whose usbfs ioctls are
// answered in this process. The real libusb of the system enumerates it, opens
// it, claims its interface and moves bulk transfers to and from it, and its
// hot-plug support hears it arrive and leave through the test bed's uevents.
//
// Behind the endpoints sits the simulated board's own firmware and chip
// (sim::SimulatedBoard, driven as a transport): every OUT frame on endpoint
// 0x01 or 0x02 goes to it, and every IN transfer on 0x81 or 0x82 is answered
// with its reply, so there is one board model for both ways of running the
// program. The model's faults become USB faults: a time-out leaves the IN
// transfer pending until libusb gives up and discards it, a stall completes
// the transfer with -EPIPE and halts the endpoint until the host clears it.
//
// Needs the process to run under umockdev-wrapper (the LD_PRELOAD that puts
// the test bed in place of /sys and /dev); Available() says whether it does.
// The ioctls are answered on umockdev's own thread while the thread that
// called libusb waits for the answer.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/simulated_board.h"
#include "support/recording_transport.h"

typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace kps::test {

class EmulatedUsbBus;

struct EmulatedBoardOptions {
  uint16_t vendorId = 0x1209;
  uint16_t productId = 0xA710;
  std::string manufacturer = "Emulated hardware";
  std::string product = "KPS7110 evaluation board (emulated)";
  std::string serial = "EMU-0001";
  int port = 1;  // the hub port: one per board on the bus
  sim::SimOptions sim = {};
};

class EmulatedBoard {
 public:
  // A transfer the board does not answer (a time-out fault) is failed after
  // this long if the host has not given up on it by then.
  static constexpr std::chrono::seconds kNeverAnswered{5};

  // Plugged in at once unless options.sim.plugged is false.
  EmulatedBoard(EmulatedUsbBus& bus, EmulatedBoardOptions options = {});
  ~EmulatedBoard();
  EmulatedBoard(const EmulatedBoard&) = delete;
  EmulatedBoard& operator=(const EmulatedBoard&) = delete;

  // A new device node (the next address on the bus) and an "add" uevent.
  void Plug();
  // The board is gone: every ioctl on its node fails with ENODEV, transfers in
  // flight end with -ESHUTDOWN, the test bed announces the removal, and the
  // model loses power.
  void Unplug();
  // The next IN transfer (a reply being waited for) is cut off: it ends with
  // -ESHUTDOWN and the board is gone from then on, as when the cable is pulled
  // mid-transfer. The removal uevent follows at the next Unplug().
  void GoneDuringNextReply();
  // Opening the node fails with EACCES, as for a user no udev rule admits.
  void DenyAccess(bool denied);
  // Claiming its interface fails with EBUSY, as when another program holds it.
  void HeldElsewhere(bool held);

  bool plugged() const;
  std::string devnode() const;

  // The board's firmware and chip: faults, registers, ports. Only touched
  // while no libusb call is under way (the ioctls answer on another thread).
  sim::SimulatedBoard& model() { return model_; }

  // The bulk transfers that reached the board, in order: "out" with the bytes
  // sent, "in" with the length asked for and the bytes returned (none when
  // the transfer was not answered).
  std::vector<TransportCall> Wire() const;
  void ClearWire();
  // How the host treated the board.
  struct Counts {
    int claims = 0, clearHalts = 0, resets = 0, discards = 0;
    int unclaimedUse = 0;  // requests on interface 0 before it was claimed
    int abandoned = 0;     // transfers left unanswered for kNeverAnswered
  };
  Counts counts() const;

  // umockdev's "handle-ioctl" signal, on umockdev's thread.
  bool HandleIoctlFromUmockdev(void* client);

 private:
  struct Urb;
  struct Listener;

  bool Submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  void AnswerControl(Urb& urb, uint8_t* bytes, uint32_t length);
  bool Reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg, bool current);
  bool Discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  static void Answer(Urb& urb, int status, int actualLength);
  void FailFlying(int status);
  std::string SysPath() const;
  std::string Record() const;

  EmulatedUsbBus& bus_;
  EmulatedBoardOptions options_;
  sim::SimulatedBoard model_;
  std::unique_ptr<Listener> listener_;
  void* handler_ = nullptr;  // UMockdevIoctlBase
  std::vector<std::string> attachedNodes_;
  mutable std::mutex mutex_;  // what the handler and the test both touch
  bool plugged_ = false;
  bool gone_ = false;
  bool goneAtNextReply_ = false;
  bool denied_ = false;
  bool heldElsewhere_ = false;
  bool claimed_ = false;
  int address_ = 0;
  std::vector<std::unique_ptr<Urb>> urbs_;
  std::vector<uint8_t> halted_;  // endpoints stalled until the host clears them
  std::vector<TransportCall> wire_;
  Counts counts_;
};

// The test bed: the emulated sysfs and /dev, and libusb's log.
class EmulatedUsbBus {
 public:
  // Whether this process runs under umockdev-wrapper; a test that needs the
  // bus skips with the reason when it does not.
  static bool Available();
  static constexpr const char* kUnavailable =
      "the emulated USB bus needs umockdev: run the test under umockdev-wrapper";

  EmulatedUsbBus();
  ~EmulatedUsbBus();
  EmulatedUsbBus(const EmulatedUsbBus&) = delete;
  EmulatedUsbBus& operator=(const EmulatedUsbBus&) = delete;

  // libusb's warnings and errors since the bus was made, one line each (the
  // level is raised to warnings for every context made while the bus exists).
  std::vector<std::string> LibusbLog() const;
  // The warnings libusb_exit gives for device references or handles the
  // program never gave back.
  std::vector<std::string> Leaks() const;

  void* testbed() { return testbed_; }
  int NextAddress() { return ++lastAddress_; }
  // Which node an open() may not open (EACCES); empty = all may be opened.
  static bool AccessDenied(const char* path);
  void Deny(const std::string& node, bool denied);

 private:
  void* testbed_ = nullptr;  // UMockdevTestbed
  std::vector<std::string> log_;
  int lastAddress_ = 1;  // 1 is the root hub's
};

}  // namespace kps::test
