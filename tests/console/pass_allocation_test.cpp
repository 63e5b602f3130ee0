// A real-time collection runs for hours at thousands of passes a second: once
// it runs, a pass must allocate nothing (no heap traffic, no fragmentation, no
// growth). The program's own objects over the simulated board, counted by a
// replaced global operator new.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "board/usb_ids.h"
#include "shell/app_context.h"
#include "sim/simulated_board.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace kps {
namespace {

// A toolkit that keeps nothing: the clock moves a millisecond a call.
class QuietToolkit : public Toolkit {
 public:
  void ProcessEvents() override {
    if (onEvents) onEvents();
  }
  MessageResult ShowMessage(const std::string&, MessageButtons) override {
    ++messages;
    return MessageResult::Ok;
  }
  void Beep() override {}
  void Sleep(int ms) override { now += static_cast<uint32_t>(ms); }
  uint32_t Millis() override { return ++now; }
  void Quit() override {}
  void ShowReport(const std::string&, const std::string&) override {}
  PlatformInfo Platform() const override { return {}; }
  LocalTime Now() override { return {}; }
  std::string OpenFileDialog(const FileDialogRequest&) override { return {}; }

  void (*onEvents)() = nullptr;
  uint32_t now = 0;
  int messages = 0;
};

TEST(CollectionPass, AllocatesNothingOnceRunning) {
  QuietToolkit toolkit;
  sim::SimOptions options;
  options.scene.noise = 5;  // traces that move, so the chart erases and draws
  sim::SimulatedBoard board(options);
  AppContext app(toolkit, board,
                 UsbMatch{.vendorId = kDefaultVendorId, .productId = kDefaultProductId});
  app.startup.Show();
  app.startup.cboTypeSelect.setListIndex(1);
  ConsoleWindow& console = app.console;
  ASSERT_TRUE(console.loaded());
  console.config.chkALSEnable.setChecked(true);
  console.config.ChkPEnable.setChecked(true);
  console.graph.txtInterval.setText("0");

  // Passes 1..1500 fill the history ring and the traces and settle the lux
  // reading; the allocations of the next 1500 are counted; then "Stop".
  static ConsoleShared* shared = &app.shared;
  static Button* stop = &console.graph.cmdStopData;
  static long atStart = -1;
  static long counted = -1;
  toolkit.onEvents = [] {
    const auto taken = shared->SamplesTaken;
    if (taken == 1500 && atStart < 0) atStart = allocations.load();
    if (taken == 3000 && counted < 0) {
      counted = allocations.load() - atStart;
      stop->Click();
    }
  };
  console.graph.cmdCollectData.Click();
  EXPECT_GE(shared->SamplesTaken, 3000);
  EXPECT_EQ(counted, 0) << "allocations in 1,500 passes";
  EXPECT_EQ(toolkit.messages, 0);
}

}  // namespace
}  // namespace kps
