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
    return board.Transfer(device, pipe, false, frame.data(), static_cast<uint32_t>(frame.size()),
                          &transferred, 1000);
  }
  Bytes In(uint32_t pipe, uint32_t length, uint32_t* status = nullptr) {
    Bytes buffer(length, 0);
    const uint32_t s =
        board.Transfer(device, pipe, true, buffer.data(), length, &transferred, 1000);
    if (status != nullptr) *status = s;
    return buffer;
  }
  Bytes Ask(Bytes frame, uint32_t replyLength) {
    Out(2, std::move(frame));
    return In(130, replyLength);
  }
  Bytes Measure() { return Ask({0x03, 0x89, 0x08}, 5); }
  uint8_t Intr() { return board.chipRegister(0x02); }

  SimulatedBoard board;
  Listener listener;
  DriverHandle driver = 0;
  DeviceHandle device = 0;
  uint32_t transferred = 0;
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
  EXPECT_EQ(rig.board.SetInterface(first, 0, 0), kUsbOk);
  EXPECT_EQ(rig.board.SetInterface(first, 1, 0), kUsbNotFound);

  rig.board.Unplug();
  EXPECT_EQ(rig.listener.events.size(), 1u);
  EXPECT_EQ(rig.board.SetInterface(first, 0, 0), kUsbNoDevice);
  rig.board.Plug();
  rig.board.Poll();
  ASSERT_EQ(rig.listener.events.size(), 3u);
  EXPECT_EQ(rig.listener.events[1], std::make_pair(false, first));
  const DeviceHandle second = rig.listener.events[2].second;
  EXPECT_NE(second, first);
  DeviceInfo info;
  EXPECT_EQ(rig.board.GetDeviceInfo(first, &info), kUsbNoDevice);
  ASSERT_EQ(rig.board.GetDeviceInfo(second, &info), kUsbOk);
  EXPECT_EQ(info.vendorId, 0x1209);  // answers to whatever ids it is looked for by

  rig.board.Uninit(rig.driver);  // ends the handle; a new session announces the board again
  EXPECT_EQ(rig.board.SetInterface(second, 0, 0), kUsbNoDevice);
  rig.board.Init(UsbMatch{}, &rig.listener, &rig.driver);
  rig.board.Poll();
  EXPECT_EQ(rig.listener.events.size(), 4u);
}

TEST(SimI2cTest, WriteReadBackAutoIncrementAndReadOnlyRegisters) {
  Rig rig;
  EXPECT_EQ(rig.Ask({0x00, 0x88, 0x01, 0xA2}, 2), (Bytes{0x03, 0x00}));
  EXPECT_EQ(rig.Ask({0x01, 0x89, 0x01}, 6), (Bytes{0x01, 0xA2, 0, 0, 0, 0}));
  EXPECT_EQ(rig.transferred, 6u);
  uint32_t status = 0;
  rig.In(130, 6, &status);  // one reply per frame
  EXPECT_EQ(status, kUsbTimeout);

  // ID and data registers acknowledge writes but keep their values; writes
  // past 0x0F are acknowledged and land nowhere.
  EXPECT_EQ(rig.Ask({0x00, 0x88, 0x00, 0x55}, 1), (Bytes{0x03}));
  EXPECT_EQ(rig.Ask({0x00, 0x88, 0x08, 0x12, 0x34, 0x56}, 1), (Bytes{0x05}));
  EXPECT_EQ(rig.Ask({0x02, 0x88, 0x11, 0x05}, 1), (Bytes{0x03}));
  EXPECT_EQ(rig.Ask({0x00, 0x88, 0x0D, 0x11, 0x22, 0x33, 0x44}, 1), (Bytes{0x06}));
  EXPECT_EQ(rig.board.chipRegister(0x09), 0x00);
  // One read across the whole file (it converts: PROX = 0.1 x 255 = 0x1A).
  EXPECT_EQ(rig.Ask({0x12, 0x89, 0x00}, 19),
            (Bytes{0x12, 0x71, 0xA2, 0x00, 0x00, 0xFF, 0x00, 0xF0, 0xFF, 0x1A, 0x00, 0x00, 0x00,
                   0x00, 0x11, 0x22, 0x33, 0x00, 0x00}));
}

TEST(SimI2cTest, OnlyTheChipAddressIsAcknowledged) {
  Rig rig;
  EXPECT_EQ(rig.Ask({0x00, 0x8A, 0x01, 0xA2}, 4), (Bytes{0x00, 0, 0, 0}));
  EXPECT_EQ(rig.Ask({0x01, 0x8B, 0x00}, 2), (Bytes{0x00, 0}));
  EXPECT_EQ(rig.board.chipRegister(0x01), 0x00);

  Rig other(SimOptions{.chipAddress = 0x8A});
  EXPECT_EQ(other.Ask({0x00, 0x88, 0x01, 0xA2}, 2), (Bytes{0x00, 0}));
  EXPECT_EQ(other.Ask({0x00, 0x8A, 0x01, 0xA2}, 2), (Bytes{0x03, 0}));
  EXPECT_EQ(other.Ask({0x01, 0x8B, 0x01}, 2), (Bytes{0x01, 0xA2}));
}

TEST(SimMeasurementTest, CountsFollowTheSceneAndConf) {
  Rig rig(SimOptions{.scene = {.lux = 100.0, .ir = 40.0, .proximity = 0.5}});
  EXPECT_EQ(rig.Measure(), (Bytes{0x03, 0x00, 0x00, 0x00, 0x00}));  // all off
  rig.Out(2, {0x00, 0x88, 0x01, 0x86});                             // prox, ALS, 2000 lux
  EXPECT_EQ(rig.Measure(), (Bytes{0x03, 0x80, 0xCD, 0x00, 0x00}));  // 128, 205
  rig.Out(2, {0x00, 0x88, 0x01, 0x07});                             // IR, 2000 lux
  EXPECT_EQ(rig.Measure(), (Bytes{0x03, 0x00, 0x52, 0x00, 0x00}));  // 82
  rig.board.setScene({.lux = 62.5, .proximity = 1.0});
  rig.Out(2, {0x00, 0x88, 0x01, 0x84});  // prox, ALS, 125 lux
  // Writing CONF or changing the scene does not convert; the next data read does.
  EXPECT_EQ(rig.board.chipRegister(0x09), 0x52);
  EXPECT_EQ(rig.Measure(), (Bytes{0x03, 0xFF, 0x00, 0x08, 0x00}));  // 255, 2048
  rig.board.setScene({.lux = 250.0, .proximity = 3.0});
  EXPECT_EQ(rig.Measure(), (Bytes{0x03, 0xFF, 0xFF, 0x0F, 0x00}));  // saturated: 4095
  rig.board.setScene({.lux = 0.0});
  EXPECT_EQ(rig.Ask({0x01, 0x89, 0x0A}, 2), (Bytes{0x01, 0x00}));  // 0x0A alone converts too
  EXPECT_EQ(rig.board.chipRegister(0x08), 0x1A);
}

TEST(SimInterruptTest, FlagsFollowPersistenceAndThePinFollowsOrAnd) {
  Rig rig(SimOptions{.scene = {.lux = 1000.0, .proximity = 0.5}});  // 2048, 128
  rig.Out(2, {0x00, 0x88, 0x02, 0x20, 0x10, 0x40});  // persistence 4; proximity 0x10..0x40
  rig.Out(2, {0x00, 0x88, 0x05, 0x23, 0xC1, 0xAB});  // ALS/IR window 0x123..0xABC
  rig.Out(2, {0x00, 0x88, 0x01, 0x86});
  for (int i = 0; i < 3; ++i) rig.Measure();
  rig.board.setScene({.lux = 1000.0, .proximity = 0.1});  // 26: back inside, the run starts over
  rig.Measure();
  rig.board.setScene({.lux = 1000.0, .proximity = 0.5});
  for (int i = 0; i < 3; ++i) rig.Measure();
  EXPECT_EQ(rig.Intr(), 0x20);
  EXPECT_EQ(rig.Out(1, {0x80, 0x00, 0x80, 0x00}), kUsbOk);  // PB7 an output driven high
  EXPECT_EQ(rig.In(129, 1), (Bytes{0xFF}));
  rig.Measure();
  EXPECT_EQ(rig.Ask({0x01, 0x89, 0x02}, 2), (Bytes{0x01, 0xA0}));
  EXPECT_EQ(rig.In(129, 1), (Bytes{0x7F}));  // open drain: the chip pulls PB7 low anyway

  rig.Out(2, {0x00, 0x88, 0x02, 0xB0});  // a 1 keeps the flag, bit 4 is plain storage
  EXPECT_EQ(rig.Intr(), 0xB0);
  rig.Out(2, {0x00, 0x88, 0x02, 0x20});
  EXPECT_EQ(rig.Intr(), 0x20);
  EXPECT_FALSE(rig.board.interruptPinAsserted());
  rig.Out(2, {0x00, 0x88, 0x02, 0xA8});  // a host cannot raise a flag
  EXPECT_EQ(rig.Intr(), 0x20);
  rig.Measure();  // still outside four times running: back at once
  EXPECT_EQ(rig.Intr(), 0xA0);

  rig.Out(2, {0x00, 0x88, 0x02, 0x81});  // "And", persistence 1
  rig.Measure();
  EXPECT_EQ(rig.Intr(), 0x81);
  EXPECT_FALSE(rig.board.interruptPinAsserted());        // proximity flag alone
  rig.board.setScene({.lux = 100.0, .proximity = 0.5});  // 205 < L
  rig.Measure();
  EXPECT_EQ(rig.Intr(), 0x89);
  EXPECT_TRUE(rig.board.interruptPinAsserted());
  rig.Out(2, {0x00, 0x88, 0x02, 0x00});                   // "Or", flags cleared
  rig.board.setScene({.lux = 1500.0, .proximity = 0.1});  // 3071 > H, proximity inside
  rig.Measure();
  EXPECT_EQ(rig.Intr(), 0x08);
  EXPECT_TRUE(rig.board.interruptPinAsserted());  // ALS/IR flag alone
}

TEST(SimGpioTest, ReplyShowsPinsAndEnablesAndDrivesTheLeds) {
  Rig rig;
  EXPECT_EQ(rig.Out(1, {0x40, 0x01, 0x60, 0x00}), kUsbOk);
  Bytes expected(25, 0);
  expected[0] = 0xDF;  // PB5 driven low, PB6 high, inputs pulled up
  expected[1] = 0xF1;  // PC0 data bit, PC4..PC7 pulled up
  expected[2] = 0x60;
  EXPECT_EQ(rig.In(129, 25), expected);
  EXPECT_TRUE(rig.board.ledLit(5) && rig.board.ledLit(0));
  EXPECT_FALSE(rig.board.ledLit(6) || rig.board.ledLit(1));
  rig.Out(1, {0x00, 0x00});  // too short: ignored
  EXPECT_EQ(rig.In(129, 2), (Bytes{0xDF, 0xF1}));
}

TEST(SimFaultTest, EachFaultTakesTheNextI2cFrameInTurn) {
  Rig rig;
  rig.board.InjectFault(Fault::Timeout);
  rig.board.InjectFault(Fault::Nak);
  rig.board.InjectFault(Fault::ShortReply);
  rig.Out(1, {0x00, 0x00, 0x00, 0x00});  // GPIO frames take no fault
  EXPECT_EQ(rig.Out(2, {0x00, 0x88, 0x0B, 0x11}), kUsbOk);
  uint32_t status = 0;
  rig.In(130, 2, &status);
  EXPECT_EQ(status, kUsbTimeout);
  EXPECT_EQ(rig.Ask({0x00, 0x88, 0x0B, 0x22}, 2), (Bytes{0x00, 0x00}));
  EXPECT_EQ(rig.board.chipRegister(0x0B), 0x00);

  rig.Out(2, {0x00, 0x88, 0x0B, 0x33});  // runs, but only the status byte comes back
  Bytes buffer(6, 0xEE);
  ASSERT_EQ(rig.board.Transfer(rig.device, 130, true, buffer.data(), 6, &rig.transferred, 1000),
            kUsbOk);
  EXPECT_EQ(rig.transferred, 1u);
  EXPECT_EQ(buffer, (Bytes{0x03, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(rig.Ask({0x01, 0x89, 0x0B}, 2), (Bytes{0x01, 0x33}));  // and the queue is empty
}

}  // namespace
}  // namespace kps::sim
