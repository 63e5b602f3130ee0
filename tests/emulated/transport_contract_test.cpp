// What the board link may rely on from a transport, checked unchanged against
// both: the simulated board, and the real libusb transport over the board
// emulated below libusb. A behaviour one of them lacks shows up here as a
// failure of that one, so the two cannot drift apart.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "board/gpio.h"
#include "emulated/board_rigs.h"
#include "support/file_text.h"

namespace kps::test {
namespace {

using Bytes = std::vector<uint8_t>;

template <class Rig>
class TransportContract : public testing::Test {
 protected:
  void Start(bool plugged = true) {
    program.reset();
    rig.reset();  // one test bed at a time
    rig = std::make_unique<Rig>(plugged);
    program = std::make_unique<RigProgram>(*rig);
  }
  void SetUp() override { KPS_NEEDS_EMULATED_BUS(Rig); }
  void TearDown() override {
    program.reset();
    if constexpr (std::is_same_v<Rig, UsbRig>) {
      if (rig) {
        EXPECT_EQ(rig->Finish(), std::vector<std::string>{}) << "libusb_exit found leaks";
      }
    }
  }
  // The startup window shown, the console opened at 0x88: the session is held.
  void Open() {
    startup().Show();
    ASSERT_TRUE(program->EventsUntil([&] { return link().UsbConnected; }));
    link().BoardPipe = kI2cOutPipe;
    link().SetI2CAddress(0x88);
    rig->ClearWire();
  }
  // Collects on the console until `enough` says so, at most 5 s.
  void CollectUntil(const std::function<bool()>& enough) {
    ConsoleWindow& console = program->app.console;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    program->toolkit.onProcessEvents = [&] {
      if (!program->app.flags.CollectRunning) return;
      if (enough() || std::chrono::steady_clock::now() > end) console.graph.cmdStopData.Click();
    };
    console.graph.cmdCollectData.Click();
    program->toolkit.onProcessEvents = nullptr;
  }
  BoardLink& link() { return program->app.board; }
  StartupWindow& startup() { return program->app.startup; }
  std::unique_ptr<Rig> rig;
  std::unique_ptr<RigProgram> program;
};

// SimRig: the simulated board; UsbRig: libusb over the emulated board.
using Rigs = testing::Types<SimRig, UsbRig>;
TYPED_TEST_SUITE(TransportContract, Rigs);

// "out 2: 00 88 01 86", "in 130: 01 86 00 00 00 00"
std::vector<std::string> Lines(const std::vector<TransportCall>& calls) {
  std::vector<std::string> lines;
  for (const TransportCall& call : calls) {
    std::string line = call.op + " " + std::to_string(call.pipe) + ":";
    char hex[4];
    for (const uint8_t b : call.bytes) line += (std::snprintf(hex, sizeof hex, " %02X", b), hex);
    lines.push_back(line);
  }
  return lines;
}

TYPED_TEST(TransportContract, ABoardPresentAtStartOrPluggedInLaterIsTakenAndDescribed) {
  for (const bool plugged : {true, false}) {
    SCOPED_TRACE(plugged ? "present at start" : "plugged in later");
    this->Start(plugged);
    this->startup().Show();
    if (!plugged) {
      EXPECT_FALSE(this->link().DeviceAttached);
      this->rig->Plug();
      ASSERT_TRUE(this->program->EventsUntil([&] { return this->link().DeviceAttached; }));
      this->link().USB_CheckDevice();  // as the next operation does
    }
    ASSERT_TRUE(this->link().UsbConnected);
    const DeviceInfo& info = *this->link().deviceInfo;
    EXPECT_EQ(info.vendorId, kDefaultVendorId);
    EXPECT_EQ(info.productId, kDefaultProductId);
    EXPECT_EQ(info.deviceVersion, 0x0100);
    EXPECT_FALSE(info.serial.empty());
    this->TearDown();
  }
}

TYPED_TEST(TransportContract, TheFramesOfEveryOperationAreOnTheWireByteForByte) {
  this->Start();
  this->Open();
  BoardLink& link = this->link();
  EXPECT_TRUE(link.I2C_WriteRegister(0x01, 0xA4).ok());  // prox and ALS on, 125 lux
  EXPECT_TRUE(link.I2C_ReadRegisters(0x01, 1, 6).ok());
  this->rig->model().setScene(sim::Scene{});
  EXPECT_TRUE(link.I2C_ReadRegisters(0x08, 3, 5).ok());  // a measurement
  this->program->app.gpio.state = {0x60, 0x03, 0x20, 0x01};
  EXPECT_TRUE(this->program->app.gpio.cmdGPIO_Write_Click().ok());
  const auto wire = Lines(this->rig->Wire());
  ASSERT_EQ(wire.size(), 7u) << testing::PrintToString(wire);
  EXPECT_EQ(wire[0], "out 2: 00 88 01 A4");
  EXPECT_EQ(wire[1], "out 2: 01 89 01");
  EXPECT_EQ(wire[2], "in 130: 01 A4 00 00 00 00");
  EXPECT_EQ(wire[3], "out 2: 03 89 08");
  EXPECT_EQ(wire[4].substr(0, 10), "in 130: 03");
  EXPECT_EQ(wire[5], "out 1: 20 01 60 03");
  EXPECT_EQ(wire[6].substr(0, 20), "in 129: BF F1 60 03 ");
  EXPECT_EQ(this->rig->model().chipRegister(0x01), 0xA4);
  EXPECT_TRUE(this->rig->model().ledLit(0));
  if constexpr (std::is_same_v<TypeParam, UsbRig>) {
    const EmulatedBoard::Counts counts = this->rig->board.counts();
    EXPECT_EQ(counts.claims, 1);
    EXPECT_EQ(counts.unclaimedUse, 0) << "interface 0 used before it was claimed";
  }
}

TYPED_TEST(TransportContract, ATimeOutIsReportedAsATimeOutAfterTheTimeOutAndTheNextReadWorks) {
  this->Start();
  this->Open();
  this->rig->model().InjectFault(sim::Fault::Timeout);
  const auto start = std::chrono::steady_clock::now();
  const LinkResult lost = this->link().I2C_ReadRegisters(0x00, 1, 6);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(lost.fault, LinkFault::Transfer);
  EXPECT_EQ(lost.usbStatus, kUsbTimeout);
  EXPECT_TRUE(lost.inReply);
  if (this->rig->realTime()) {
    EXPECT_GE(waited, std::chrono::milliseconds(kTransferTimeoutMs));
    EXPECT_LT(waited, std::chrono::milliseconds(3 * kTransferTimeoutMs));
  }
  const LinkResult next = this->link().I2C_ReadRegisters(0x00, 1, 6);
  EXPECT_TRUE(next.ok()) << next.Why();
}

TYPED_TEST(TransportContract, AStalledEndpointIsClearedAndTheNextTransferGoesThrough) {
  this->Start();
  this->Open();
  this->rig->model().InjectFault(sim::Fault::Stall);
  const LinkResult stalled = this->link().I2C_WriteRegister(0x01, 0xA4);
  EXPECT_EQ(stalled.usbStatus, kUsbStall);
  EXPECT_EQ(this->rig->model().chipRegister(0x01), 0x00) << "a stalled frame reaches nothing";
  EXPECT_TRUE(this->link().I2C_WriteRegister(0x01, 0xA4).ok());
  EXPECT_EQ(this->rig->model().chipRegister(0x01), 0xA4);
  if constexpr (std::is_same_v<TypeParam, UsbRig>) {
    EXPECT_EQ(this->rig->board.counts().clearHalts, 1);
  }
}

TYPED_TEST(TransportContract,
           ABoardPulledOutMidCollectionAndPluggedInAgainIsTakenUpWithoutTheUser) {
  this->Start();
  this->startup().Show();
  this->startup().cboTypeSelect.setListIndex(1);  // the console at 88 holds the session
  BoardLink& link = this->link();
  ConsoleShared& shared = this->program->app.shared;
  ASSERT_TRUE(link.UsbConnected && link.SessionHeld);
  ASSERT_TRUE(link.I2C_WriteRegister(0x01, 0xA4).ok());

  int before = -1;
  this->CollectUntil([&] {
    if (shared.SampleIndex >= 3 && before < 0) {
      before = shared.SampleIndex;
      this->rig->Unplug();
    }
    return false;  // the departure ends it
  });
  EXPECT_TRUE(link.DeviceDetached);
  EXPECT_EQ(shared.SampleIndex, before) << "a reading of a board that left became a sample";
  EXPECT_EQ(this->program->toolkit.messages, std::vector<std::string>{kDetachMessage});

  this->rig->Plug();
  ASSERT_TRUE(this->program->EventsUntil([&] { return link.UsbConnected; }));
  ASSERT_TRUE(link.I2C_WriteRegister(0x01, 0xA4).ok());  // the chip came back without power
  this->CollectUntil([&] { return shared.SampleIndex >= 3; });
  EXPECT_GE(shared.SampleIndex, 3);
  EXPECT_EQ(shared.FailedReadings, 0);
  EXPECT_GT(shared.NewestSample(0).als, 0);
  EXPECT_EQ(link.DetachCount, 1);
  this->program->app.console.Unload();
}

TYPED_TEST(TransportContract, TheProgramEndsWithATransferCutOffAndNothingLeaks) {
  this->Start();
  this->Open();
  // The board leaves between a frame and its reply; the program closes as the
  // user's Exit does, from the event point after the failed read.
  if constexpr (std::is_same_v<TypeParam, UsbRig>) {
    this->rig->board.GoneDuringNextReply();
  } else {
    this->rig->recording.beforeTransfer = [this](uint32_t, bool read) {
      if (read) this->rig->Unplug();
    };
  }
  this->program->toolkit.onProcessEvents = [this] {
    if (this->link().LastUsbStatus != 0) this->link().USB_Close();
  };
  const LinkResult cut = this->link().I2C_ReadRegisters(0x00, 1, 6);
  EXPECT_EQ(cut.fault, LinkFault::Transfer);
  EXPECT_TRUE(cut.inReply);
  EXPECT_NE(cut.usbStatus, kUsbOk);
  this->program->toolkit.onProcessEvents = nullptr;
  EXPECT_NE(this->link().I2C_WriteRegister(0x01, 0xA4).usbStatus, kUsbOk);
}

TYPED_TEST(TransportContract, ABoardThisUserMayNotOpenIsDiagnosedWithTheUdevRule) {
  this->Start(false);
  if constexpr (std::is_same_v<TypeParam, UsbRig>) {
    this->rig->board.DenyAccess(true);
  } else {
    this->rig->model().RefuseOpen(kUsbAccessDenied);
  }
  this->rig->Plug();
  this->startup().Show();
  this->program->EventsUntil([&] { return !this->program->toolkit.messages.empty(); });
  ASSERT_EQ(this->program->toolkit.messages.size(), 1u);
  EXPECT_TRUE(Has(this->program->toolkit.messages[0], "may not open it"));
  EXPECT_TRUE(Has(this->program->toolkit.messages[0], "/etc/udev/rules.d/60-kps-eval.rules"));
  EXPECT_FALSE(this->link().UsbConnected);
}

}  // namespace
}  // namespace kps::test
