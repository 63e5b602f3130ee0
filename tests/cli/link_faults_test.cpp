// Every way an exchange with the board can fail, against every operation that
// reads the board, in both front ends: what the user sees (boxes, lamps,
// counters, messages) and that no failed reading becomes a value, a sample,
// a graph column, a line of a file or a passed check. It lives with the
// command-line tests because this is the one test program that links both.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "cli/in_process.h"
#include "scripting/script_window.h"
#include "support/opened_console.h"

namespace kps::test {
namespace {

enum class Hit { Timeout, Nak, Short, Unplug, Replug };
constexpr Hit kHits[] = {Hit::Timeout, Hit::Nak, Hit::Short, Hit::Unplug, Hit::Replug};
const char* Name(Hit hit) {
  constexpr const char* kNames[] = {"time-out", "NAK", "short reply", "unplug", "unplug + replug"};
  return kNames[static_cast<int>(hit)];
}
bool Unplugs(Hit hit) {
  return hit == Hit::Unplug || hit == Hit::Replug;
}

constexpr double kRed = 12, kBlack = 0;  // palette indices
constexpr const char* kNoDevice =
    "the board did not take the transfer (no device (disconnected or not open))";

// The frame after the next `skip` out frames on the pipe goes wrong: a fault
// of the board, or the board pulled out as it is sent (and, for a replug,
// plugged in again two event points later).
void Arm(RecordingTransport& t, Hit hit, int skip, sim::FaultPipe pipe = sim::FaultPipe::I2c) {
  switch (hit) {
    case Hit::Timeout:
      return t.board.InjectFault(sim::Fault::Timeout, 1, skip, pipe);
    case Hit::Nak:
      return t.board.InjectFault(sim::Fault::Nak, 1, skip, pipe);
    case Hit::Short:
      return t.board.InjectFault(sim::Fault::ShortReply, 1, skip, pipe);
    case Hit::Unplug:
    case Hit::Replug:
      const uint32_t out = pipe == sim::FaultPipe::I2c ? kI2cOutPipe : kGpioOutPipe;
      t.beforeTransfer = [&t, hit, out, left = skip](uint32_t p, bool read) mutable {
        if (read || p != out || left-- != 0) return;
        t.board.Unplug();
        if (hit == Hit::Replug) t.board.PlugAtPoll(2);
      };
  }
}

// How a failed read of `values` register values is named.
std::string Why(Hit hit, int values) {
  switch (hit) {
    case Hit::Timeout:
      return "no reply came (time-out)";
    case Hit::Nak:
      return "the chip at address 88 did not acknowledge (reply status 00)";
    case Hit::Short:
      return "the reply was short: 1 of " + std::to_string(values + 1) + " bytes";
    default:
      return kNoDevice;
  }
}

// A console open at 0x88 with CONF set for proximity and ALS (125 lux): the
// simulated chip reads 26 and 3276 (100 lux), never zero.
struct Rig : Opened {
  Rig() {
    board().I2C_WriteRegister(reg::kConf, 0xA4);
    transport.calls.clear();
    WatchComm(c().lamps);
  }
  void WatchComm(LinkLamps& lamps) {
    lamps.Shp_USB_Transfer.Subscribe([this, &lamps] {
      commWentRed = commWentRed || lamps.Shp_USB_Transfer.fillColor() == kRed;
    });
  }
  // What a failure shows besides the operation's own boxes: the detach's one
  // message for a board pulled out, none otherwise; Comm red at the failure.
  void ExpectLinkShown(Hit hit) {
    const std::vector<std::string> detach{kDetachMessage};
    EXPECT_EQ(toolkit.messages, Unplugs(hit) ? detach : std::vector<std::string>{});
    EXPECT_TRUE(commWentRed);
    EXPECT_EQ(board().DeviceAttached, hit != Hit::Unplug);
  }
  bool commWentRed = false;
  int MeasureFrames() const {
    return static_cast<int>(std::ranges::count(Sent(), std::vector<uint8_t>{3, 0x89, 0x08}));
  }
  // "Collect", and "Stop" once `readings` more readings were made.
  void Collect(int readings) {
    const int until = MeasureFrames() + readings;
    toolkit.onProcessEvents = [this, until] {
      if (MeasureFrames() >= until && app->flags.CollectRunning) c().graph.cmdStopData.Click();
    };
    c().graph.cmdCollectData.Click();
    toolkit.onProcessEvents = nullptr;
  }
  // Opens the script window and loads `text` from a file.
  ScriptWindow& Script(const std::string& text) {
    c().rec.mnuScript.Click();
    ScriptWindow& w = *app->scripts.open().front();
    std::ofstream(dir / "s.txt", std::ios::binary) << text;
    toolkit.fileAnswers.push_back(dir / "s.txt");
    w.mnuScript_Read.Click();
    transport.calls.clear();
    WatchComm(w.lamps);
    return w;
  }
  static std::string Counters(ScriptWindow& w) {
    return w.txttotReads.text() + "/" + w.txtRdPass.text() + "/" + w.txtRdFails.text();
  }
  ScratchDir dir{"faults"};
};

struct Operation {
  const char* name;
  std::function<void(Hit)> run;  // arms `hit` for the operation's frame, runs it, checks
};

const Operation kOperations[] = {
    {"register read",
     [](Hit hit) {
       Rig h;
       RegisterPanel& regs = h.c().regs;
       h.app->shared.caches.RegReadCache[1] = 0x5A;  // what an earlier read left
       regs.txtRegHex[1].setText("A4");              // a failed read must not look like a match
       Arm(h.transport, hit, 0);
       regs.cmdRDReg[1].Click();
       EXPECT_EQ(regs.txtRegRd[1].text(), "--");
       EXPECT_EQ(regs.ShpIndrd[1].fillColor(), kRed);
       EXPECT_EQ(h.app->shared.caches.RegReadCache[1], 0x5A);
       h.ExpectLinkShown(hit);
       if (hit != Hit::Replug) return;
       regs.txtRegHex[1].setText("86");
       regs.txtRegHex[1].onKeyPress(13);  // written and read back on the board that came back
       EXPECT_EQ(regs.txtRegRd[1].text(), "86");
       EXPECT_EQ(h.sim().chipRegister(1), 0x86);
     }},
    {"Read All",
     [](Hit hit) {
       Rig h;
       RegisterPanel& regs = h.c().regs;
       Arm(h.transport, hit, 0);
       regs.cmdReadAllRegs.Click();
       EXPECT_EQ(regs.txtRegRd[0].text(), "--");
       // The others were read, but not without a board (and no second message).
       EXPECT_EQ(regs.txtRegRd[15].text(), hit == Hit::Unplug ? "XX" : "00");
       h.ExpectLinkShown(hit);
     }},
    {"threshold read",
     [](Hit hit) {
       Rig h;
       InterruptControls& in = h.c().intr;
       for (int i = 0; i < 4; ++i) in.txtILow[i].setText("?"), in.txtIHigh[i].setText("?");
       Arm(h.transport, hit, 1);  // ATH2
       in.cmdReadILimits.Click();
       for (int i = 0; i < 4; ++i) EXPECT_EQ(in.txtILow[i].text() + in.txtIHigh[i].text(), "??");
       h.ExpectLinkShown(hit);
       if (hit != Hit::Replug) return;
       in.cmdReadILimits.Click();
       EXPECT_EQ(in.txtIHigh[0].text(), "4095");
     }},
    {"Read ADs",
     [](Hit hit) {
       Rig h;
       MeasureControls& m = h.c().meas;
       m.cmdReadAd.Click();
       ASSERT_EQ(m.lblMeasurements[2].caption(), " 3276");
       m.prox_sat_alert_lbl.setCaption("Yes");  // as a saturated reading left it
       m.prox_sat_alert_lbl.setBackColor(Rgb{255, 0, 0});
       h.c().txtReading.setText("0100.00");
       Arm(h.transport, hit, 0);
       m.cmdReadAd.Click();
       EXPECT_EQ(m.lblMeasurements[1].caption() + m.lblMeasurements[2].caption(), "----");
       EXPECT_EQ(h.c().regs.txtRegRd[reg::kProx].text(), "--");
       EXPECT_EQ(h.c().txtReading.text(), "");  // no lux
       EXPECT_EQ(m.prox_sat_alert_lbl.caption(), "Yes");
       EXPECT_EQ(h.app->shared.AlsIrCount, 3276);
       h.ExpectLinkShown(hit);
     }},
    {"collection pass",
     [](Hit hit) {
       Rig h;
       ConsoleWindow& c = h.c();
       ConsoleShared& s = h.app->shared;
       c.rec.txtFilePath.setText(h.dir / "m.csv");
       Arm(h.transport, hit, 20);  // the 21st reading fails
       h.Collect(26);
       EXPECT_EQ(s.FailedReadings, 1);
       EXPECT_EQ(c.graph.lblFailedReadings.caption(), "1 failed");
       // A board pulled out ends the collection at that reading; any other
       // failure only costs the sample, and the next pass reads again.
       const int samples = Unplugs(hit) ? 20 : 25;
       EXPECT_EQ(s.SampleIndex, samples);
       EXPECT_FALSE(h.app->flags.CollectRunning);
       for (int i = 0; i < samples; ++i) {
         const auto sample = s.OldestSample(i);
         EXPECT_EQ(sample.prox * 10000 + sample.als, 26 * 10000 + 3276) << i;
       }
       // No spike towards zero in the ALS/IR trace: nothing red below 2000 counts.
       const PixelSurface& graph = c.graph.Picture1.surface();
       for (int x = 0; x < 404; ++x) {
         for (int y = *c.chart.GraphRow(2000); y < 304; ++y) {
           ASSERT_NE(graph.Pixel(x, y), kTraceRed) << x << "," << y;
         }
       }
       c.rec.cmdStartRec[0].Click();
       const std::string file = FileText(h.dir / "m.csv");
       EXPECT_TRUE(Has(file, "Qty " + std::to_string(samples - 11)));
       EXPECT_FALSE(Has(file, ", 0, 0\r\n")) << file;
       EXPECT_TRUE(
           Has(c.graph.Label18.caption(), "written: 12-05-2026 10:35:12 (1 reading failed)"))
           << c.graph.Label18.caption();
       h.ExpectLinkShown(hit);
       if (hit != Hit::Replug) return;
       h.board().I2C_WriteRegister(reg::kConf, 0xA4);  // the power cycle cleared it
       h.Collect(2);
       EXPECT_EQ(s.SampleIndex, 2);
       EXPECT_EQ(s.NewestSample(0).als, 3276);
     }},
    {"GPIO exchange",
     [](Hit hit) {
       Rig h;
       ConsoleWindow& c = h.c();
       Arm(h.transport, hit, 0, sim::FaultPipe::Gpio);
       c.cmdISamples_Click();
       // Nothing was seen of the pin: it is not shown asserted and nothing beeps.
       EXPECT_EQ(c.intr.ShpINTexternal.fillColor(), kBlack);
       EXPECT_FALSE(h.app->shared.IntPinAsserted);
       EXPECT_EQ(h.toolkit.beeps, 0);
       EXPECT_EQ(c.intr.ShpIntrStatus[2].fillColor(), kRed);
       h.ExpectLinkShown(hit);
     }},
    {"script read row",
     [](Hit hit) {
       Rig h;
       ScriptWindow& w = h.Script("01,,00\n");  // what a read of nothing would look like
       h.board().I2C_WriteRegister(reg::kConf, 0x00);
       h.transport.calls.clear();
       Arm(h.transport, hit, 0);
       w.cmdExecAll.Click();
       EXPECT_EQ(w.vbalGrid1.text(1, kColActRd), "--");
       EXPECT_EQ(w.vbalGrid1.cell(1, kColActRd).back, kCellRed);
       EXPECT_EQ(w.vbalGrid1.cell(1, kColDataRd).back, kCellRed);
       EXPECT_EQ(Rig::Counters(w), "1/0/1");
       EXPECT_EQ(w.RowReadResult.Why(), Why(hit, 1));
       h.ExpectLinkShown(hit);
       if (hit != Hit::Replug) return;
       w.cmdExecAll.Click();  // the board that came back answers
       EXPECT_EQ(Rig::Counters(w), "1/1/0");
     }},
    {"script write row",
     [](Hit hit) {
       Rig h;
       ScriptWindow& w = h.Script("01,A5\n");
       Arm(h.transport, hit, 0);
       w.chkAOF.setChecked(true);
       w.cmdExecAll.Click();
       if (hit == Hit::Short) {
         // A write's reply is its status byte alone: nothing of it is missing.
         EXPECT_EQ(Rig::Counters(w), "0/0/0");
         return;
       }
       EXPECT_EQ(w.vbalGrid1.cell(1, kColDataWr).back, kCellRed);
       EXPECT_EQ(Rig::Counters(w), "0/0/1");
       EXPECT_TRUE(h.app->flags.AbortRequested);  // "Abort On fail" counts it
       h.ExpectLinkShown(hit);
       if (hit != Hit::Replug) return;
       w.cmdExecAll.Click();
       EXPECT_EQ(h.sim().chipRegister(1), 0xA5);
     }},
    {"kps-eval-cli collect",
     [](Hit hit) {
       ScratchDir dir("faults_collect");
       InProcess run({"--write", "01=A4", "collect", "--samples", "30", "--interval", "0",
                      "--record", dir / "m.csv"});
       Arm(run.transport, hit, 3 + 25);  // the write, its read-back, CONF; then reading 26
       const bool board = hit == Hit::Timeout || Unplugs(hit);
       EXPECT_EQ(run.Run(), board ? cli::kExitNoBoard : cli::kExitFailed);
       const std::string err = run.err.str();
       EXPECT_TRUE(Has(err, "Collection stopped: reading 26 failed and is not in the file: " +
                                Why(hit, 3) + "."))
           << err;
       EXPECT_EQ(Has(err, kDetachMessage), Unplugs(hit)) << err;
       const std::string file = FileText(dir / "m.csv");
       EXPECT_TRUE(Has(file, ", Qty 14\r\n")) << file;
       EXPECT_FALSE(Has(file, ", 0, 0\r\n")) << file;
       EXPECT_TRUE(Has(run.out.str(), "(1 reading failed) to ")) << run.out.str();
       if (hit != Hit::Unplug) return;
       // Pulled out too early for a file: still the board that went away.
       InProcess early({"--write", "01=A4", "collect", "--samples", "30", "--interval", "0",
                        "--record", dir / "e.csv"});
       Arm(early.transport, hit, 3 + 5);
       EXPECT_EQ(early.Run(), cli::kExitNoBoard);
       EXPECT_TRUE(Has(early.err.str(), "Save More Measurements")) << early.err.str();
     }},
    {"kps-eval-cli --format json measure",
     [](Hit hit) {
       InProcess run(
           {"--format", "json", "--write", "01=A4", "measure", "--count", "3", "--interval", "0"});
       Arm(run.transport, hit, 3 + 1);  // the write, its read-back, CONF, reading 1
       const bool board = hit == Hit::Timeout || Unplugs(hit);
       EXPECT_EQ(run.Run(), board ? cli::kExitNoBoard : cli::kExitFailed);
       const std::string out = run.out.str();
       EXPECT_TRUE(Has(out, "\"sample\":0,\"prox\":26,\"als_ir\":3276,")) << out;
       EXPECT_TRUE(
           Has(out, "\"sample\":1,\"prox\":null,\"als_ir\":null,\"lux\":null,\"ok\":false}\n"))
           << out;
       EXPECT_FALSE(Has(out, "\"sample\":2")) << out;
     }},
    {"kps-eval-cli collect --stream",
     [](Hit hit) {
       ScratchDir dir("faults_stream");
       InProcess run({"--format", "json", "--write", "01=A4", "collect", "--stream",
                      dir / "s.jsonl", "--samples", "30", "--interval", "0"});
       Arm(run.transport, hit, 3 + 25);  // reading 26, sample 25
       EXPECT_EQ(run.Run(), Unplugs(hit) ? cli::kExitNoBoard : cli::kExitFailed);
       // The failed reading is a record of its own; only a board pulled out
       // ends the stream there.
       std::istringstream file(FileText(dir / "s.jsonl"));
       std::vector<std::string> lines;
       for (std::string line; std::getline(file, line);) lines.push_back(line);
       ASSERT_EQ(lines.size(), Unplugs(hit) ? 26u : 30u);
       EXPECT_TRUE(
           Has(lines[24], "\"sample\":24,\"prox\":26,\"als_ir\":3276,\"lux\":100,\"ok\":true}"));
       EXPECT_TRUE(
           Has(lines[25], "\"sample\":25,\"prox\":null,\"als_ir\":null,\"lux\":null,\"ok\":false}"))
           << lines[25];
       EXPECT_TRUE(Has(lines.back(), "\"ok\":" + std::string(Unplugs(hit) ? "false" : "true")));
       EXPECT_TRUE(Has(run.err.str(), "1 of the " + std::to_string(lines.size()) +
                                          " readings failed: written with ok false and no counts."))
           << run.err.str();
       EXPECT_EQ(Has(run.err.str(), kDetachMessage), Unplugs(hit));
     }},
    {"kps-eval-cli sweep",
     [](Hit hit) {
       InProcess run({"--format", "json", "--write", "01=A4", "sweep", "prox-drive", "--samples",
                      "3", "--settle", "1", "--interval", "0"});
       // The write, its read-back, CONF twice (the lux range, the register
       // swept), 110 mA written and read back, four readings, 220 mA written
       // and read back, the reading dropped and the first sample; then the
       // second sample.
       Arm(run.transport, hit, 3 + 1 + 2 + 4 + 2 + 2);
       const bool board = hit == Hit::Timeout || Unplugs(hit);
       EXPECT_EQ(run.Run(), board ? cli::kExitNoBoard : cli::kExitFailed);
       std::istringstream out(run.out.str());
       std::vector<std::string> lines;
       for (std::string line; std::getline(out, line);) lines.push_back(line);
       ASSERT_EQ(lines.size(), 2u) << run.out.str();
       EXPECT_TRUE(Has(lines[0],
                       "{\"kind\":\"sweep\",\"field\":\"prox-drive\",\"value\":\"110\","
                       "\"failed\":0,\"prox_n\":3,\"prox_mean\":26,\"prox_sd\":0,"))
           << lines[0];
       // The failed reading is no sample; a board that takes no transfer ends the sweep.
       EXPECT_TRUE(Has(lines[1], std::string("\"value\":\"220\",\"failed\":1,\"prox_n\":") +
                                     (board ? "1" : "2") + ",\"prox_mean\":52,"))
           << lines[1];
       // The register gets its value back, unless the board lost it with its power.
       EXPECT_EQ(run.transport.board.chipRegister(reg::kConf), Unplugs(hit) ? 0x00 : 0xA4);
       EXPECT_EQ(Has(run.err.str(), "register 01 was not set back to A4: the board went away."),
                 Unplugs(hit))
           << run.err.str();
     }},
    {"kps-eval-cli script run",
     [](Hit hit) {
       ScratchDir dir("faults_script");
       std::ofstream(dir / "s.txt") << "00,,71\n00,,71\n00,,71\n";
       InProcess run({"script", "run", dir / "s.txt", "--export", dir / "s.csv"});
       Arm(run.transport, hit, 1);
       EXPECT_EQ(run.Run(), Unplugs(hit) ? cli::kExitNoBoard : cli::kExitFailed);
       const std::string out = run.out.str();
       EXPECT_TRUE(Has(out,
                       "line 002  Reg:1 R:1  adr 88  reg 00  expect 71  read --  FAIL (read "
                       "failed: " +
                           Why(hit, 1) + ")"))
           << out;
       // A board plugged in again is taken back and the run goes on with it.
       EXPECT_TRUE(Has(out, hit == Hit::Unplug ? "Total 3 Pass 1 Fail 2" : "Total 3 Pass 2 Fail 1"))
           << out;
       EXPECT_EQ(Has(run.err.str(), kDetachMessage), Unplugs(hit));
       EXPECT_TRUE(Has(FileText(dir / "s.csv"), "002,88,00,,71,--,")) << "exported all the same";
     }},
};

TEST(LinkFaultTest, NoFailedExchangeIsShownCountedOrRecordedAsAReading) {
  for (const Operation& op : kOperations) {
    for (Hit hit : kHits) {
      SCOPED_TRACE(std::string(op.name) + ", " + Name(hit));
      op.run(hit);
    }
  }
}

}  // namespace
}  // namespace kps::test
