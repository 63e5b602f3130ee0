#include "sim/simulated_board.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

namespace kps::sim {
namespace {

using Bytes = std::vector<uint8_t>;

struct Listener : TransportListener {
  bool DeviceAttach(DeviceHandle device) override {
    if (onAttach) onAttach(device);
    events.emplace_back(true, device);
    return true;
  }
  void DeviceDetach(DeviceHandle device) override { events.emplace_back(false, device); }
  std::vector<std::pair<bool, DeviceHandle>> events;  // true = attach
  std::function<void(DeviceHandle)> onAttach;
};

// A board with an open session and its attach taken.
struct Rig {
  explicit Rig(SimOptions options = {}) : board(options) {
    match.vendorId = 0x1209;
    match.productId = 0xA710;
    board.Init(match, &listener, &driver);
    board.Poll();
    if (!listener.events.empty()) device = listener.events.back().second;
  }
  uint32_t Out(uint32_t pipe, const Bytes& frame) {
    Bytes copy = frame;
    return board.Transfer(device, pipe, false, copy.data(), static_cast<uint32_t>(copy.size()),
                          &transferred, 1000);
  }
  // The reply to an IN of `length` bytes; `status` gets the transfer status.
  Bytes In(uint32_t pipe, uint32_t length, uint32_t* status = nullptr) {
    Bytes buffer(length, 0);
    const uint32_t s =
        board.Transfer(device, pipe, true, buffer.data(), length, &transferred, 1000);
    if (status != nullptr) *status = s;
    return buffer;
  }
  Bytes Ask(const Bytes& frame, uint32_t replyLength) {
    Out(2, frame);
    return In(130, replyLength);
  }
  // A measurement read, as the console makes it.
  Bytes Measure() { return Ask({0x03, 0x89, 0x08}, 5); }

  SimulatedBoard board;
  Listener listener;
  UsbMatch match;
  DriverHandle driver = 0;
  DeviceHandle device = 0;
  uint32_t transferred = 0;
};

TEST(SimSessionTest, AttachIsDeliveredOnlyByPollWithAFreshHandleEachTime) {
  SimulatedBoard board;
  Listener listener;
  DriverHandle driver = 0;
  UsbMatch match{0x1234, 0x5678};
  ASSERT_EQ(board.Init(match, &listener, &driver), kUsbOk);
  EXPECT_GE(driver, 1);
  EXPECT_TRUE(listener.events.empty());
  board.Poll();
  ASSERT_EQ(listener.events.size(), 1u);
  const DeviceHandle first = listener.events[0].second;
  EXPECT_TRUE(listener.events[0].first);
  EXPECT_GE(first, 1u);
  EXPECT_EQ(board.SetInterface(first, 0, 0), kUsbOk);
  EXPECT_EQ(board.SetInterface(first, 1, 0), kUsbNotFound);
  EXPECT_EQ(board.SetInterface(first, 0, 1), kUsbNotFound);
  DeviceInfo info;
  ASSERT_EQ(board.GetDeviceInfo(first, &info), kUsbOk);
  EXPECT_EQ(info.vendorId, 0x1234);
  EXPECT_EQ(info.productId, 0x5678);
  EXPECT_FALSE(info.product.empty());
  EXPECT_EQ(board.Description(), "simulated evaluation board");

  board.Unplug();
  EXPECT_EQ(listener.events.size(), 1u);  // not from inside Unplug
  EXPECT_EQ(board.SetInterface(first, 0, 0), kUsbNoDevice);
  board.Poll();
  ASSERT_EQ(listener.events.size(), 2u);
  EXPECT_EQ(listener.events[1], std::make_pair(false, first));
  board.Plug();
  board.Poll();
  ASSERT_EQ(listener.events.size(), 3u);
  EXPECT_TRUE(listener.events[2].first);
  EXPECT_NE(listener.events[2].second, first);
  EXPECT_EQ(board.GetDeviceInfo(first, &info), kUsbNoDevice);
  EXPECT_EQ(board.GetDeviceInfo(listener.events[2].second, &info), kUsbOk);
}

TEST(SimSessionTest, UninitEndsHandlesAndNotificationsAndInitEnumeratesAgain) {
  Rig rig;
  rig.board.Uninit(rig.driver);
  uint32_t status = 0;
  rig.In(129, 25, &status);
  EXPECT_EQ(status, kUsbNoDevice);
  rig.board.Poll();
  EXPECT_EQ(rig.listener.events.size(), 1u);

  DriverHandle again = 0;
  rig.board.Init(rig.match, &rig.listener, &again);
  rig.board.Uninit(again);  // before the attach was delivered: it never is
  rig.board.Poll();
  EXPECT_EQ(rig.listener.events.size(), 1u);

  rig.board.Init(rig.match, &rig.listener, &again);
  rig.board.Poll();
  ASSERT_EQ(rig.listener.events.size(), 2u);
  EXPECT_NE(rig.listener.events[1].second, rig.device);
}

TEST(SimSessionTest, ABoardPulledBeforeItsAttachWasDeliveredIsNeverAnnounced) {
  Rig rig(SimOptions{.plugged = false});
  EXPECT_TRUE(rig.listener.events.empty());
  rig.board.Plug();
  rig.board.Unplug();
  rig.board.Poll();
  EXPECT_TRUE(rig.listener.events.empty());
  rig.board.Plug();
  // The program selects the interface from inside the attach notification.
  uint32_t setInterface = 99;
  rig.listener.onAttach = [&](DeviceHandle d) { setInterface = rig.board.SetInterface(d, 0, 0); };
  rig.board.Poll();
  EXPECT_EQ(setInterface, kUsbOk);
}

TEST(SimI2cTest, WriteThenReadBackWithStatusBytes) {
  Rig rig;
  EXPECT_EQ(rig.Out(2, {0x00, 0x88, 0x01, 0xA2}), kUsbOk);
  EXPECT_EQ(rig.transferred, 4u);
  EXPECT_EQ(rig.In(130, 2), (Bytes{0x03, 0x00}));
  EXPECT_EQ(rig.Ask({0x02, 0x88, 0x0E, 0x05}, 5), (Bytes{0x03, 0, 0, 0, 0}));
  EXPECT_EQ(rig.Ask({0x01, 0x89, 0x01}, 6), (Bytes{0x01, 0xA2, 0, 0, 0, 0}));
  EXPECT_EQ(rig.transferred, 6u);
  EXPECT_EQ(rig.board.chipRegister(0x0E), 0x05);
  // One reply per frame, and a new frame replaces one nobody read.
  uint32_t status = 0;
  rig.In(130, 6, &status);
  EXPECT_EQ(status, kUsbTimeout);
  EXPECT_EQ(rig.transferred, 0u);
  rig.Out(2, {0x00, 0x88, 0x0B, 0x77});
  EXPECT_EQ(rig.Ask({0x01, 0x89, 0x0B}, 2), (Bytes{0x01, 0x77}));
}

TEST(SimI2cTest, PowerOnImageAndAutoIncrementAcrossTheRegisterFile) {
  Rig rig;
  EXPECT_EQ(rig.Ask({0x10, 0x89, 0x00}, 17),
            (Bytes{0x10, 0x71, 0x00, 0x00, 0x00, 0xFF, 0x00, 0xF0, 0xFF, 0x00, 0x00, 0x00, 0x00,
                   0x00, 0x00, 0x00, 0x00}));
  // Five data bytes from 0x0B, then one past the end, which is ignored.
  EXPECT_EQ(rig.Ask({0x06, 0x88, 0x0B, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}, 3),
            (Bytes{0x08, 0, 0}));
  EXPECT_EQ(rig.Ask({0x04, 0x89, 0x0D}, 7), (Bytes{0x04, 0x33, 0x44, 0x55, 0x00, 0, 0}));
  EXPECT_EQ(rig.board.chipRegister(0x10), 0x00);
  // A reply shorter than asked for is cut; a frame with no register byte reads
  // on from where the last read left the pointer.
  EXPECT_EQ(rig.Ask({0x03, 0x89, 0x0B}, 2), (Bytes{0x03, 0x11}));
  EXPECT_EQ(rig.Ask({0x01, 0x89, 0x0C}, 2), (Bytes{0x01, 0x22}));
  EXPECT_EQ(rig.Ask({0x02, 0x89}, 3), (Bytes{0x02, 0x33, 0x44}));
  // No address byte: nothing on the bus.
  EXPECT_EQ(rig.Ask({0x01}, 3), (Bytes{0x00, 0, 0}));
}

TEST(SimI2cTest, IdentityAndDataRegistersAreReadOnlyButAcknowledged) {
  Rig rig;
  EXPECT_EQ(rig.Ask({0x04, 0x88, 0x00, 0x55}, 1), (Bytes{0x03}));
  EXPECT_EQ(rig.Ask({0x04, 0x88, 0x08, 0x12, 0x34, 0x56}, 1), (Bytes{0x05}));
  EXPECT_EQ(rig.board.chipRegister(0x00), 0x71);
  EXPECT_EQ(rig.board.chipRegister(0x08), 0x00);
  EXPECT_EQ(rig.board.chipRegister(0x09), 0x00);
  EXPECT_EQ(rig.board.chipRegister(0x0A), 0x00);
}

TEST(SimI2cTest, OnlyTheChipAddressIsAcknowledged) {
  Rig rig;
  EXPECT_EQ(rig.Ask({0x00, 0x8A, 0x01, 0xA2}, 4), (Bytes{0x00, 0, 0, 0}));
  EXPECT_EQ(rig.Ask({0x01, 0x8B, 0x00}, 4), (Bytes{0x00, 0, 0, 0}));
  EXPECT_EQ(rig.board.chipRegister(0x01), 0x00);

  Rig other(SimOptions{.chipAddress = 0x8A});
  EXPECT_EQ(other.Ask({0x00, 0x88, 0x01, 0xA2}, 2), (Bytes{0x00, 0}));
  EXPECT_EQ(other.Ask({0x00, 0x8A, 0x01, 0xA2}, 2), (Bytes{0x03, 0}));
  EXPECT_EQ(other.Ask({0x01, 0x8B, 0x00}, 3), (Bytes{0x01, 0x71, 0}));
}

TEST(SimI2cTest, TransfersStayInsideTheBufferAndKnownPipes) {
  Rig rig;
  rig.Out(2, {0x03, 0x89, 0x00});
  Bytes buffer(6, 0xEE);
  ASSERT_EQ(rig.board.Transfer(rig.device, 130, true, buffer.data(), 2, &rig.transferred, 1000),
            kUsbOk);
  EXPECT_EQ(buffer, (Bytes{0x03, 0x71, 0xEE, 0xEE, 0xEE, 0xEE}));
  uint32_t status = 0;
  rig.In(2, 4, &status);
  EXPECT_EQ(status, kUsbNotFound);
  EXPECT_EQ(rig.Out(3, {0x00}), kUsbNotFound);
  EXPECT_EQ(rig.board.ResetPipe(rig.device, 3), kUsbOk);
  EXPECT_EQ(rig.board.ResetDevice(rig.device), kUsbOk);
  EXPECT_EQ(rig.board.ResetPipe(rig.device + 1, 1), kUsbNoDevice);
}

TEST(SimMeasurementTest, CountsFollowTheSceneAndConf) {
  Rig rig(SimOptions{.scene = {.lux = 100.0, .ir = 40.0, .proximity = 0.5}});
  EXPECT_EQ(rig.Measure(), (Bytes{0x03, 0x00, 0x00, 0x00, 0x00}));  // all off
  rig.Out(2, {0x00, 0x88, 0x01, 0x86});                             // prox, ALS, 2000 lux
  EXPECT_EQ(rig.Measure(), (Bytes{0x03, 0x80, 0xCD, 0x00, 0x00}));  // 128, 205
  rig.Out(2, {0x00, 0x88, 0x01, 0x07});                             // IR, 2000 lux
  EXPECT_EQ(rig.Measure(), (Bytes{0x03, 0x00, 0x52, 0x00, 0x00}));  // 82
  rig.board.setScene({.lux = 62.5, .proximity = 1.0});
  rig.Out(2, {0x00, 0x88, 0x01, 0x84});                             // prox, ALS, 125 lux
  EXPECT_EQ(rig.Measure(), (Bytes{0x03, 0xFF, 0x00, 0x08, 0x00}));  // 255, 2048
  rig.board.setScene({.lux = 250.0, .proximity = 3.0});
  EXPECT_EQ(rig.Measure(), (Bytes{0x03, 0xFF, 0xFF, 0x0F, 0x00}));  // saturated
  rig.Out(2, {0x00, 0x88, 0x01, 0x86});
  rig.board.setScene({.lux = 9000.0});
  EXPECT_EQ(rig.Measure(), (Bytes{0x03, 0x1A, 0xFF, 0x0F, 0x00}));
}

TEST(SimMeasurementTest, OnlyReadsThatTakeInTheDataRegistersConvert) {
  Rig rig(SimOptions{.scene = {.lux = 100.0, .proximity = 0.1}});  // 205, 26
  rig.Out(2, {0x00, 0x88, 0x01, 0x86});
  EXPECT_EQ(rig.Ask({0x07, 0x89, 0x01}, 8), (Bytes{0x07, 0x86, 0, 0, 0xFF, 0, 0xF0, 0xFF}));
  EXPECT_EQ(rig.board.chipRegister(0x09), 0x00);
  EXPECT_EQ(rig.Ask({0x01, 0x89, 0x0A}, 2), (Bytes{0x01, 0x00}));  // 0x0A alone converts too
  EXPECT_EQ(rig.board.chipRegister(0x09), 0xCD);
  rig.board.setScene({.lux = 0.0, .proximity = 0.5});
  EXPECT_EQ(rig.board.chipRegister(0x08), 0x1A);  // until the next conversion
  EXPECT_EQ(rig.Ask({0x02, 0x89, 0x07}, 3), (Bytes{0x02, 0xFF, 0x80}));
  EXPECT_EQ(rig.board.chipRegister(0x09), 0x00);
}

TEST(SimMeasurementTest, NoiseIsBoundedAndRepeatsForTheSameSeed) {
  const Scene scene{.lux = 1000.0, .proximity = 0.5, .noise = 20.0};
  auto run = [&](uint32_t seed) {
    Rig rig(SimOptions{.scene = scene, .seed = seed});
    rig.Out(2, {0x00, 0x88, 0x01, 0x86});
    std::vector<int> counts;
    for (int i = 0; i < 20; ++i) {
      const Bytes r = rig.Measure();
      counts.push_back(r[1]);
      counts.push_back(r[2] + 256 * r[3]);
    }
    return counts;
  };
  const auto a = run(7);
  EXPECT_EQ(a, run(7));
  EXPECT_NE(a, run(8));
  bool varied = false;
  for (std::size_t i = 0; i < a.size(); i += 2) {
    EXPECT_NEAR(a[i], 128, 20);
    EXPECT_NEAR(a[i + 1], 2048, 20);
    varied = varied || a[i] != 128 || a[i + 1] != 2048;
  }
  EXPECT_TRUE(varied);
}

TEST(SimInterruptTest, ProximityFlagNeedsPersistenceAndIsClearedByAZero) {
  Rig rig(SimOptions{.scene = {.proximity = 0.5}});  // 128
  rig.Out(2, {0x00, 0x88, 0x03, 0x10});
  rig.Out(2, {0x00, 0x88, 0x04, 0x40});
  rig.Out(2, {0x00, 0x88, 0x02, 0x20});  // persistence 4
  rig.Out(2, {0x00, 0x88, 0x01, 0x80});
  for (int i = 0; i < 3; ++i) rig.Measure();
  rig.board.setScene({.proximity = 0.1});  // 26: back inside, the run starts over
  rig.Measure();
  rig.board.setScene({.proximity = 0.5});
  for (int i = 0; i < 3; ++i) rig.Measure();
  EXPECT_EQ(rig.board.chipRegister(0x02), 0x20);
  EXPECT_FALSE(rig.board.interruptPinAsserted());
  rig.Measure();
  EXPECT_EQ(rig.Ask({0x01, 0x89, 0x02}, 2), (Bytes{0x01, 0xA0}));
  EXPECT_TRUE(rig.board.interruptPinAsserted());
  EXPECT_EQ(rig.In(129, 25)[0], 0x7F);
  rig.Out(1, {0x80, 0x00, 0x80, 0x00});  // open drain: the chip wins over a port driving high
  EXPECT_EQ(rig.board.portBPins(), 0x7F);

  rig.Out(2, {0x00, 0x88, 0x02, 0xB0});  // a 1 keeps the flag, bit 4 is plain storage
  EXPECT_EQ(rig.board.chipRegister(0x02), 0xB0);
  rig.Out(2, {0x00, 0x88, 0x02, 0x20});
  EXPECT_EQ(rig.board.chipRegister(0x02), 0x20);
  EXPECT_FALSE(rig.board.interruptPinAsserted());
  rig.Out(2, {0x00, 0x88, 0x02, 0xA8});  // a host cannot raise a flag
  EXPECT_EQ(rig.board.chipRegister(0x02), 0x20);
  rig.Measure();  // still outside four times running: back at once
  EXPECT_EQ(rig.board.chipRegister(0x02), 0xA0);
}

TEST(SimInterruptTest, AlsWindowUsesThePackedTwelveBitThresholdsAndPinLogic) {
  // L = 0x123 (291), H = 0xABC (2748), persistence 1 on both channels.
  Rig rig(SimOptions{.scene = {.lux = 1000.0, .proximity = 0.0}});  // 2048
  rig.Out(2, {0x00, 0x88, 0x05, 0x23, 0xC1, 0xAB});
  rig.Out(2, {0x00, 0x88, 0x01, 0x86});
  rig.Measure();
  EXPECT_EQ(rig.board.chipRegister(0x02), 0x00);
  rig.board.setScene({.lux = 1500.0, .proximity = 0.0});  // 3071 > H
  rig.Measure();
  EXPECT_EQ(rig.board.chipRegister(0x02), 0x08);
  EXPECT_TRUE(rig.board.interruptPinAsserted());
  rig.Out(2, {0x00, 0x88, 0x02, 0x09});  // "And": the proximity flag is missing
  EXPECT_FALSE(rig.board.interruptPinAsserted());
  rig.Out(2, {0x00, 0x88, 0x03, 0x05});                  // proximity 0 is now below its window
  rig.board.setScene({.lux = 100.0, .proximity = 0.0});  // 205 < L
  rig.Measure();
  EXPECT_EQ(rig.board.chipRegister(0x02), 0x89);
  EXPECT_TRUE(rig.board.interruptPinAsserted());
}

TEST(SimInterruptTest, ASwitchedOffChannelRaisesNothingAndLosesItsRun) {
  Rig rig(SimOptions{.scene = {.proximity = 0.0}});
  rig.Out(2, {0x00, 0x88, 0x02, 0x20, 0x05});  // persistence 4; proximity low 5
  rig.Out(2, {0x00, 0x88, 0x05, 0x00, 0xF1});  // ALS/IR low 256
  for (int i = 0; i < 20; ++i) rig.Measure();
  EXPECT_EQ(rig.board.chipRegister(0x02), 0x20);
  for (uint8_t conf : {0x80, 0x80, 0x80, 0x00, 0x80, 0x80, 0x80}) {
    rig.Out(2, {0x00, 0x88, 0x01, conf});
    rig.Measure();
  }
  EXPECT_EQ(rig.board.chipRegister(0x02), 0x20);
  rig.Measure();
  EXPECT_EQ(rig.board.chipRegister(0x02), 0xA0);
}

TEST(SimGpioTest, ReplyShowsPinsAndEnablesAndDrivesTheLeds) {
  Rig rig;
  EXPECT_EQ(rig.In(129, 6), (Bytes{0xFF, 0xF0, 0x00, 0x00, 0, 0}));  // no OUT yet
  EXPECT_EQ(rig.Out(1, {0x40, 0x01, 0x60, 0x00}), kUsbOk);
  Bytes expected(25, 0);
  expected[0] = 0xDF;  // PB5 driven low, PB6 high, inputs pulled up
  expected[1] = 0xF1;  // red LED line high
  expected[2] = 0x60;
  EXPECT_EQ(rig.In(129, 25), expected);
  EXPECT_TRUE(rig.board.ledLit(5));
  EXPECT_FALSE(rig.board.ledLit(6));
  EXPECT_TRUE(rig.board.ledLit(0));
  EXPECT_FALSE(rig.board.ledLit(1));
  EXPECT_FALSE(rig.board.ledLit(7));
  rig.Out(1, {0x00, 0x00});  // too short: the ports keep their state
  EXPECT_EQ(rig.board.portBPins(), 0xDF);
  rig.Out(1, {0xF0, 0x00, 0x80, 0x30});  // PB7 an output driven high; PC4, PC5 driven low
  EXPECT_EQ(rig.board.portBPins(), 0xFF);
  EXPECT_EQ(rig.board.portCPins(), 0xC0);
}

TEST(SimFaultTest, EachFaultTakesOneFrameInTurn) {
  Rig rig;
  rig.board.InjectFault(Fault::Timeout);
  rig.board.InjectFault(Fault::Nak, 2);
  rig.board.InjectFault(Fault::ShortReply);
  rig.Out(1, {0x00, 0x00, 0x00, 0x00});  // GPIO frames take no fault
  EXPECT_EQ(rig.Out(2, {0x00, 0x88, 0x0B, 0x11}), kUsbOk);
  uint32_t status = 0;
  rig.In(130, 2, &status);
  EXPECT_EQ(status, kUsbTimeout);
  EXPECT_EQ(rig.Ask({0x00, 0x88, 0x0B, 0x22}, 2), (Bytes{0x00, 0x00}));
  EXPECT_EQ(rig.Ask({0x01, 0x89, 0x00}, 2), (Bytes{0x00, 0x00}));
  EXPECT_EQ(rig.board.chipRegister(0x0B), 0x00);

  rig.Out(2, {0x00, 0x88, 0x0B, 0x33});
  Bytes buffer(6, 0xEE);
  ASSERT_EQ(rig.board.Transfer(rig.device, 130, true, buffer.data(), 6, &rig.transferred, 1000),
            kUsbOk);
  EXPECT_EQ(rig.transferred, 1u);
  EXPECT_EQ(buffer, (Bytes{0x03, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(rig.board.chipRegister(0x0B), 0x33);
  EXPECT_EQ(rig.Ask({0x01, 0x89, 0x0B}, 2), (Bytes{0x01, 0x33}));
}

}  // namespace
}  // namespace kps::sim
