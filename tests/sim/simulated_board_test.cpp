#include "sim/simulated_board.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace kps::sim {
namespace {

using Bytes = std::vector<uint8_t>;

struct Listener : TransportListener {
  bool DeviceAttach(DeviceHandle device) override {
    events.emplace_back(true, device);
    return true;
  }
  void DeviceDetach(DeviceHandle device) override { events.emplace_back(false, device); }
  std::vector<std::pair<bool, DeviceHandle>> events;  // true = attach
};

// A board with an open session and, when plugged in, its attach taken.
struct Rig {
  explicit Rig(SimOptions options = {}) : board(options) {
    board.Init(UsbMatch{0x1209, 0xA710}, &listener, &driver);
    board.Poll();
    if (!listener.events.empty()) device = listener.events.back().second;
  }
  uint32_t Out(uint32_t pipe, Bytes frame) {
    return status = board.Transfer(device, pipe, false, frame.data(),
                                   static_cast<uint32_t>(frame.size()), &transferred, 1000);
  }
  Bytes In(uint32_t pipe, uint32_t length, uint8_t fill = 0) {
    Bytes buffer(length, fill);
    status = board.Transfer(device, pipe, true, buffer.data(), length, &transferred, 1000);
    return buffer;
  }
  Bytes Ask(Bytes frame, uint32_t replyLength) {
    Out(2, std::move(frame));
    return In(130, replyLength);
  }
  Bytes Measure() { return Ask({0x03, 0x89, 0x08}, 5); }
  uint8_t Intr() { return board.chipRegister(0x02); }
  uint8_t WriteIntr(uint8_t value) { return Out(2, {0x00, 0x88, 0x02, value}), Intr(); }
  uint8_t MeasureIntr() { return Measure(), Intr(); }

  SimulatedBoard board;
  Listener listener;
  DriverHandle driver = 0;
  DeviceHandle device = 0;
  uint32_t transferred = 0, status = 0;
};

TEST(SimSessionTest, AttachOnlyAtPollWithAFreshHandleAfterEachPlug) {
  Rig rig(SimOptions{.plugged = false});
  rig.board.Plug();
  rig.board.Unplug();  // pulled before the program heard of it: never announced
  rig.board.Plug();
  EXPECT_TRUE(rig.listener.events.empty());
  rig.board.Poll();
  ASSERT_EQ(rig.listener.events.size(), 1u);
  const DeviceHandle first = rig.listener.events[0].second;
  rig.board.Unplug();
  EXPECT_EQ(rig.listener.events.size(), 1u);
  EXPECT_EQ(rig.board.SetInterface(first, 0, 0), kUsbNoDevice);
  rig.board.Plug();
  rig.board.Poll();
  ASSERT_EQ(rig.listener.events.size(), 3u);
  EXPECT_EQ(rig.listener.events[1], std::make_pair(false, first));
  const DeviceHandle second = rig.listener.events[2].second;
  EXPECT_NE(second, first);

  rig.board.Uninit(rig.driver);  // ends the handle; a new session announces the board again
  EXPECT_EQ(rig.board.SetInterface(second, 0, 0), kUsbNoDevice);
  rig.board.Init(UsbMatch{0x04B4, 0x00F1}, &rig.listener, &rig.driver);
  rig.board.Poll();
  ASSERT_EQ(rig.listener.events.size(), 4u);
  DeviceInfo info;  // it answers to whatever ids it is looked for by
  ASSERT_EQ(rig.board.GetDeviceInfo(rig.listener.events[3].second, &info), kUsbOk);
  EXPECT_EQ(info.vendorId, 0x04B4);

  // A session that chose another board never hears of this one, whether it is
  // plugged in at the start or later; a listing shows it all the same.
  for (const auto& [choice, announced] : {std::pair<std::string, bool>{"SIM0001", true},
                                          {"01-1", true},
                                          {"SIM0002", false},
                                          {"1-2", false}}) {
    SCOPED_TRACE(choice);
    rig.listener.events.clear();
    const UsbMatch match{.vendorId = 0x1209, .productId = 0xA710, .board = choice};
    rig.board.Init(match, &rig.listener, &rig.driver);
    rig.board.Poll();
    rig.board.Unplug();
    rig.board.Plug();
    rig.board.Poll();
    EXPECT_EQ(rig.listener.events.size(), announced ? 3u : 0u);
    std::vector<AttachedBoard> boards;
    ASSERT_EQ(rig.board.ListBoards(match, &boards), kUsbOk);
    ASSERT_EQ(boards.size(), 1u);
    EXPECT_EQ(boards[0].info.portPath + " " + boards[0].info.serial, "1-1 SIM0001");
  }
}

TEST(SimI2cTest, WriteReadBackAutoIncrementReadOnlyRegistersAndTheChipAddress) {
  Rig rig;
  EXPECT_EQ(rig.Ask({0x00, 0x88, 0x01, 0xA2}, 2), (Bytes{0x03, 0x00}));
  EXPECT_EQ(rig.Ask({0x01, 0x89, 0x01}, 6), (Bytes{0x01, 0xA2, 0, 0, 0, 0}));
  EXPECT_EQ(rig.transferred, 6u);
  rig.In(130, 6);  // one reply per frame
  EXPECT_EQ(rig.status, kUsbTimeout);

  // ID and data registers acknowledge writes but keep their values; writes
  // past 0x0F are acknowledged and land nowhere.
  EXPECT_EQ(rig.Ask({0x00, 0x88, 0x00, 0x55}, 1), (Bytes{0x03}));
  EXPECT_EQ(rig.Ask({0x00, 0x88, 0x08, 0x12, 0x34, 0x56}, 1), (Bytes{0x05}));
  EXPECT_EQ(rig.Ask({0x00, 0x88, 0x0D, 0x11, 0x22, 0x33, 0x44}, 1), (Bytes{0x06}));
  EXPECT_EQ(rig.board.chipRegister(0x09), 0x00);
  // One read across the whole file (it converts: the default scene's proximity 26 = 0x1A).
  EXPECT_EQ(rig.Ask({0x12, 0x89, 0x00}, 19),
            (Bytes{0x12, 0x71, 0xA2, 0x00, 0x00, 0xFF, 0x00, 0xF0, 0xFF, 0x1A, 0x00, 0x00, 0x00,
                   0x00, 0x11, 0x22, 0x33, 0x00, 0x00}));

  // Only the chip's address is acknowledged.
  EXPECT_EQ(rig.Ask({0x00, 0x8A, 0x01, 0x5C}, 4), (Bytes{0x00, 0, 0, 0}));
  EXPECT_EQ(rig.board.chipRegister(0x01), 0xA2);

  Rig other(SimOptions{.chipAddress = 0x8A});
  EXPECT_EQ(other.Ask({0x00, 0x8A, 0x01, 0xA2}, 2), (Bytes{0x03, 0}));
  EXPECT_EQ(other.Ask({0x01, 0x8B, 0x01}, 2), (Bytes{0x01, 0xA2}));
}

// The counts themselves are the chip's (sensor_chip_test.cpp); here, when a
// conversion runs and how its counts come back in the measurement read.
TEST(SimMeasurementTest, DataReadsConvertAndTheCountsComeBackInRegisters8To10) {
  Rig rig(SimOptions{.scene = {.lux = 100.0, .proximity = 64.0}});
  rig.Out(2, {0x00, 0x88, 0x01, 0x8C});                             // prox 220 mA, ALS, 125 lux
  EXPECT_EQ(rig.Measure(), (Bytes{0x03, 0x80, 0xCC, 0x0C, 0x00}));  // 128, 3276
  // Writing CONF or changing the scene does not convert; the next data read does.
  rig.board.setScene({.lux = 0.0, .proximity = 0.0});
  rig.Out(2, {0x00, 0x88, 0x01, 0x84});
  EXPECT_EQ(rig.board.chipRegister(0x09), 0xCC);
  EXPECT_EQ(rig.board.conversions(), 1u);
  EXPECT_EQ(rig.Ask({0x01, 0x89, 0x0A}, 2), (Bytes{0x01, 0x00}));  // 0x0A alone converts too
  rig.Ask({0x01, 0x89, 0x07}, 2);                                  // ATH3 alone does not
  EXPECT_EQ(rig.board.conversions(), 2u);

  // Losing power resets the chip, but the shape's place in its cycle survives.
  rig.board.Unplug();
  rig.board.Plug();
  EXPECT_EQ(rig.board.chipRegister(0x01), 0x00);
  EXPECT_EQ(rig.board.conversions(), 2u);
}

TEST(SimInterruptTest, FlagsFollowPersistenceAndThePinFollowsOrAnd) {
  Rig rig(SimOptions{.scene = {.lux = 1000.0, .proximity = 128.0}});  // 2048, 128
  rig.Out(2, {0x00, 0x88, 0x02, 0x20, 0x10, 0x40});  // persistence 4; proximity 0x10..0x40
  rig.Out(2, {0x00, 0x88, 0x05, 0x23, 0xC1, 0xAB});  // ALS/IR window 0x123..0xABC
  rig.Out(2, {0x00, 0x88, 0x01, 0x86});
  for (int i = 0; i < 3; ++i) rig.Measure();
  rig.board.setScene({.lux = 1000.0, .proximity = 26.0});  // back inside, the run starts over
  rig.Measure();
  rig.board.setScene({.lux = 1000.0, .proximity = 128.0});
  for (int i = 0; i < 3; ++i) rig.Measure();
  EXPECT_EQ(rig.Intr(), 0x20);
  EXPECT_EQ(rig.Out(1, {0x80, 0x00, 0x80, 0x00}), kUsbOk);  // PB7 an output driven high
  EXPECT_EQ(rig.In(129, 1), (Bytes{0xFF}));
  EXPECT_EQ(rig.MeasureIntr(), 0xA0);
  EXPECT_EQ(rig.In(129, 1), (Bytes{0x7F}));  // open drain: the chip pulls PB7 low anyway

  EXPECT_EQ(rig.WriteIntr(0xB0), 0xB0);  // a 1 keeps the flag, bit 4 is plain storage
  EXPECT_EQ(rig.WriteIntr(0x20), 0x20);
  EXPECT_FALSE(rig.board.interruptPinAsserted());
  EXPECT_EQ(rig.WriteIntr(0xA8), 0x20);  // a host cannot raise a flag
  EXPECT_EQ(rig.MeasureIntr(), 0xA0);    // still outside four times running: back at once

  rig.WriteIntr(0x81);  // "And", persistence 1
  EXPECT_EQ(rig.MeasureIntr(), 0x81);
  EXPECT_FALSE(rig.board.interruptPinAsserted());          // proximity flag alone
  rig.board.setScene({.lux = 100.0, .proximity = 128.0});  // 205 < L
  EXPECT_EQ(rig.MeasureIntr(), 0x89);
  EXPECT_TRUE(rig.board.interruptPinAsserted());
  rig.WriteIntr(0x00);                                     // "Or", flags cleared
  rig.board.setScene({.lux = 1500.0, .proximity = 26.0});  // 3071 > H, proximity inside
  EXPECT_EQ(rig.MeasureIntr(), 0x08);
  EXPECT_TRUE(rig.board.interruptPinAsserted());  // ALS/IR flag alone
}

TEST(SimGpioAndFaultTest, GpioFramesDriveTheLedsAndEachFaultTakesTheNextI2cFrameInTurn) {
  Rig rig;
  for (Fault fault : {Fault::Timeout, Fault::Nak, Fault::ShortReply}) rig.board.InjectFault(fault);
  EXPECT_EQ(rig.Out(1, {0x40, 0x01, 0x60, 0x00}), kUsbOk);  // GPIO frames take no fault
  // PB5 driven low, PB6 high, inputs pulled up; PC0 data bit, PC4..PC7 pulled up.
  EXPECT_EQ(rig.In(129, 4), (Bytes{0xDF, 0xF1, 0x60, 0x00}));
  EXPECT_TRUE(rig.board.ledLit(5) && rig.board.ledLit(0));
  EXPECT_FALSE(rig.board.ledLit(6) || rig.board.ledLit(1));
  rig.Out(1, {0x00, 0x00});  // too short: ignored
  EXPECT_EQ(rig.In(129, 2), (Bytes{0xDF, 0xF1}));

  EXPECT_EQ(rig.Out(2, {0x00, 0x88, 0x0B, 0x11}), kUsbOk);
  rig.In(130, 2);
  EXPECT_EQ(rig.status, kUsbTimeout);
  EXPECT_EQ(rig.Ask({0x00, 0x88, 0x0B, 0x22}, 2), (Bytes{0x00, 0x00}));
  EXPECT_EQ(rig.board.chipRegister(0x0B), 0x00);

  rig.Out(2, {0x00, 0x88, 0x0B, 0x33});  // runs, but only the status byte comes back
  EXPECT_EQ(rig.In(130, 6, 0xEE), (Bytes{0x03, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(rig.transferred, 1u);
  EXPECT_EQ(rig.Ask({0x01, 0x89, 0x0B}, 2), (Bytes{0x01, 0x33}));  // and the queue is empty

  // Faults at a chosen frame of either pipe: the first two GPIO exchanges go
  // through, then one times out, one is dropped (empty reply), one is cut short.
  rig.board.InjectFault(Fault::Timeout, 1, 2, FaultPipe::Gpio);
  rig.board.InjectFault(Fault::Nak, 1, 0, FaultPipe::Gpio);
  rig.board.InjectFault(Fault::ShortReply, 1, 0, FaultPipe::Gpio);
  rig.board.InjectFault(Fault::Nak, 1, 1);
  EXPECT_EQ(rig.board.pendingFaults(), 4);
  for (int i = 0; i < 2; ++i) rig.Out(1, {0x40, 0x01, 0x60, 0x00});
  rig.Out(1, {0x00, 0x00, 0x60, 0x00});
  rig.In(129, 4);
  EXPECT_EQ(rig.status, kUsbTimeout);
  rig.Out(1, {0x00, 0x00, 0x60, 0x00});
  EXPECT_EQ(rig.In(129, 4, 0xEE), (Bytes{0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(rig.transferred, 0u);
  EXPECT_TRUE(rig.board.ledLit(5));  // neither dropped frame reached the ports
  rig.Out(1, {0x00, 0x00, 0x60, 0x00});
  EXPECT_EQ(rig.In(129, 4, 0xEE), (Bytes{0x9F, 0xEE, 0xEE, 0xEE}));
  EXPECT_TRUE(rig.board.ledLit(6));
  EXPECT_EQ(rig.Ask({0x01, 0x89, 0x0B}, 2), (Bytes{0x01, 0x33}));  // the one I2C frame skipped
  EXPECT_EQ(rig.Ask({0x01, 0x89, 0x0B}, 2), (Bytes{0x00, 0x00}));
}

TEST(SimSessionTest, UnplugAndPlugAtAChosenPoll) {
  Rig rig;
  rig.board.UnplugAtPoll(2);
  rig.board.PlugAtPoll(4);
  rig.board.Poll();
  EXPECT_TRUE(rig.board.plugged());
  rig.board.Poll();  // pulled out, and the detach delivered by the same poll
  EXPECT_FALSE(rig.board.plugged());
  ASSERT_EQ(rig.listener.events.size(), 2u);
  EXPECT_FALSE(rig.listener.events[1].first);
  rig.board.Poll();
  rig.board.Poll();
  ASSERT_EQ(rig.listener.events.size(), 3u);
  EXPECT_TRUE(rig.listener.events[2].first);
}

}  // namespace
}  // namespace kps::sim
