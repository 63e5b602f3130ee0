// What one pass of the real-time collection costs the program itself, and
// whether memory grows over a long collection.
//
// The console runs over the simulated board with no transfer latency and its
// graph on the Qt image surfaces, exactly as on screen. The pacing sleeps are
// left out (interval 0, sleeps not taken): what remains is the read, the
// histories, both scroll routines, the lux reading and the labels.
//
// Two figures: the program's own work per pass (the console's windows not on
// screen, the graph on its QImage surfaces), and the same pass with the whole
// console window shown offscreen, so that Qt repaints the changed widgets once
// per pass as it would on screen.
//
//   kps_collection_bench [passes-for-timing] [passes-for-memory]
#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "board/usb_ids.h"
#include "shell/app_context.h"
#include "sim/simulated_board.h"
#include "ui/app_windows.h"
#include "ui/picture_widget.h"
#include "ui/qt_toolkit.h"

namespace {

double ThreadCpuMicros() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
    status.ignore(1 << 12, '\n');
  }
  return -1;
}

// The program's own Qt toolkit (event pump, clock, the screen's pace), with
// the sleeps left out; `onEvents` lets the bench stop the loop as a user's
// click would.
class BenchToolkit : public kps::ui::QtToolkit {
 public:
  void ProcessEvents() override {
    QtToolkit::ProcessEvents();
    if (onEvents) onEvents();
  }
  kps::MessageResult ShowMessage(const std::string& text, kps::MessageButtons) override {
    std::fprintf(stderr, "message: %s\n", text.c_str());
    return kps::MessageResult::Ok;
  }
  void Beep() override {}
  void Sleep(int) override {}

  std::function<void()> onEvents;
};

// The simulated board, noting the CPU time at which each measurement read's
// frame goes out: one pass lies between two of them.
class TimedBoard : public kps::sim::SimulatedBoard {
 public:
  using SimulatedBoard::SimulatedBoard;
  uint32_t Transfer(kps::DeviceHandle device, uint32_t pipe, bool read, uint8_t* buffer,
                    uint32_t length, uint32_t* transferred, uint32_t timeoutMs) override {
    if (!read && pipe == 2 && length == 3 && buffer[0] == 3 && buffer[2] == 0x08) {
      ++passes;
      // The memory run keeps no times: a growing list would be the bench's own growth.
      if (keepTimes) passStarts.push_back(ThreadCpuMicros());
      if (passes == memoryMark) residentAtMark = ResidentKiB();
    }
    return SimulatedBoard::Transfer(device, pipe, read, buffer, length, transferred, timeoutMs);
  }
  std::vector<double> passStarts;
  std::size_t passes = 0;
  bool keepTimes = true;
  std::size_t memoryMark = 0;
  long residentAtMark = -1;
};

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
  return values[index];
}

struct Figures {
  bool ok = false;
  double median = 0, mean = 0, p99 = 0, max = 0;
  long residentAt1000 = 0, residentAtEnd = 0;
};

Figures Run(long timedPasses, long memoryPasses, bool showWindows) {
  Figures figures;
  BenchToolkit toolkit;
  kps::sim::SimOptions options;
  options.scene.noise = 5;  // traces that move, so the scroll routines erase and draw
  TimedBoard board(options);
  kps::AppContext app(
      toolkit, board,
      kps::UsbMatch{.vendorId = kps::kDefaultVendorId, .productId = kps::kDefaultProductId});
  kps::ConsoleWindow& console = app.console;
  std::unique_ptr<kps::ui::AppWindows> windows;
  std::unique_ptr<kps::ui::PictureWidget> panel, graph;
  if (showWindows) {
    windows = std::make_unique<kps::ui::AppWindows>(app);
  } else {
    panel = std::make_unique<kps::ui::PictureWidget>();
    graph = std::make_unique<kps::ui::PictureWidget>(panel.get());
    kps::ui::BindPicture(console.graph.Picture2, panel.get());
    kps::ui::BindPicture(console.graph.Picture1, graph.get());
  }
  app.startup.Show();
  // The startup window's activation resets its list; let it happen before the pick.
  for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
  app.startup.cboTypeSelect.setListIndex(1);
  if (!console.loaded()) {
    std::fprintf(stderr, "the console did not open on the simulated board\n");
    return figures;
  }
  console.config.chkALSEnable.setChecked(true);
  console.config.ChkPEnable.setChecked(true);
  console.graph.txtInterval.setText("0");

  auto collect = [&](long passes) {
    board.passStarts.clear();
    board.passes = 0;
    const auto wanted = static_cast<std::size_t>(passes) + 1;
    toolkit.onEvents = [&] {
      if (board.passes >= wanted && app.flags.CollectRunning) {
        console.graph.cmdStopData.Click();
      }
    };
    console.graph.cmdCollectData.Click();
    toolkit.onEvents = nullptr;
  };

  collect(timedPasses);
  std::vector<double> pass;
  for (std::size_t i = 1; i < board.passStarts.size(); ++i) {
    pass.push_back(board.passStarts[i] - board.passStarts[i - 1]);
  }
  figures.median = Percentile(pass, 0.5);
  double total = 0;
  for (double t : pass) total += t;
  figures.mean = total / static_cast<double>(pass.size());
  figures.p99 = Percentile(pass, 0.99);
  figures.max = Percentile(pass, 1.0);

  board.memoryMark = 1000;
  board.keepTimes = false;
  collect(memoryPasses);
  figures.residentAt1000 = board.residentAtMark;
  figures.residentAtEnd = ResidentKiB();
  figures.ok = true;
  // The widgets go before the models they show.
  windows.reset();
  graph.reset();
  panel.reset();
  return figures;
}

}  // namespace

int main(int argc, char* argv[]) {
  const long timedPasses = argc > 1 ? std::atol(argv[1]) : 10000;
  const long memoryPasses = argc > 2 ? std::atol(argv[2]) : 100000;
  if (timedPasses < 2 || memoryPasses < 1000) {
    std::fprintf(stderr, "usage: %s [passes-for-timing >= 2] [passes-for-memory >= 1000]\n",
                 argv[0]);
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication qt(argc, argv);

  const Figures alone = Run(timedPasses, memoryPasses, false);
  const Figures shown = Run(timedPasses, 1000, true);
  if (!alone.ok || !shown.ok) return 1;
  std::printf("collection pass, CPU time over %ld passes (microseconds):\n", timedPasses);
  std::printf("  program's work:            median %6.1f   mean %6.1f   p99 %6.1f   max %7.1f\n",
              alone.median, alone.mean, alone.p99, alone.max);
  std::printf("  with the window repainted: median %6.1f   mean %6.1f   p99 %6.1f   max %7.1f\n",
              shown.median, shown.mean, shown.p99, shown.max);
  std::printf("resident memory: %ld KiB after 1,000 passes, %ld KiB after %ld passes\n",
              alone.residentAt1000, alone.residentAtEnd, memoryPasses);
  return 0;
}
