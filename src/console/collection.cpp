// Real-time collection: the measurement loop that reads, keeps the histories,
// scrolls the graph, serves queued register operations and paces itself to
// the operator's interval. It is a long-running handler: other handlers run
// at its event points, and the stop takes effect at the top of the next pass.
#include <algorithm>
#include <limits>

#include "console/console_window.h"
#include "core/text.h"
#include "shell/app_context.h"

namespace kps {

namespace {

constexpr uint32_t kBlueTrace = 0x0000FF;
constexpr uint32_t kRedTrace = 0xFF0000;
constexpr int32_t kDefaultInterval = 50;
// The pacing wait sleeps at most this long between rounds of event
// processing, so that a long interval never freezes the window.
constexpr int32_t kPacingSliceMs = 10;
constexpr int kFirstDrawnSample = 10;  // samples before are never drawn
constexpr int kNewestColumn = 403;     // the trace index of the newest sample
constexpr const char* kInProcess = "Data Collection In Process";

// The integer value of an interval text, held to a sane 32-bit range.
int32_t IntervalOf(const std::string& text) {
  const long long v = RoundHalfEven(NumericValue(text));
  return static_cast<int32_t>(std::clamp<long long>(v, 0, std::numeric_limits<int32_t>::max()));
}

// Clock values wrap after 49 days; differences stay right.
bool Reached(uint32_t now, uint32_t moment) {
  return static_cast<int32_t>(now - moment) >= 0;
}

}  // namespace

void ConsoleShared::ClearHistory() {
  history_.fill(Sample{});
  oldest_ = 0;
  SampleIndex = 0;
  SamplesTaken = 0;
  ++HistoriesCleared;
}

void ConsoleShared::AddSample(double prox, double als) {
  ++SamplesTaken;
  if (SampleIndex < kHistorySize) {
    history_[static_cast<std::size_t>((oldest_ + SampleIndex) % kHistorySize)] = {prox, als};
    ++SampleIndex;
    return;
  }
  // Full: the newest takes the place of the oldest.
  history_[static_cast<std::size_t>(oldest_)] = {prox, als};
  oldest_ = (oldest_ + 1) % kHistorySize;
}

ConsoleShared::Sample ConsoleShared::OldestSample(int k) const {
  return history_[static_cast<std::size_t>((oldest_ + k) % kHistorySize)];
}

ConsoleShared::Sample ConsoleShared::NewestSample(int k) const {
  return OldestSample(SampleIndex - 1 - k);
}

int32_t ConsoleWindow::IntervalInForce() {
  const std::string& text = graph.txtInterval.text();
  if (IsNumeric(text)) {
    graph.lblIntervalNote.setCaption("");
    return IntervalOf(text);
  }
  // Said where the interval is typed, for as long as the text is no number.
  graph.lblIntervalNote.setForeColor(Rgb{255, 0, 0});
  graph.lblIntervalNote.setCaption("Not a number: 50 mSec used");
  return kDefaultInterval;
}

void ConsoleWindow::CollectData() {
  BoardLink& board = app_.board;
  ConsoleShared& s = app_.shared;
  RunFlags& flags = app_.flags;
  Toolkit& toolkit = app_.toolkit;
  if (unloading_) return;

  ++collectionsStarted_;
  Pacing pacing;
  pacing.interval = IntervalInForce();
  graph.lblRange.setVisible(false);
  txtReading.setText("");
  meas.txtReading2.setText("");
  meas.txtReading3.setText("");
  graph.Label18.setCaption(kInProcess);
  graph.cmdCollectData.setCaption(design.collectingCaption);
  // "Stop" appears before "Collect" goes grey, so that the focus passes from
  // one to the other and not into the interval box, whose leaving would stop
  // the collection.
  graph.cmdStopData.setVisible(true);
  graph.cmdCollectData.setEnabled(false);
  Command4.setVisible(false);
  flags.AbortRequested = false;

  chart.ResetTraces(403);
  chart.RestoreGraph(graph.Picture1.surface());
  chart.DrawStart = kNewestColumn;
  s.ClearHistory();
  s.FailedReadings = 0;
  graph.lblFailedReadings.setCaption("");
  pacing.detaches = board.DetachCount;
  flags.CollectRunning = true;
  graph.Label6.setVisible(true);
  graph.txtTime1.setVisible(true);
  pacing.previousEnd = toolkit.Millis();
  pacing.deadline = pacing.previousEnd + static_cast<uint32_t>(pacing.interval);

  board.FrameBegin();
  flags.CollectRunning = true;
  {
    // The buttons above changed in their order before this, and change back
    // below after it: the focus follows them one by one.
    const PacedViews paced(toolkit);
    while (flags.CollectRunning && !unloading_) CollectionPass(pacing);
  }
  if (unloading_) return;  // the window is closing: leave it and the board alone

  board.FrameEnd();
  flags.AbortRequested = false;
  // However it ended (Stop, the interval box, a detach, no board), the status
  // line says so; what a recording wrote there meanwhile stays.
  if (graph.Label18.caption() == kInProcess) graph.Label18.setCaption("Data Collection Halted");
  // "Collect" is enabled before "Stop" hides, so that the focus on "Stop" can
  // go back to it rather than on into the interval box.
  graph.cmdCollectData.setEnabled(true);
  graph.cmdStopData.setVisible(false);
  graph.cmdCollectData.setCaption("Collect Data Graphical Real Time Data");
  board.DoEvents();
  Command4.setVisible(true);
}

void ConsoleWindow::CollectionPass(Pacing& p) {
  BoardLink& board = app_.board;
  ConsoleShared& s = app_.shared;
  Toolkit& toolkit = app_.toolkit;
  const unsigned collection = collectionsStarted_;
  // Events run at each of this pass's event points. A collection restarted
  // there (automatic re-scale) has run to its end when the point returns:
  // this pass then reads, stores and shows nothing more.
  const auto goOn = [&] { return Pump() && collection == collectionsStarted_; };

  // The interval may change while collecting; a text that is no number means 50 ms.
  p.interval = IntervalInForce();
  if (!IsNumeric(graph.txtInterval.text()) && !goOn()) return;

  // Wake 3 to 4 ms before the deadline, handling events meanwhile.
  while (!Reached(toolkit.Millis(), p.deadline - 4)) {
    if (!goOn()) return;
    const auto remaining = static_cast<int32_t>(p.deadline - (toolkit.Millis() + 3));
    if (remaining > 0) toolkit.Sleep(std::min(remaining, kPacingSliceMs));
  }

  if (board.UsbBusy) {
    // The bus belongs to an operation suspended below this loop; a read now
    // could take its reply. No sample this pass: the loop tries again at the
    // next one, and "Stop" frees the bus.
    regs.lblUSBStatis.setCaption("Rd_AD Waiting");
  } else if (!board.DeviceAttached && board.DetachCount != p.detaches) {
    // Pulled out during this collection: the detach has said so and ended it.
  } else if (!MeasurementRead()) {
    // No reading, no sample: nothing goes into the histories, the graph or
    // the file, and the next pass tries again. Queued register operations
    // ran as the read let the bus go. Without a board the read has said so
    // and ended the collection.
    if (unloading_) return;
    if (MeasureResult.fault != LinkFault::NotAttached) CountFailedReading();
    if (!goOn()) return;
  } else {
    if (!goOn()) return;

    s.AddSample(s.ProxCount, s.AlsIrCount);

    if (intr.ChkSampleInt[0].checked()) {
      cmdISamples_Click();
      if (!goOn()) return;
    }
    if (intr.ChkSampleInt[1].checked()) {
      cmdSampleInternalIntrs_Click();
      if (!goOn()) return;
    }

    // With no scale span (maximum = minimum) the newest row keeps the previous one.
    if (const auto row = chart.GraphRow2(s.AlsIrCount)) chart.AlsTrace[kNewestColumn] = *row;
    if (const auto row = chart.GraphRow(s.ProxCount)) chart.ProxTrace[kNewestColumn] = *row;

    if (s.SampleIndex > kFirstDrawnSample) {
      graph.lblLoop_Count.setCaption(SignedBlank(s.SampleIndex - kFirstDrawnSample));
    }
    // DrawStart past the newest column: the graph was cleared under this pass
    // (the interval box was left), and its reset traces are no data to draw.
    if (s.SampleIndex > kFirstDrawnSample && chart.DrawStart <= kNewestColumn) {
      PixelSurface& picture = graph.Picture1.surface();
      chart.TraceColor = kBlueTrace;
      chart.ScrollProxTrace(picture, chart.DrawStart);
      chart.TraceColor = kRedTrace;
      chart.ScrollAlsTrace(picture, chart.DrawStart);
      if (chart.DrawStart < 2) {
        toolkit.Sleep(1);
      } else {
        --chart.DrawStart;
      }
    }
    LuxReading();
  }

  // A collection restarted inside the read or the lux update has run to its
  // end and shown its own loop time: this pass's span is no loop time.
  if (collection != collectionsStarted_) return;
  const uint32_t end = toolkit.Millis();
  p.deadline = end + static_cast<uint32_t>(p.interval);
  graph.txtTime1.setText(SignedBlank(static_cast<int32_t>(toolkit.Millis() - p.previousEnd)));
  p.previousEnd = end;
}

void ConsoleWindow::CountFailedReading() {
  ConsoleShared& s = app_.shared;
  ++s.FailedReadings;
  graph.lblFailedReadings.setCaption(std::to_string(s.FailedReadings) + " failed");
}

void ConsoleWindow::StopCollection() {
  BoardLink& board = app_.board;
  app_.flags.CollectRunning = false;
  graph.Label18.setCaption("Data Collection Halted");
  board.DoEvents();
  for (int i = 0; i < 10000 && board.UsbBusy; ++i) board.DoEvents();
  board.UsbBusy = false;
  board.DoEvents();
  board.DoEvents();
}

}  // namespace kps
