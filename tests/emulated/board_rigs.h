// The two ways the program reaches a board, set up the same way for tests
// that must hold for both: the simulated board as a transport, and the real
// libusb transport over the board emulated below libusb. Both have the same
// board model behind them.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "board/usb_ids.h"
#include "shell/app_context.h"
#include "support/emulated_board.h"
#include "support/fake_toolkit.h"
#include "support/recording_transport.h"
#include "usb/libusb_transport.h"

namespace kps::test {

class BoardRig {
 public:
  virtual ~BoardRig() = default;
  virtual Transport& transport() = 0;
  virtual sim::SimulatedBoard& model() = 0;
  virtual void Plug() = 0;
  virtual void Unplug() = 0;
  // The bulk transfers that reached the board: "out" and "in" calls.
  virtual std::vector<TransportCall> Wire() = 0;
  virtual void ClearWire() = 0;
  // Whether a time-out takes the time-out's time (the simulated board answers at once).
  virtual bool realTime() const = 0;
};

struct SimRig : BoardRig {
  explicit SimRig(bool plugged = true) : recording(plugged) {}
  Transport& transport() override { return recording; }
  sim::SimulatedBoard& model() override { return recording.board; }
  void Plug() override { recording.board.Plug(); }
  void Unplug() override { recording.board.Unplug(); }
  std::vector<TransportCall> Wire() override { return recording.Frames(); }
  void ClearWire() override { recording.calls.clear(); }
  bool realTime() const override { return false; }
  RecordingTransport recording;
};

struct UsbRig : BoardRig {
  explicit UsbRig(bool plugged = true)
      : board(bus, EmulatedBoardOptions{.sim = sim::SimOptions{.plugged = plugged}}) {}
  Transport& transport() override { return *libusb; }
  sim::SimulatedBoard& model() override { return board.model(); }
  void Plug() override { board.Plug(); }
  void Unplug() override { board.Unplug(); }
  std::vector<TransportCall> Wire() override { return board.Wire(); }
  void ClearWire() override { board.ClearWire(); }
  bool realTime() const override { return true; }
  // Ends the transport (and with it libusb's context); returns what libusb
  // found still referenced or open as it ended.
  std::vector<std::string> Finish() {
    libusb.reset();
    return bus.Leaks();
  }
  EmulatedUsbBus bus;
  EmulatedBoard board;
  std::unique_ptr<usb::LibusbTransport> libusb = std::make_unique<usb::LibusbTransport>();
};

// A program (its context, as main() builds it) over a rig, with the scripted toolkit.
struct RigProgram {
  explicit RigProgram(BoardRig& rig)
      : app(toolkit, rig.transport(),
            UsbMatch{.vendorId = kDefaultVendorId, .productId = kDefaultProductId}) {}
  FakeToolkit toolkit;
  AppContext app;

  // Lets the program handle events until `done`: the real transport hears of
  // arrivals and departures from libusb's own thread, a little later.
  bool EventsUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      app.board.DoEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }
};

// Skips the test when the emulated bus cannot exist in this process.
#define KPS_NEEDS_EMULATED_BUS(Rig)                                                            \
  if (std::is_same_v<Rig, ::kps::test::UsbRig> && !::kps::test::EmulatedUsbBus::Available()) { \
    GTEST_SKIP() << ::kps::test::EmulatedUsbBus::kUnavailable;                                 \
  }

}  // namespace kps::test
