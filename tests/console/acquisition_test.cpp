// The console's measurement read, collection loop, graph buttons and
// recording, driven as a user drives them, against the simulated board (or
// scripted replies where exact counts matter).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "support/file_text.h"
#include "support/opened_console.h"

namespace kps {
namespace {

using test::Opened;
using Bytes = std::vector<uint8_t>;

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
  int MeasureReads() const {
    int n = 0;
    for (const auto& f : transport.Frames()) n += f.op == "out" && f.bytes == kMeasureFrame;
    return n;
  }
  // Collects until `samples` reads are made, then clicks "Stop" at the next event point.
  void Collect(int samples) {
    const int before = MeasureReads();
    toolkit.onProcessEvents = [this, samples, before] {
      if (MeasureReads() - before >= samples && app->flags.CollectRunning) {
        w.graph.cmdStopData.Click();
      }
    };
    w.graph.cmdCollectData.Click();
    toolkit.onProcessEvents = nullptr;
  }
  uint32_t GraphPixel(int x, int y) const { return w.graph.Picture1.surface().Pixel(x, y); }
  std::vector<std::string> LabelTexts() const {
    std::vector<std::string> out;
    auto& panel = dynamic_cast<const MemorySurface&>(w.graph.Picture2.surface());
    for (const auto& t : panel.texts()) out.push_back(t.text);
    return out;
  }
};

bool Has(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST(ConsoleAcquisitionTest, LoadPreparesTheGraphAndTheRecordingWithoutTouchingTheChip) {
  for (ConsoleVariant v : {ConsoleVariant::Main, ConsoleVariant::Adaptive}) {
    Console h(v);
    ConsoleWindow& w = h.w;
    EXPECT_EQ(h.framesAtOpen, 0u);
    EXPECT_EQ(w.graph.txtInterval.text(), "50");
    EXPECT_EQ(w.chart.ScaleMax, 4096);
    EXPECT_EQ(w.chart.ScaleLabels[10], "4100");
    EXPECT_EQ(w.chart.ScaleLabels2, w.chart.ScaleLabels);
    EXPECT_EQ(w.chart.TimeLabels[10], "400");
    const std::filesystem::path file = w.rec.txtFilePath.text();
    EXPECT_TRUE(file.is_absolute());
    EXPECT_EQ(file.filename(), "Data.csv");
    // The grid is on the graph and is the background a restore brings back.
    w.graph.Picture1.surface().SetPixel(40, 100, kWhite);
    w.chart.RestoreGraph(w.graph.Picture1.surface());
    EXPECT_EQ(h.GraphPixel(40, 100), kBlack);
    EXPECT_EQ(h.GraphPixel(41, 100), kWhite);
    const auto labels = h.LabelTexts();
    EXPECT_TRUE(Has(labels, "04100"));
    EXPECT_TRUE(Has(labels, "AD Cnt"));
    EXPECT_TRUE(Has(labels, "                     Total 400 Samples"));
    EXPECT_EQ(w.graph.cmdAutoScale.visible(), v == ConsoleVariant::Adaptive);
    EXPECT_FALSE(w.graph.cmdStopData.visible());

    // The compact layout hides the timing and recording frames; the expanded
    // one brings back only the frames.
    w.graph.cmdCollect.setVisible(true);
    w.Label13.DblClick();
    EXPECT_FALSE(w.graph.frmTimeBase.visible());
    EXPECT_FALSE(w.rec.frmDataRecord.visible());
    w.Label13.DblClick();
    EXPECT_TRUE(w.graph.frmTimeBase.visible());
    EXPECT_TRUE(w.rec.frmDataRecord.visible());
    EXPECT_FALSE(w.graph.cmdCollect.visible());
  }
}

TEST(ConsoleAcquisitionTest, ReadShowsCountsBytesAndSaturationTransitions) {
  Console h;
  MeasureControls& m = h.w.meas;
  int proxWrites = 0;
  m.prox_sat_alert_lbl.Subscribe([&] { ++proxWrites; });

  h.Reply(5, 0x0FFF);
  m.cmdReadAd.Click();
  EXPECT_EQ(h.transport.Frames()[0].bytes, kMeasureFrame);
  EXPECT_EQ(h.w.regs.txtRegRd[8].text(), "05");
  EXPECT_EQ(h.w.regs.txtRegRd[9].text(), "FF");
  EXPECT_EQ(h.w.regs.txtRegRd[10].text(), "0F");
  EXPECT_EQ(m.lblMeasurements[1].caption(), " 5");
  EXPECT_EQ(m.lblMeasurements[2].caption(), " 4095");
  EXPECT_EQ(m.alsir_sat_alert_lbl.caption(), "Yes");
  EXPECT_EQ(m.alsir_sat_alert_lbl.backColor(), (Rgb{255, 0, 0}));
  EXPECT_EQ(m.ShpMeas.fillColor(), h.app->colors.ColorGreen);

  struct Step {
    int prox;
    const char* shown;
    int writes;  // changes of the indicator so far
  } steps[] = {{255, "Yes", 2}, {254, "No", 4}, {255, "Yes", 6}, {255, "Yes", 6}};
  for (const Step& step : steps) {
    h.Reply(step.prox, 100);
    m.cmdReadAd.Click();
    EXPECT_EQ(m.prox_sat_alert_lbl.caption(), step.shown) << step.prox;
    EXPECT_EQ(proxWrites, step.writes) << step.prox;
  }
  EXPECT_EQ(m.alsir_sat_alert_lbl.caption(), "No");
  // The heartbeat alternates at every read.
  EXPECT_EQ(m.ShpMeas.fillColor(), h.app->colors.ColorGreen);
}

TEST(ConsoleAcquisitionTest, ReadADsDuringAReadWaitsForItInsteadOfNesting) {
  Console h;
  std::string waiting;
  int clicks = 0;
  h.toolkit.onProcessEvents = [&] {
    if (h.app->board.UsbBusy && clicks++ == 0) {
      h.w.meas.cmdReadAd.Click();
      waiting = h.w.regs.lblUSBStatis.caption();
    }
  };
  h.w.meas.cmdReadAd.Click();
  EXPECT_EQ(waiting, "Rd_AD Waiting");
  EXPECT_EQ(h.MeasureReads(), 2);
  // One read's frame and reply after the other, never interleaved.
  const auto frames = h.transport.Frames();
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0].op + frames[1].op + frames[2].op + frames[3].op, "outinoutin");
  EXPECT_FALSE(h.app->board.UsbBusy);
}

TEST(ConsoleAcquisitionTest, ReadWithoutBoardFailsOnceAndStopsCollecting) {
  Console h;
  h.sim().Unplug();
  h.app->board.DoEvents();
  h.transport.calls.clear();
  h.toolkit.messages.clear();  // the detach's own
  h.app->flags.CollectRunning = true;
  h.w.meas.cmdReadAd.Click();
  EXPECT_EQ(h.toolkit.messages, std::vector<std::string>{"USB is not Connected"});
  EXPECT_EQ(h.w.config.LblCommTest.caption(), "Fail");
  EXPECT_FALSE(h.app->flags.CollectRunning);
  EXPECT_TRUE(h.transport.Frames().empty());
}

TEST(ConsoleAcquisitionTest, LuxFollowsRangeSaturationAndSettleCount) {
  Console h;
  ConsoleWindow& w = h.w;
  struct Case {
    int range;  // OptALSRange index
    const char* count;
    const char* lux;
  } cases[] = {{1, " 2048", "0062.52"},
               {0, " 4094", "1999.51"},
               {0, " 4095", ">=2000"},
               {1, " 4095", ">=125"},
               {1, "ALS/IR Count", "0000.00"}};
  for (const Case& c : cases) {
    w.config.OptALSRange[c.range].setValue(true);
    h.s.LuxRangeIndex = c.range;
    h.s.LuxSettleCount = 0;
    w.meas.lblMeasurements[2].setCaption(c.count);
    w.LuxReading();
    EXPECT_EQ(w.txtReading.text(), c.lux) << c.count;
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
  std::vector<uint32_t> transferTimes;
  std::string runningCaption;
  bool runningEnabled = true, exitShown = true;
  h.transport.duringTransfer = [&] {
    transferTimes.push_back(h.toolkit.now);
    runningCaption = w.graph.cmdCollectData.caption();
    runningEnabled = w.graph.cmdCollectData.enabled();
    exitShown = w.Command4.visible();
  };
  for (int i = 0; i < 21; ++i) h.Reply(100, 2048);
  h.Collect(10);
  EXPECT_EQ(w.graph.lblLoop_Count.caption(), "0");
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
  const auto frames = h.transport.Frames();
  std::vector<uint32_t> readTimes;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    if (frames[i].bytes == kMeasureFrame) readTimes.push_back(transferTimes[i]);
  }
  ASSERT_EQ(readTimes.size(), 21u);
  for (std::size_t i = 1; i < 10; ++i) EXPECT_EQ(readTimes[i] - readTimes[i - 1], 47u) << i;
  EXPECT_EQ(w.graph.cmdCollectData.caption(), "Collect Data Graphical Real Time Data");
  EXPECT_TRUE(w.graph.cmdCollectData.enabled());
  EXPECT_FALSE(w.graph.cmdStopData.visible());
  EXPECT_TRUE(w.Command4.visible());
  EXPECT_EQ(w.graph.Label18.caption(), "Data Collection Halted");
}

TEST(ConsoleAcquisitionTest, HistoriesHoldTheNewestSampleInTheLastSlot) {
  Console h;
  for (int i = 0; i < 1011; ++i) h.Reply(i % 256, i);
  h.Collect(1011);
  EXPECT_EQ(h.s.SampleIndex, 1010);
  EXPECT_EQ(h.s.ProxHistory[1010], 1010 % 256);
  EXPECT_EQ(h.s.AlsHistory[1010], 1010);
  EXPECT_EQ(h.s.AlsHistory[1009], 1009);
  EXPECT_EQ(h.w.graph.lblLoop_Count.caption(), " 1000");
}

TEST(ConsoleAcquisitionTest, RegisterOperationsClickedDuringCollectionFollowTheNextRead) {
  Console h;
  ConsoleWindow& w = h.w;
  w.regs.txtRegHex[3].setText("12");
  w.regs.txtRegHex[1].setText("84");
  bool clicked = false;
  h.toolkit.onProcessEvents = [&] {
    // Inside the read, with the bus held: all three are queued.
    if (h.app->board.UsbBusy && !clicked) {
      clicked = true;
      w.regs.cmdRDReg[1].Click();
      w.regs.cmdWrtReg[3].Click();
      w.regs.cmdWrtReg[1].Click();
      EXPECT_EQ(w.regs.lblUSBStatis.caption(), "Wrt_Reg Waiting1");
    }
    if (h.MeasureReads() >= 2 && h.app->flags.CollectRunning) w.graph.cmdStopData.Click();
  };
  w.graph.cmdCollectData.Click();
  std::vector<Bytes> sent;
  for (const auto& f : h.transport.Frames()) {
    if (f.op == "out" && f.pipe == 2) sent.push_back(f.bytes);
  }
  ASSERT_GE(sent.size(), 4u);
  EXPECT_EQ(sent[0], kMeasureFrame);
  EXPECT_EQ(sent[1], (Bytes{0, 0x88, 1, 0x84}));
  EXPECT_EQ(sent[2], (Bytes{0, 0x88, 3, 0x12}));
  EXPECT_EQ(sent[3], (Bytes{1, 0x89, 1}));
  EXPECT_FALSE(h.app->board.RegOpsPending);
}

TEST(ConsoleAcquisitionTest, StopDuringTheWaitCompletesThatPass) {
  Console h;
  ConsoleWindow& w = h.w;
  w.graph.txtInterval.setText("1000");
  int readsAtStop = -1;
  h.toolkit.onProcessEvents = [&] {
    if (h.MeasureReads() == 1 && readsAtStop < 0 && h.toolkit.now > 1200) {
      readsAtStop = h.MeasureReads();
      w.graph.cmdStopData.Click();
    }
  };
  w.graph.cmdCollectData.Click();
  EXPECT_EQ(readsAtStop, 1);
  EXPECT_EQ(h.MeasureReads(), 2);  // the pass under way still read
  EXPECT_EQ(h.s.SampleIndex, 2);
  EXPECT_GE(h.toolkit.now, 1997u);
}

TEST(ConsoleAcquisitionTest, FaultyEntriesNeitherStopNorBreakTheLoop) {
  Console h;
  ConsoleWindow& w = h.w;
  // No number: 50 ms, and the box keeps its text.
  w.graph.txtInterval.setText("fast");
  // No span: the rows stay as they were.
  w.graph.txtScale.setText("-1");
  w.graph.txtScaleMin.setText("0");
  w.graph.cmdScale.Click();
  ASSERT_EQ(w.chart.ScaleMax, w.chart.ScaleMin);
  for (int i = 0; i < 15; ++i) h.Reply(100, 100);
  h.Collect(15);
  EXPECT_EQ(h.s.SampleIndex, 15);
  EXPECT_EQ(w.graph.txtInterval.text(), "fast");
  EXPECT_EQ(w.chart.AlsTrace[403], 1);
  EXPECT_EQ(w.graph.lblLoop_Count.caption(), " 5");
}

TEST(ConsoleAcquisitionTest, ScaleButtonsAndTheIntervalRedrawTheLabels) {
  Console h;
  ConsoleWindow& w = h.w;
  w.graph.txtScale.setText("599");
  w.graph.txtScaleMin.setText("100");
  w.graph.cmdScale.Click();
  EXPECT_EQ(w.chart.ScaleMax, 600);
  EXPECT_EQ(w.chart.ScaleLabels[1], "150");
  EXPECT_TRUE(Has(h.LabelTexts(), "00600"));
  EXPECT_EQ(w.chart.ScaleLabels2[10], "4100");  // the right column stays

  struct Case {
    int peak;
    const char* scale;
    int32_t max;
    const char* top;
  } cases[] = {{300, " 345", 346, "350"}, {200, " 229", 230, "230"}};
  for (const Case& c : cases) {
    h.s.SampleIndex = 10;
    h.s.ProxHistory.fill(10);
    h.s.ProxHistory[4] = c.peak;
    h.app->flags.CollectRunning = true;
    // Re-scaling starts a new collection; stop it after its first read.
    for (int i = 0; i < 2; ++i) h.Reply(50, 50);
    const int before = h.MeasureReads();
    h.toolkit.onProcessEvents = [&] {
      if (h.MeasureReads() > before && h.app->flags.CollectRunning) w.graph.cmdStopData.Click();
    };
    w.graph.cmdAutoScale.Click();
    h.toolkit.onProcessEvents = nullptr;
    EXPECT_EQ(w.graph.txtScale.text(), c.scale);
    EXPECT_EQ(w.chart.ScaleMax, c.max);
    EXPECT_EQ(w.chart.ScaleLabels[10], c.top);
    EXPECT_EQ(w.chart.ScaleLabels2, w.chart.ScaleLabels);
    EXPECT_EQ(w.chart.AxisTitle[0], "Scaled");
    EXPECT_EQ(h.s.SampleIndex, 1);  // the new collection's histories
  }
  // Too few samples: nothing changes.
  h.s.SampleIndex = 5;
  w.graph.cmdAutoScale.Click();
  EXPECT_EQ(w.chart.ScaleMax, 230);

  w.graph.txtInterval.setText("10");
  h.app->flags.CollectRunning = true;
  w.graph.txtInterval.onLostFocus();
  EXPECT_FALSE(h.app->flags.CollectRunning);
  EXPECT_EQ(w.chart.TimeLabels[1], ".40");
  EXPECT_TRUE(Has(h.LabelTexts(), "4.00"));
}

struct TempFolder {
  TempFolder()
      : path(std::filesystem::temp_directory_path() / ("kps_rec_" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(path);
  }
  ~TempFolder() { std::filesystem::remove_all(path); }
  std::filesystem::path path;
};

TEST(ConsoleAcquisitionTest, WriteToDiskRecordsTheCollectionAfterItsFirstElevenSamples) {
  Console h;
  ConsoleWindow& w = h.w;
  TempFolder folder;
  const auto file = folder.path / "m.csv";
  w.rec.txtFilePath.setText(file.string());

  w.rec.cmdStartRec[0].Click();
  EXPECT_EQ(h.toolkit.messages, std::vector<std::string>{"Save More Measurements"});
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
  w.rec.txtFilePath.setText((folder.path / "missing" / "m.csv").string());
  w.rec.cmdStartRec[0].Click();
  ASSERT_EQ(h.toolkit.messages.size(), 2u);
  EXPECT_NE(h.toolkit.messages[1].find("No such file or directory"), std::string::npos);
  EXPECT_EQ(w.graph.Label18.caption(), "");
  EXPECT_EQ(test::FileText(file), file2);

  // Browse proposes nothing and takes what the user chose; a cancel changes nothing.
  h.toolkit.fileAnswers = {"/tmp/chosen.txt", ""};
  w.rec.cmdBrowse.Click();
  w.rec.cmdBrowse.Click();
  EXPECT_EQ(w.rec.txtFilePath.text(), "/tmp/chosen.txt");
  ASSERT_EQ(h.toolkit.fileDialogs.size(), 2u);
  EXPECT_EQ(h.toolkit.fileDialogs[0].title, "Select File For Recording");
  EXPECT_EQ(h.toolkit.fileDialogs[0].filter, "All Files (*.*)|*.*|KPS700x Data Files(*.txt)|*.txt");
}

TEST(ConsoleAcquisitionTest, ClosingTheConsoleDuringCollectionEndsCleanly) {
  Console h;
  ConsoleWindow& w = h.w;
  int readsAtClose = -1;
  h.toolkit.onProcessEvents = [&] {
    if (h.MeasureReads() == 3 && readsAtClose < 0) {
      readsAtClose = 3;
      w.Unload();  // the close box
    }
  };
  w.graph.cmdCollectData.Click();
  EXPECT_EQ(readsAtClose, 3);
  EXPECT_EQ(h.MeasureReads(), 3);
  EXPECT_TRUE(h.toolkit.messages.empty());
  EXPECT_TRUE(h.app->ended());
  EXPECT_EQ(h.Count("uninit"), 1);  // the board session closed once
}

TEST(ConsoleAcquisitionTest, AdaptiveConsoleNamesItsOwnStopButton) {
  Console h(ConsoleVariant::Adaptive);
  std::string running;
  h.toolkit.onProcessEvents = [&] {
    if (!h.app->flags.CollectRunning) return;
    running = h.w.graph.cmdCollectData.caption();
    h.w.graph.cmdStopData.Click();
  };
  h.w.graph.cmdCollectData.Click();
  EXPECT_EQ(running, "Real Time data display is executing, Click -Stop Real Time- to End");
  EXPECT_EQ(h.w.graph.cmdStopData.caption(), "Stop  Data Acquisition");
}

}  // namespace
}  // namespace kps
