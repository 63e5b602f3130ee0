// The console's measurement read, collection loop, graph buttons and
// recording, driven as a user drives them, against the simulated board (or
// scripted replies where exact counts matter).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <sstream>
#include <tuple>

#include "core/text.h"
#include "support/file_text.h"
#include "support/opened_console.h"

namespace kps {
namespace {

using test::Opened;
using test::ScratchDir;
using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;

const Bytes kMeasureFrame = {3, 0x89, 0x08};

// A console with scripted measurement replies: {status, PROX, ALS1, ALS2, 0}.
struct Console : Opened {
  explicit Console(ConsoleVariant v = ConsoleVariant::Main) : Opened(v) {}
  ConsoleWindow& w = c();
  ConsoleShared& s = app->shared;

  void Reply(int prox, int als) {
    transport.i2cReplies.push_back({3, static_cast<uint8_t>(prox), static_cast<uint8_t>(als & 0xFF),
                                    static_cast<uint8_t>(als >> 8), 0});
  }
  // Counted as the calls come, so that a long collection stays quick.
  int MeasureReads() {
    const auto& calls = transport.calls;
    if (calls.size() < scanned) scanned = 0, reads = 0;  // the test cleared them
    for (; scanned < calls.size(); ++scanned) {
      reads += calls[scanned].op == "out" && calls[scanned].bytes == kMeasureFrame;
    }
    return reads;
  }
  std::size_t scanned = 0;
  int reads = 0;
  // Clicks `button` and runs `at` at each event point of the collection, until
  // it returns true: it has ended the collection. A collection still running
  // after `rounds` event rounds (a read that is not the one counted, a stop
  // that does not stop) fails the test, and is stopped, rather than hanging it.
  void Run(Button& button, long rounds, const std::function<bool()>& at) {
    long round = 0;
    bool ended = false;
    toolkit.onProcessEvents = [&] {
      if (!app->flags.CollectRunning) return;
      if (++round == rounds) {
        ADD_FAILURE() << "still collecting after " << MeasureReads() << " reads";
        w.graph.cmdStopData.Click();
      } else if (round > 2 * rounds) {
        w.Unload();
      } else if (!ended) {
        ended = at();
      }
    };
    button.Click();
    toolkit.onProcessEvents = nullptr;
  }
  // Clicks `button`, and at the first event point with the bus free after
  // `samples` more reads (before the last is stored) ends the collection with
  // `end` ("Stop" unless told otherwise).
  void Collect(int samples, Button& button, const std::function<void()>& end = {}) {
    const int before = MeasureReads();
    Run(button, 30L * (samples + 10), [&] {
      if (app->board.UsbBusy || MeasureReads() - before < samples) return false;
      end ? end() : w.graph.cmdStopData.Click();
      return true;
    });
  }
  void Collect(int samples) { Collect(samples, w.graph.cmdCollectData); }
  uint32_t GraphPixel(int x, int y) const { return w.graph.Picture1.surface().Pixel(x, y); }
  // Whether the label panel beside the graph shows `text`.
  bool Labelled(const std::string& text) const {
    auto& panel = dynamic_cast<const MemorySurface&>(w.graph.Picture2.surface());
    return std::ranges::any_of(panel.texts(), [&](const auto& t) { return t.text == text; });
  }
};

TEST(ConsoleAcquisitionTest, LoadPreparesTheGraphAndTheRecording) {
  for (ConsoleVariant v : {ConsoleVariant::Main, ConsoleVariant::Adaptive}) {
    Console h(v);
    ConsoleWindow& w = h.w;
    EXPECT_EQ(w.chart.ScaleMax, 4096);
    EXPECT_EQ(w.chart.ScaleLabels2, w.chart.ScaleLabels);
    const std::filesystem::path file = w.rec.txtFilePath.text();
    EXPECT_TRUE(file.is_absolute());
    EXPECT_EQ(file.filename(), "Data.csv");
    // The grid is on the graph and is the background a restore brings back.
    w.graph.Picture1.surface().SetPixel(40, 100, kWhite);
    w.chart.RestoreGraph(w.graph.Picture1.surface());
    EXPECT_EQ(h.GraphPixel(40, 100), kBlack);
    EXPECT_EQ(h.GraphPixel(41, 100), kWhite);
    EXPECT_TRUE(h.Labelled("04100"));
    EXPECT_EQ(w.graph.cmdAutoScale.visible(), v == ConsoleVariant::Adaptive);
    EXPECT_FALSE(w.graph.cmdStopData.visible());
  }
}

TEST(ConsoleAcquisitionTest, ReadShowsCountsBytesAndSaturationTransitions) {
  Console h;
  MeasureControls& m = h.w.meas;
  int proxWrites = 0;
  m.prox_sat_alert_lbl.Subscribe([&] { ++proxWrites; });

  h.Reply(254, 0x0FFF);  // proximity one short of saturation
  m.cmdReadAd.Click();
  EXPECT_EQ(h.transport.Frames()[0].bytes, kMeasureFrame);
  const auto& rd = h.w.regs.txtRegRd;
  EXPECT_EQ((Texts{rd[8].text(), rd[9].text(), rd[10].text()}), (Texts{"FE", "FF", "0F"}));
  EXPECT_EQ(m.lblMeasurements[1].caption(), " 254");
  EXPECT_EQ(m.prox_sat_alert_lbl.caption(), "No");
  EXPECT_EQ(m.lblMeasurements[2].caption(), " 4095");
  EXPECT_EQ(m.alsir_sat_alert_lbl.caption(), "Yes");
  EXPECT_EQ(m.alsir_sat_alert_lbl.backColor(), (Rgb{255, 0, 0}));
  EXPECT_EQ(m.ShpMeas.fillColor(), h.app->colors.ColorGreen);

  // {proximity, shown, changes of the indicator so far}
  using Step = std::tuple<int, const char*, int>;
  for (auto [prox, shown, writes] :
       {Step{255, "Yes", 2}, Step{254, "No", 4}, Step{255, "Yes", 6}, Step{255, "Yes", 6}}) {
    h.Reply(prox, 100);
    m.cmdReadAd.Click();
    EXPECT_EQ(m.prox_sat_alert_lbl.caption(), shown) << prox;
    EXPECT_EQ(proxWrites, writes) << prox;
  }
  EXPECT_EQ(m.alsir_sat_alert_lbl.caption(), "No");
  // The heartbeat alternates at every read.
  EXPECT_EQ(m.ShpMeas.fillColor(), h.app->colors.ColorGreen);
}

TEST(ConsoleAcquisitionTest, ReadsWithoutBoardFailOnceEachAndTheMeasurementStopsCollecting) {
  Console h;
  h.sim().Unplug();
  h.app->board.DoEvents();
  h.transport.calls.clear();
  h.toolkit.messages.clear();  // the detach's own
  h.app->flags.CollectRunning = true;
  h.w.regs.cmdReadAllRegs.Click();  // stops at register 0
  EXPECT_EQ(h.toolkit.messages, Texts{"USB is not Connected"});
  h.w.meas.cmdReadAd.Click();
  EXPECT_EQ(h.toolkit.messages, (Texts{"USB is not Connected", "USB is not Connected"}));
  EXPECT_EQ(h.w.config.LblCommTest.caption(), "Fail");
  EXPECT_FALSE(h.app->flags.CollectRunning);
  EXPECT_TRUE(h.transport.Frames().empty());
}

TEST(ConsoleAcquisitionTest, LuxFollowsRangeSaturationAndSettleCount) {
  Console h;
  ConsoleWindow& w = h.w;
  // {OptALSRange index, count shown, lux}
  using Case = std::tuple<int, const char*, const char*>;
  for (auto [range, count, lux] :
       {Case{1, " 2048", "0062.52"}, Case{0, " 4094", "1999.51"}, Case{0, " 4095", ">=2000"},
        Case{1, " 4095", ">=125"}, Case{1, "ALS/IR Count", "0000.00"}}) {
    w.config.OptALSRange[range].setValue(true);
    h.s.LuxRangeIndex = range;
    h.s.LuxSettleCount = 0;
    w.meas.lblMeasurements[2].setCaption(count);
    w.LuxReading();
    EXPECT_EQ(w.txtReading.text(), lux) << count;
  }
  // A range change holds the reading for 15 passes.
  w.config.OptALSRange[0].Select();
  w.txtReading.setText("held");
  w.meas.lblMeasurements[2].setCaption(" 2048");
  for (int pass = 0; pass < 15; ++pass) w.LuxReading();
  EXPECT_EQ(w.txtReading.text(), "held");
  w.LuxReading();
  EXPECT_EQ(w.txtReading.text(), "1000.24");
}

TEST(ConsoleAcquisitionTest, CollectionPacesDrawsFromTheEleventhSampleAndRestoresTheButtons) {
  Console h;
  ConsoleWindow& w = h.w;
  std::vector<uint32_t> readTimes;
  std::string runningCaption;
  bool runningEnabled = true, exitShown = true;
  h.transport.duringTransfer = [&] {
    if (h.board().TransferBuffer == kMeasureFrame) readTimes.push_back(h.toolkit.now);
    runningCaption = w.graph.cmdCollectData.caption();
    runningEnabled = w.graph.cmdCollectData.enabled();
    exitShown = w.Command4.visible();
  };
  for (int i = 0; i < 21; ++i) h.Reply(100, 2048);
  h.Collect(10);
  EXPECT_EQ(h.GraphPixel(402, 152), kWhite);  // ten samples, nothing drawn

  h.Collect(11);
  EXPECT_EQ(w.graph.lblLoop_Count.caption(), " 1");
  EXPECT_EQ(h.GraphPixel(402, 152), kTraceRed);  // ALS/IR 2048 of 4096
  EXPECT_EQ(h.GraphPixel(402, *w.chart.GraphRow(100)), 0x0000FFu);
  EXPECT_EQ(runningCaption, "Real Time data display is executing, Click -Stop Data Acq.- to End");
  EXPECT_FALSE(runningEnabled);
  EXPECT_FALSE(exitShown);
  // Each read starts 3 ms before the deadline counted from the previous pass's
  // end (no time passes in a pass here).
  ASSERT_EQ(readTimes.size(), 21u);
  for (std::size_t i = 1; i < 10; ++i) EXPECT_EQ(readTimes[i] - readTimes[i - 1], 47u) << i;
  // The buttons back after "Stop" are every end's test below; here the caption.
  EXPECT_EQ(w.graph.cmdCollectData.caption(), "Collect Data Graphical Real Time Data");
}

TEST(ConsoleAcquisitionTest, RegisterOperationsClickedDuringCollectionFollowTheNextRead) {
  Console h;
  ConsoleWindow& w = h.w;
  w.regs.txtRegHex[3].setText("12");
  w.regs.txtRegHex[1].setText("84");
  bool clicked = false;
  h.transport.duringTransfer = [&] {
    // Inside the first read, with the bus held: all three are queued.
    if (clicked) return;
    clicked = true;
    w.regs.cmdRDReg[1].Click();
    w.regs.cmdWrtReg[3].Click();
    w.regs.cmdWrtReg[1].Click();
    EXPECT_EQ(w.regs.lblUSBStatis.caption(), "Wrt_Reg Waiting1");
  };
  h.Collect(2);
  const std::vector<Bytes> sent = h.Sent();
  // In the order clicked, as soon as the read lets the bus go.
  ASSERT_GE(sent.size(), 4u);
  EXPECT_EQ(sent[0], kMeasureFrame);
  EXPECT_EQ(sent[1], (Bytes{1, 0x89, 1}));
  EXPECT_EQ(sent[2], (Bytes{0, 0x88, 3, 0x12}));
  EXPECT_EQ(sent[3], (Bytes{0, 0x88, 1, 0x84}));
  EXPECT_FALSE(h.app->board.RegOpsPending);
}

TEST(ConsoleAcquisitionTest, StopDuringTheWaitCompletesThatPass) {
  Console h;
  ConsoleWindow& w = h.w;
  w.graph.txtInterval.setText("1000");
  int readsAtStop = -1;
  h.Run(w.graph.cmdCollectData, 1000, [&] {
    if (h.MeasureReads() != 1 || h.toolkit.now <= 1200) return false;
    readsAtStop = h.MeasureReads();
    w.graph.cmdStopData.Click();
    return true;
  });
  EXPECT_EQ(readsAtStop, 1);
  EXPECT_EQ(h.MeasureReads(), 2);  // the pass under way still read
  EXPECT_EQ(h.s.SampleIndex, 2);
  EXPECT_GE(h.toolkit.now, 1997u);
}

TEST(ConsoleAcquisitionTest, LongCollectionsWithFaultyEntriesRecordTheirNewest999Samples) {
  Console h;
  ConsoleWindow& w = h.w;
  const ScratchDir dir("rec");
  const std::string file = dir / "m.csv";
  w.rec.txtFilePath.setText(file);
  // No number: 50 ms, said beside the box, which keeps its text.
  w.graph.txtInterval.setText("fast");
  for (int taken : {1011, 1500, 5000}) {
    // Sample i reads proximity i % 256 and ALS/IR i (the high byte is taken whole).
    for (int i = 0; i < taken; ++i) h.Reply(i % 256, i);
    h.Collect(taken);
    ASSERT_EQ(h.s.SampleIndex, 1010) << taken;
    EXPECT_EQ(h.s.NewestSample(0).als, taken - 1);
    EXPECT_EQ(w.graph.lblLoop_Count.caption(), " 1000");
    w.rec.cmdStartRec[0].Click();
    std::string lines = ", Qty 999\r\nMeasurement#,Proximity (8-bit),ALS/IR (12-bit)\r\n";
    for (int n = 0; n < 999; ++n) {
      const int i = taken - 999 + n;
      lines += SignedBlank(n) + "," + SignedBlank(i % 256) + "," + SignedBlank(i) + "\r\n";
    }
    const std::string text = test::FileText(file);
    EXPECT_EQ(text.substr(std::min(text.find(", Qty"), text.size())), lines + "END\r\n") << taken;
    EXPECT_EQ(w.graph.Label18.caption(), " 999 Measurement set(s) written: 12-05-2026 10:35:12");
  }
  EXPECT_EQ(w.graph.txtInterval.text(), "fast");
  EXPECT_EQ(w.graph.lblIntervalNote.caption(), "Not a number: 50 mSec used");
}

TEST(ConsoleAcquisitionTest, ScaleButtonsAndTheIntervalRedrawTheLabels) {
  Console h;
  ConsoleWindow& w = h.w;
  w.graph.txtScale.setText("599");
  w.graph.txtScaleMin.setText("100");
  w.graph.cmdScale.Click();
  EXPECT_EQ(w.chart.ScaleMax, 600);
  EXPECT_TRUE(h.Labelled("00150"));  // redrawn, from the minimum in steps of 50
  // Both columns label the one scale drawn.
  EXPECT_EQ(w.chart.ScaleLabels2, w.chart.ScaleLabels);
  // Boxes that spell no scale change nothing, and say so.
  for (auto [max, min] : {std::pair{"99", "100"}, {"abc", "0"}, {"599", "1x"}}) {
    w.graph.txtScale.setText(max);
    w.graph.txtScaleMin.setText(min);
    w.graph.cmdScale.Click();
    EXPECT_EQ(w.chart.ScaleMax, 600) << max;
    EXPECT_EQ(w.chart.ScaleMin, 100) << max;
  }
  EXPECT_EQ(h.toolkit.messages.size(), 3u);
  EXPECT_EQ(h.toolkit.messages[0],
            "The scale was not changed: \"Scale Max\" (99) must be a "
            "number not below \"Scale Min\" (100).");
  h.toolkit.messages.clear();
  w.graph.txtScale.setText("599");
  w.graph.txtScaleMin.setText("100");

  // Automatic: a proximity peak of 200 is a scale of 229 (the chart test has more).
  for (int i = 0; i < 10; ++i) h.s.AddSample(i == 4 ? 200 : 10, 0);
  h.app->flags.CollectRunning = true;
  // Re-scaling starts a new collection; stop it after its first read.
  h.Collect(1, w.graph.cmdAutoScale);
  EXPECT_EQ(w.graph.txtScale.text(), " 229");
  EXPECT_EQ(w.chart.ScaleMax, 230);
  EXPECT_EQ(w.chart.ScaleLabels[10], "230");
  EXPECT_EQ(w.chart.ScaleLabels2, w.chart.ScaleLabels);
  EXPECT_EQ(w.chart.AxisTitle[0], "Scaled");
  EXPECT_EQ(h.s.SampleIndex, 1);  // the new collection's histories
  // Re-scaling during a collection: the loop time stays that of one pass, not
  // the span of the collection restarted inside the interrupted pass.
  for (int i = 0; i < 15; ++i) h.Reply(120, 0);
  const int start = h.MeasureReads();
  int held = -1;
  h.transport.duringTransfer = [&] {
    if (h.MeasureReads() != start + 25 || held >= 0) return;
    held = h.s.SampleIndex;
    h.sim().Unplug();  // ends the restarted collection
  };
  h.Collect(15, w.graph.cmdCollectData, [&] { w.graph.cmdAutoScale.Click(); });
  EXPECT_EQ(w.chart.ScaleMax, 139);
  EXPECT_EQ(w.graph.txtTime1.text(), " 47");
  // The interrupted pass goes no further: no read, no sample after the end.
  EXPECT_EQ(h.MeasureReads(), start + 25);
  EXPECT_EQ(h.s.SampleIndex, held);
  h.transport.duringTransfer = nullptr;

  // {interval text, a time label, the note beside the box}
  // The focus passing through the box changes nothing; an edit sets the axis.
  w.graph.txtInterval.setText("10");
  w.graph.txtInterval.onLostFocus();
  EXPECT_FALSE(h.Labelled("4.00"));
  using Axis = std::tuple<const char*, const char*, const char*>;
  for (auto [text, label, note] :
       {Axis{"10", "4.00", ""}, Axis{"fast", "20.00", "Not a number: 50 mSec used"}}) {
    w.graph.txtInterval.Edit(text);
    w.graph.txtInterval.onLostFocus();
    EXPECT_TRUE(h.Labelled(label)) << text;
    EXPECT_EQ(w.graph.lblIntervalNote.caption(), note);
  }
}

// However a collection ends, the status line says so (unless a recording has
// written there), the buttons come back, and the graph shows no trace that is
// not data.
TEST(ConsoleAcquisitionTest, EveryEndOfACollectionIsShown) {
  struct End {
    const char* how;
    std::function<void(Console&)> act;
    const char* status;
  };
  for (const End& e :
       {End{"Stop", [](Console& h) { h.w.graph.cmdStopData.Click(); }, "Data Collection Halted"},
        End{"interval box left",
            [](Console& h) {
              h.w.graph.txtInterval.Edit("50");
              h.w.graph.txtInterval.onLostFocus();
            },
            "Data Collection Halted"},
        End{"board pulled out", [](Console& h) { h.sim().Unplug(); }, "Data Collection Halted"},
        End{"Write to Disk", [](Console& h) { h.w.rec.cmdStartRec[0].Click(); },
            " 18 Measurement set(s) written: 12-05-2026 10:35:12"}}) {
    Console h;
    ConsoleWindow& w = h.w;
    const ScratchDir dir("rec");
    w.rec.txtFilePath.setText(dir / "m.csv");
    h.Collect(30, w.graph.cmdCollectData, [&] { e.act(h); });
    EXPECT_EQ(w.graph.Label18.caption(), e.status) << e.how;
    EXPECT_TRUE(w.graph.cmdCollectData.enabled());
    EXPECT_FALSE(w.graph.cmdStopData.visible());
    EXPECT_TRUE(w.Command4.visible());
    if (std::string(e.how) != "interval box left") continue;
    // The graph is its background again: the pass under way drew nothing of
    // the traces the box reset.
    for (int x = 0; x < 404; ++x) {
      for (int y = 0; y < 304; ++y) {
        ASSERT_EQ(h.GraphPixel(x, y), w.chart.GraphBackground[BackgroundIndex(x, y)])
            << x << "," << y;
      }
    }
  }
}

TEST(ConsoleAcquisitionTest, WriteToDiskRecordsTheCollectionAfterItsFirstElevenSamples) {
  Console h;
  ConsoleWindow& w = h.w;
  const ScratchDir dir("rec");
  const std::string file = dir / "m.csv";
  w.rec.txtFilePath.setText(file);

  w.rec.cmdStartRec[0].Click();
  EXPECT_EQ(h.toolkit.messages, Texts{"Save More Measurements"});
  EXPECT_FALSE(std::filesystem::exists(file));

  for (int i = 0; i < 20; ++i) h.Reply(i, 1000 + i);
  h.Collect(20);
  w.rec.chkAppend.setChecked(true);
  w.rec.mnuSaveMeas.Click();
  w.rec.cmdStartRec[0].Click();
  // The file's own format is the writer's test; here the header takes the
  // boxes and the first written sample is the twelfth collected.
  const std::string block =
      "Collect Reg0:&h00 :Reg1 &h00,Interval 50, 12-05-2026,10:35:12, Qty 9\r\n"
      "Measurement#,Proximity (8-bit),ALS/IR (12-bit)\r\n 0, 11, 1011\r\n";
  const std::string file2 = test::FileText(file);
  EXPECT_EQ(file2.find(block), 0u);
  EXPECT_NE(file2.find(" 8, 19, 1019\r\nEND\r\n" + block), std::string::npos);  // appended
  EXPECT_EQ(w.graph.Label18.caption(), " 9 Measurement set(s) written: 12-05-2026 10:35:12");

  // A file that cannot be written: a message with the reason, no status, the old file kept.
  w.graph.Label18.setCaption("");
  w.rec.txtFilePath.setText(dir / "missing/m.csv");
  w.rec.cmdStartRec[0].Click();
  ASSERT_EQ(h.toolkit.messages.size(), 2u);
  EXPECT_NE(h.toolkit.messages[1].find("No such file or directory"), std::string::npos);
  EXPECT_EQ(w.graph.Label18.caption(), "");
  EXPECT_EQ(test::FileText(file), file2);

  // Browse takes what the user chose; a cancel changes nothing.
  h.toolkit.fileAnswers = {"/tmp/chosen.txt", ""};
  w.rec.cmdBrowse.Click();
  w.rec.cmdBrowse.Click();
  EXPECT_EQ(w.rec.txtFilePath.text(), "/tmp/chosen.txt");
}

TEST(ConsoleAcquisitionTest, ClosingTheConsoleDuringCollectionEndsCleanly) {
  Console h;
  ConsoleWindow& w = h.w;
  int readsAtClose = -1;
  h.Run(w.graph.cmdCollectData, 1000, [&] {
    if (h.MeasureReads() != 3) return false;
    readsAtClose = 3;
    w.Unload();  // the close box
    return true;
  });
  EXPECT_EQ(readsAtClose, 3);
  EXPECT_EQ(h.MeasureReads(), 3);
  EXPECT_TRUE(h.toolkit.messages.empty());
  EXPECT_TRUE(h.app->ended());
  EXPECT_EQ(h.Count("uninit"), 1);  // the board session closed once
}

TEST(ConsoleAcquisitionTest, AdaptiveConsoleNamesItsOwnStopButton) {
  Console h(ConsoleVariant::Adaptive);
  std::string running;
  h.transport.duringTransfer = [&] { running = h.w.graph.cmdCollectData.caption(); };
  h.Collect(1);
  EXPECT_EQ(running, "Real Time data display is executing, Click -Stop Real Time- to End");
  EXPECT_EQ(h.w.graph.cmdStopData.caption(), "Stop  Data Acquisition");
}

// The chart as collected: each trace on the labels of its column, whatever the scale.

// The rows of column x of the graph in the given colour.
std::vector<int> ChartRows(const Console& h, int x, uint32_t color) {
  std::vector<int> rows;
  for (int y = 0; y < kGraphRows; ++y) {
    if (h.GraphPixel(x, y) == color) rows.push_back(y);
  }
  return rows;
}

// The value label beside a graph row, in the left or the right column.
std::string LabelBeside(const Console& h, int row, bool right) {
  auto& panel = dynamic_cast<const MemorySurface&>(h.w.graph.Picture2.surface());
  for (const auto& t : panel.texts()) {
    if (t.y + panel.TextHeight(t.text) / 2 == kGraphTop + row && (t.x > kGraphLeft) == right)
      return t.text;
  }
  return "none";
}

// The samples a recorded file holds, read back: {proximity, ALS/IR} a line.
std::vector<std::pair<double, double>> RecordedSamples(const std::string& text) {
  std::vector<std::pair<double, double>> samples;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line) && line.rfind("Measurement#", 0) != 0) {
  }
  while (std::getline(in, line) && line.rfind("END", 0) != 0) {
    std::istringstream fields(line);
    std::string n, prox, als;
    std::getline(fields, n, ',');
    std::getline(fields, prox, ',');
    std::getline(fields, als, '\r');
    samples.emplace_back(std::stod(prox), std::stod(als));
  }
  return samples;
}

// n, mean, sd (n - 1), min, max, pp the plain two-pass way.
std::vector<double> TwoPass(const std::vector<double>& v) {
  const double n = static_cast<double>(v.size());
  double sum = 0;
  for (double x : v) sum += x;
  const double mean = sum / n;
  double squares = 0;
  for (double x : v) squares += (x - mean) * (x - mean);
  const auto [lo, hi] = std::ranges::minmax(v);
  return {n, mean, std::sqrt(squares / (n - 1)), lo, hi, hi - lo};
}

TEST(ConsoleStatisticsTest, TheWindowShowsTheRecordedSamplesThroughEveryCollection) {
  Console h;
  ConsoleWindow& w = h.w;
  StatisticsWindow& st = w.stats;
  sim::Scene scene = h.sim().scene();
  scene.noise = 1;  // ALS/IR moves by up to 41 counts, proximity by up to 3
  h.sim().setScene(scene);
  w.config.chkALSEnable.setChecked(true);
  w.config.ChkPEnable.setChecked(true);
  const ScratchDir dir("stats");
  w.rec.txtFilePath.setText(dir / "m.csv");
  std::string copied;
  st.onCopy = [&](const std::string& text) { copied = text; };
  // When the figures changed while a collection ran.
  std::vector<uint32_t> runningChanges;
  st.Figure(0, 0).Subscribe([&] {
    if (h.app->flags.CollectRunning) runningChanges.push_back(h.toolkit.now);
  });

  w.rec.mnuStatistics.Click();
  ASSERT_TRUE(st.form.visible());
  EXPECT_EQ(st.Figure(0, 0).caption(), "0");
  EXPECT_EQ(st.Figure(2, 1).caption(), "");
  EXPECT_EQ(st.lblBasis.caption(), "No recorded samples yet");

  struct Step {
    const char* what;
    Button& start;
    int samples;
    int failures;      // NAKed measurement reads, from the tenth read on
    bool openedAfter;  // the window closed during the collection, opened after it
  };
  const Step steps[] = {
      {"first collection", w.graph.cmdCollectData, 300, 0, false},
      {"a new one with failed readings", w.graph.cmdCollectData, 60, 4, false},
      {"automatic re-scale starts another", w.graph.cmdAutoScale, 40, 0, false},
      {"past the history's size", w.graph.cmdCollectData, 1100, 1, true},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    runningChanges.clear();
    if (step.failures > 0) h.sim().InjectFault(sim::Fault::Nak, step.failures, 10);
    if (step.openedAfter) st.cmdClose.Click();
    const int before = h.MeasureReads();
    // Refreshed at every event point, as often as the Qt window's timer could.
    h.Run(step.start, 40L * (step.samples + 10), [&] {
      st.Refresh();
      if (h.app->board.UsbBusy || h.MeasureReads() - before < step.samples) return false;
      w.graph.cmdStopData.Click();
      return true;
    });
    if (step.openedAfter) {
      EXPECT_FALSE(st.form.visible());
      w.rec.mnuStatistics.Click();
    }
    // Live, but a few times a second at most.
    if (!step.openedAfter) {
      EXPECT_GE(runningChanges.size(), step.samples / 20u);
    }
    for (std::size_t i = 1; i < runningChanges.size(); ++i)
      ASSERT_GE(runningChanges[i] - runningChanges[i - 1], StatisticsWindow::kRefreshMs) << i;

    // At once after the stop: the figures of exactly the samples the file holds.
    EXPECT_EQ(h.s.FailedReadings, step.failures);
    w.rec.cmdStartRec[0].Click();
    const auto samples = RecordedSamples(test::FileText(dir / "m.csv"));
    ASSERT_EQ(samples.size(), std::min(step.samples - step.failures, 1010) - 11u);
    std::vector<double> prox, als, lux;
    for (const auto& [p, a] : samples) {
      prox.push_back(p);
      als.push_back(a);
      if (a != 4095) lux.push_back(a / 4095 * 125);  // the 125 lux range
    }
    const std::vector<double> want[] = {TwoPass(prox), TwoPass(als), TwoPass(lux)};
    for (int r = 0; r < StatisticsWindow::kRows; ++r) {
      for (int c = 0; c < StatisticsWindow::kColumns; ++c) {
        const std::string& shown = st.Figure(r, c).caption();
        ASSERT_FALSE(shown.empty()) << r << "," << c;
        EXPECT_NEAR(NumericValue(shown), want[r][c], 0.0006) << r << "," << c << " " << shown;
      }
    }
    // The noise is there to be measured: within its bounds, not zero.
    EXPECT_GT(want[0][2], 0.5);
    EXPECT_LE(want[0][5], 6);
    EXPECT_GT(want[1][2], 10);
    EXPECT_LE(want[1][5], 82);
    std::string basis = std::to_string(samples.size()) + " samples as Write to Disk records them";
    if (step.failures == 1) basis += "; 1 failed reading left out";
    if (step.failures > 1)
      basis += "; " + std::to_string(step.failures) + " failed readings left out";
    EXPECT_EQ(st.lblBasis.caption(), basis);
  }

  // IR mode: the counts are infrared, and have no lux; "Copy" gives what is shown.
  w.config.OptMMode[1].Select();
  st.Refresh();
  EXPECT_EQ(st.lblBasis.caption(),
            "999 samples as Write to Disk records them; 1 failed reading "
            "left out; no lux in IR mode");
  st.cmdCopy.Click();
  EXPECT_EQ(copied.substr(copied.find("Lux")), "Lux\t0\t\t\t\t\t\n");
  // With nowhere to copy to, the user is told.
  st.onCopy = nullptr;
  st.cmdCopy.Click();
  EXPECT_EQ(h.toolkit.messages.back(), "There is no clipboard to copy the statistics to.");
}

TEST(ConsoleChartTest, EachTraceIsDrawnOnTheLabelsOfItsColumnAfterEveryRescale) {
  // {variant, Scale Max, Scale Min, Scale 2 Max, proximity, ALS/IR, their rows, their labels}
  struct Case {
    ConsoleVariant variant;
    const char *max, *min, *max2;
    int prox, als, proxRow, alsRow;
    const char *proxLabel, *alsLabel;
  };
  using enum ConsoleVariant;
  const Case cases[] = {
      {Main, "4095", "0", "", 0, 2050, 303, 153, "00000", "02050"},  // 0 on the bottom row
      {Main, "599", "100", "", 200, 350, 243, 153, "00200", "00350"},
      // The adaptive console's second scale is the ALS/IR trace's.
      {Adaptive, "259", "0", "4095", 52, 2050, 243, 153, "00052", "02050"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.max);
    Console h(c.variant);
    GraphControls& g = h.w.graph;
    g.txtScale.setText(c.max);
    g.txtScaleMin.setText(c.min);
    if (*c.max2 != '\0') g.txtScale2.setText(c.max2);
    // Re-scaled after the second drawn sample; stopped after the fourth.
    for (int i = 0; i < 14; ++i) h.Reply(c.prox, c.als);
    bool scaled = false;
    h.toolkit.onProcessEvents = [&] {
      if (h.MeasureReads() == 12 && !scaled) {
        scaled = true;
        g.cmdScale.Click();
      }
      if (h.MeasureReads() == 14 && h.app->flags.CollectRunning) g.cmdStopData.Click();
    };
    g.cmdCollectData.Click();
    // Nothing left on the old scale; the newest points, each on its row, and nothing drawn up to
    // the top.
    EXPECT_TRUE(ChartRows(h, 399, kTraceRed).empty() && ChartRows(h, 399, kTraceBlue).empty());
    EXPECT_EQ(ChartRows(h, 402, kTraceRed), (std::vector{c.alsRow - 1, c.alsRow, c.alsRow + 1}));
    const std::vector<int> blue = {c.proxRow - 1, c.proxRow, c.proxRow + 1};
    EXPECT_EQ(ChartRows(h, 402, kTraceBlue),
              std::vector(blue.begin(), blue.end() - (c.proxRow == kGraphRows - 1)));
    EXPECT_EQ(LabelBeside(h, c.proxRow, false), c.proxLabel);
    EXPECT_EQ(LabelBeside(h, c.alsRow, true), c.alsLabel);
  }

  // Automatic re-scale: from a proximity peak of 300 and an ALS/IR peak; in the main console
  // one scale for the larger, in the adaptive one a scale for each.
  struct Auto {
    ConsoleVariant variant;
    int alsPeak;
    const char *scale, *scale2;
    int top, top2;
  };
  for (const Auto& a :
       {Auto{Main, 200, " 345", "4095", 350, 350}, Auto{Main, 2000, " 2300", "4095", 2310, 2310},
        Auto{Adaptive, 2000, " 345", " 2300", 350, 2310}}) {
    SCOPED_TRACE(a.alsPeak);
    Console h(a.variant);
    for (int i = 0; i < 5; ++i)
      h.s.AddSample(10, 10);  // too few samples: said, and nothing changes
    h.w.graph.cmdAutoScale.Click();
    ASSERT_EQ(h.toolkit.messages.size(), 1u);
    EXPECT_EQ(h.w.chart.ScaleMax, 4096);
    for (int i = 5; i < 10; ++i) h.s.AddSample(i == 6 ? 300 : 10, i == 8 ? a.alsPeak : 10);
    // The new collection: proximity on the first line of the left column, ALS/IR on the fifth
    // of the right one.
    for (int i = 0; i < 11; ++i) h.Reply(a.top / 10, a.top2 / 2);
    h.Collect(11, h.w.graph.cmdAutoScale);
    EXPECT_EQ(h.w.graph.txtScale.text(), a.scale);
    EXPECT_EQ(h.w.graph.txtScale2.text(), a.scale2);
    EXPECT_EQ(h.w.chart.ScaleLabels[10], std::to_string(a.top));
    EXPECT_EQ(h.w.chart.ScaleLabels2[10], std::to_string(a.top2));
    EXPECT_EQ(ChartRows(h, 402, kTraceBlue), (std::vector{272, 273, 274}));
    EXPECT_EQ(ChartRows(h, 402, kTraceRed), (std::vector{152, 153, 154}));
  }
}

TEST(ConsoleChartTest, TheLuxFactorIsShownWithTheLuxReadingOnly) {
  for (ConsoleVariant v : {ConsoleVariant::Main, ConsoleVariant::Adaptive}) {
    Console h(v);
    MeasureControls& m = h.w.meas;
    EXPECT_EQ(m.lblKfactor.visible(), v == ConsoleVariant::Adaptive);
    h.w.config.OptMMode[1].Select();  // IR: no lux
    EXPECT_FALSE(m.lblKfactor.visible());
    h.w.config.OptMMode[0].Select();
    EXPECT_EQ(m.lblKfactor.visible(), h.w.txtReading.visible());
  }
}

}  // namespace
}  // namespace kps
