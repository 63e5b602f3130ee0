// frmKPS7110 and its adaptive variant: the sensor console. One window design,
// configured by a variant that holds the differences between the two.
//
// The controls are grouped as the window groups them: the register panel, the
// configuration of register 1, the interrupt control of register 2 and the
// interrupt limits. The handlers of each group live in their own source file
// (register_panel.cpp, config_controls.cpp, interrupt_controls.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "acquisition/strip_chart.h"
#include "board/board_link.h"
#include "console/register_map.h"
#include "console/statistics_window.h"
#include "core/controls.h"

namespace kps {

class AppContext;

static_assert(kRegCount == kRegisterCount, "the link's pending flags cover every register");

enum class ConsoleVariant { Main, Adaptive };

// What differs between the main console and the adaptive console.
struct ConsoleDesign {
  const char* formName;
  const char* caption;
  uint8_t initialReg0;                           // RegWriteCache(0) of the starting image
  const char* sampleIntrsCaption;                // cmdSampleInternalIntrs
  const char* samplePinCaption;                  // cmdISamples
  std::array<const char*, 2> proxDriveCaptions;  // OptProxDr(0), OptProxDr(1)
  const char* registerAddresses;                 // Label5(0)
  const char* registerNames;                     // Label5(1)
  HighPacking highPacking;  // where the high ALS/IR threshold sits in ATH2/ATH3
  bool mirrorsIntrFlags;    // reading INTR colours the flag lamps and drives the LEDs
  // Shown at creation: Label16 and txtReading (lux), Label37 and txtScale2 (the
  // right label column's scale), cmdAutoScale, Frame22 (register 0 ID).
  bool showsExtras;
  const char* alsModeCaption;           // Label16 when "ALS" is selected
  const char* (*writeBoxTip)(int reg);  // design tool tip of txtRegHex(reg)
  const char* (*readBoxTip)(int reg);   // design tool tip of txtRegRd(reg)
  const char* collectingCaption;        // cmdCollectData while a collection runs
  const char* stopCaption;              // cmdStopData
};

const ConsoleDesign& DesignOf(ConsoleVariant variant);

// The values both consoles share for the whole run.
struct ConsoleShared {
  RegisterCaches caches;
  int32_t AlsLimitMin = 0;
  int32_t AlsLimitMax = 4095;
  int32_t ProxLimitMin = 0;
  int32_t ProxLimitMax = 255;
  bool LimitsReadPending = false;  // the threshold read found the bus busy and waits
  bool IntPinAsserted = false;     // the interrupt pin was low at the last sample
  // The lux conversion's range (0 = 2000 lux, 1 = 125 lux) and the number of
  // collection passes that skip the lux update after a range change.
  int LuxRangeIndex = 1;
  int LuxSettleCount = 0;
  std::array<double, 2> LuxFullScale{2000, 125};

  // The last measurement read.
  int32_t ProxCount = 0;
  int32_t AlsIrCount = 0;

  // The samples of the last (or running) collection, kept for recording and
  // automatic re-scale: all of them up to kHistorySize, then the newest
  // kHistorySize, each new sample dropping the oldest. Taking a sample costs
  // the same however long the collection runs.
  struct Sample {
    double prox = 1.0;
    double als = 1.0;
  };
  static constexpr int kHistorySize = 1010;
  // The number of samples held, 0 .. kHistorySize (the place of the next
  // sample in order). Kept by ClearHistory and AddSample; read it, never set it.
  int32_t SampleIndex = 0;
  void ClearHistory();
  void AddSample(double prox, double als);
  // The k-th oldest (k = 0 is the oldest) and the k-th newest (k = 0 is the
  // newest) of the samples held; k from 0 to SampleIndex - 1.
  Sample OldestSample(int k) const;
  Sample NewestSample(int k) const;
  // Samples taken since the history was cleared, the ones it dropped
  // included: a watcher tells each new sample by it once the history is full.
  int64_t SamplesTaken = 0;
  // Readings of the current collection that failed, and so are no samples.
  int32_t FailedReadings = 0;
  // How often the history was cleared (a collection started, by either
  // console): a watcher tells a new collection from the one it saw.
  uint64_t HistoriesCleared = 0;

 private:
  std::array<Sample, kHistorySize> history_{};
  int oldest_ = 0;  // where in history_ the oldest sample held is
};

// "Device Registers": any register by hand, the ID and the status text.
struct RegisterPanel {
  Frame Frame2{"Frame2", "Device Registers"};
  ControlArray<TextBox> txtRegHex{"txtRegHex", kRegCount, std::string()};
  ControlArray<Button> cmdWrtReg{"cmdWrtReg", kRegCount, std::string("Wr")};
  ControlArray<Button> cmdRDReg{"cmdRDReg", kRegCount, std::string("Rd")};
  ControlArray<TextBox> txtRegRd{"txtRegRd", kRegCount, std::string("XX")};
  ControlArray<Lamp> ShpIndwr{"ShpIndwr", kRegCount, std::string()};
  ControlArray<Lamp> ShpIndrd{"ShpIndrd", kRegCount, std::string()};
  Button cmdReadAllRegs{"cmdReadAllRegs", "Read All"};
  ControlArray<Label> Label5{"Label5", {"", ""}};
  Label Label22{"Label22", "Write\nRead"};
  Frame Frame22{"Frame22", "Register 0 ID"};
  Button cmdReadID{"cmdReadID", "Read ID"};
  Label lblID{"lblID", "--"};
  Label lblUSBStatis{"lblUSBStatis", "Label1"};
};

// "Register 1 Configure", the LED test and the communication test.
struct ConfigControls {
  Frame FrameReg1User{"FrameReg1User", "Register 1 Configure"};
  Frame Frame18{"Frame18", "Measure Mode"};
  OptionGroup OptMMode{"OptMMode", {"ALS", "IR"}, 0};
  CheckBox chkALSEnable{"chkALSEnable", "ALS / IR Enable"};
  Frame Frame17{"Frame17", "Range"};
  OptionGroup OptALSRange{"OptALSRange", {"2000 Lux", "125 Lux"}, 1};
  Frame Frame16{"Frame16", "IR Drive"};
  OptionGroup OptProxDr;
  Frame FrmIRLEd{"FrmIRLEd", "IR Led Sleep Time mSec"};
  OptionGroup OptIRSleep{
      "OptIRSleep", {"800", "400", "200", "100", "75", "50", "12.5", "Continuous"}, 0};
  CheckBox ChkPEnable{"ChkPEnable", "Prox Enable"};
  Label Label16{"Label16", "Lux Calculation"};
  ControlArray<CheckBox> ChKLed{"ChKLed", {"Test Red LED", "Test ORN LED"}};
  Frame frmMode{"frmMode", ""};
  OptionGroup OptMode{"OptMode", {"Test Comm"}, -1, 2};
  Label LblCommTest{"LblCommTest", "Fail"};

  explicit ConfigControls(const ConsoleDesign& design);
};

// "Register 2 Interrupt Control" and "Interrupt Limits".
struct InterruptControls {
  Frame fraINT{"fraINT", "Interrupt Limits"};
  Label Label15{"Label15", "Interrupt Limits          Dec        Hex"};
  ControlArray<Label> Label38{
      "Label38", {"ALS/ IR Upper ", "ALS / IR Lower ", "Prox  Lower ", "Prox  Upper "}};
  // Index 0 ALS/IR decimal, 1 ALS/IR hex, 2 proximity decimal, 3 proximity hex.
  ControlArray<TextBox> txtILow{"txtILow", {"0", "000", "0", "00"}};
  ControlArray<TextBox> txtIHigh{"txtIHigh", {"4095", "FFF", "255", "FF"}};
  Button cmdReadILimits{"cmdReadILimits", "Read"};
  Button cmdWrtILimits{"cmdWrtILimits", "Write"};
  Label lblILimitNote{"lblILimitNote", ""};
  ControlArray<Label> lblIlimitsformat{"lblIlimitsformat", 8, std::string()};
  ControlArray<CheckBox> ChkSampleInt{"ChkSampleInt",
                                      {"Poll External Intr.", "Poll I2C Interrupt"}};

  Frame FrameReg2User{"FrameReg2User", "Register 2 Interrupt Control"};
  Button cmdSampleInternalIntrs;
  Button cmdISamples;
  Frame Frame21{"Frame21", "Intr Pin"};
  OptionGroup OptEPIN{"OptEPIN", {"Or", "And"}, 0};
  Lamp ShpINTexternal{"ShpINTexternal", "Interrupt pin"};
  ControlArray<Lamp> ShpIntrStatus{"ShpIntrStatus",
                                   {"Proximity flag read", "ALS/IR flag read", "Pin sampled"}};
  Frame Frame19{"Frame19", "ALS / IR"};
  Frame Frame20{"Frame20", "Persistence"};
  OptionGroup optINTPALS{"optINTPALS", {"1", "4", "8", "16"}, 0};
  Button cmdALSClear{"cmdALSClear", "Clear"};
  Lamp ShpAIInter{"ShpAIInter", "ALS/IR interrupt"};
  Frame FrmProxiCtrl{"FrmProxiCtrl", "Proximity"};
  Frame Frame12{"Frame12", "Persistence"};
  OptionGroup optINTP{"optINTP", {"1", "4", "8", "16"}, 0};
  Button cmdPIClear{"cmdPIClear", "Clear"};
  Lamp ShpPintr{"ShpPintr", "Proximity interrupt"};
  CheckBox beep_on_int{"beep_on_int", "Beep on INT state change", true};

  explicit InterruptControls(const ConsoleDesign& design);
};

// "Last AD Reading": the measurement read, its counts and saturation indicators.
struct MeasureControls {
  Frame FrmMeasure{"FrmMeasure", "Last AD Reading"};
  Button cmdReadAd{"cmdReadAd", "Read ADs"};
  ControlArray<Label> lblMeasurements{"lblMeasurements",
                                      {"Prox", "Prox Count", "ALS/IR Count", "ALS / IR"}};
  Label Sat_Alert_Label{"Sat_Alert_Label", "Saturated?"};
  Label prox_sat_alert_lbl{"prox_sat_alert_lbl", "No"};
  Label alsir_sat_alert_lbl{"alsir_sat_alert_lbl", "No"};
  Lamp ShpMeas{"ShpMeas", "New reading"};
  Label lblKfactor{"lblKfactor", "1"};
  Label Label36{"Label36", "ADC Reading"};
  // Controls of the design that this program never shows.
  Label Label17{"Label17", ""};
  TextBox txtReading2{"txtReading2", ""};
  TextBox txtReading3{"txtReading3", ""};

  MeasureControls();
};

// The real-time graph with its scale and timing controls and the collection buttons.
struct GraphControls {
  Picture Picture2{"Picture2", 504, 360};  // the label panel; holds Picture1 at (52, 20)
  Picture Picture1{"Picture1", 404, 304};  // the graph
  Label lblRange{"lblRange", ""};
  TextBox txtScale{"txtScale", "25000"};
  TextBox txtScaleMin{"txtScaleMin", "0"};
  Label Label37{"Label37", "Scale 2 Max"};
  TextBox txtScale2{"txtScale2", "4095"};
  TextBox txtScaleMin2{"txtScaleMin2", "0"};
  Label lblTrig{"lblTrig", "Scale Max    Scale Min"};
  Button cmdScale{"cmdScale", "Manual Re-Scale"};
  Button cmdAutoScale{"cmdAutoScale", "Automatic Re-Scale"};
  Button cmdDrawTrace{"cmdDrawTrace", "DrawTrace"};
  Button cmdCollectData{"cmdCollectData", "Collect / Graph Real Time Data"};
  Button cmdStopData;
  Label Label18{"Label18", ""};
  Label lblLoop_Count{"lblLoop_Count", "0"};
  Label Label11{"Label11", "Captured Readings"};
  Label lblFailedReadings{"lblFailedReadings", ""};  // "2 failed" while any did
  Frame frmTimeBase{"frmTimeBase", "Graph Timing"};
  TextBox txtInterval{"txtInterval", "100"};
  Label lblIntervalNote{"lblIntervalNote", ""};  // says when the interval text is no number
  TextBox txtTime1{"txtTime1", ""};
  Label Label6{"Label6", "Meas.Time"};
  Label Label4{"Label4", "Loop Time"};
  Label Label7{"Label7", "mSec"};
  // Controls of the design that this program never shows.
  Button cmdCollect{"cmdCollect", ""};
  Label Label3{"Label3", ""};

  explicit GraphControls(const ConsoleDesign& design);
};

// "Save Measurements to File" and the window's menu.
struct RecordControls {
  Frame frmDataRecord{"frmDataRecord", "Save Measurements to File"};
  CheckBox chkAppend{"chkAppend", "Append"};
  Button cmdBrowse{"cmdBrowse", "Browse"};
  ControlArray<Button> cmdStartRec{"cmdStartRec", {"Write to Disk"}};
  TextBox txtFilePath{"txtFilePath", ""};
  MenuItem mnuMenu{"mnuMenu", "Menu"};
  MenuItem mnuSaveMeas{"mnuSaveMeas", "Save Measurements"};
  MenuItem mnuScript{"mnuScript", "Script"};
  MenuItem mnuStatistics{"mnuStatistics", "Statistics"};

  RecordControls();
};

class ConsoleWindow {
 public:
  ConsoleWindow(AppContext& app, ConsoleVariant variant);

  const ConsoleVariant variant;
  const ConsoleDesign& design;

  Form form;
  RegisterPanel regs;
  ConfigControls config;
  InterruptControls intr;
  MeasureControls meas;
  GraphControls graph;
  RecordControls rec;
  TextBox txtI2CADR{"txtI2CADR", "88"};
  TextBox txtReading{"txtReading", ""};  // the lux reading, under Label16
  // The graph's scale, traces, labels and saved background.
  StripChart chart;
  LinkLamps lamps;
  Label Label13{"Label13", "USB COMM"};
  Button Command4{"Command4", "Exit"};
  // "Statistics" in the menu: the figures of the samples a recording writes.
  StatisticsWindow stats;

  // Window life.
  void Show();
  void Form_Load();
  // Runs as the console loads, before it draws anything: a front end that
  // builds its window only when first needed builds it here.
  std::function<void()> onLoad;
  void Form_GotFocus();
  void Label13_DblClick();
  void Command4_Click();
  // Shows the script window; the console stays usable.
  void mnuScript_Click();
  // Closing the window: the session is closed and the program ends.
  void Form_QueryUnload();
  void Form_Unload();
  // Unloading by code ("Exit"): the query, then the unload, once.
  void Unload();
  bool loaded() const { return loaded_; }
  // True while the compact layout is shown (each console has its own).
  bool CompactView = false;

  // Register panel. A write or read returns false when it failed or found no
  // board; true when it was made or queued.
  bool cmdWrtReg_Click(int i);
  bool cmdRDReg_Click(int i);
  void cmdReadAllRegs_Click();
  void cmdReadID_Click();
  void txtRegHex_KeyPress(int i, int key);
  void txtRegHex_LostFocus(int i);
  void txtI2CADR_KeyPress(int key);
  void txtI2CADR_LostFocus();

  // Configuration of register 1, the LED test and the communication test.
  void OptMMode_Click(int index);
  void chkALSEnable_Click();
  void OptALSRange_Click(int index);
  void OptProxDr_Click(int index);
  void OptIRSleep_Click(int index);
  void ChkPEnable_Click();
  void ChKLed_Click(int index);
  void OptMode_Click(int index);

  // Interrupt control of register 2 and the interrupt limits.
  void optINTP_Click(int index);
  void optINTPALS_Click(int index);
  void OptEPIN_Click(int index);
  void cmdPIClear_Click();
  void cmdALSClear_Click();
  void cmdWrtILimits_Click();
  void cmdReadILimits_Click();
  void cmdSampleInternalIntrs_Click();
  void cmdISamples_Click();
  // Sends the GPIO state and leaves port B's pins in byte 0 of the transfer buffer.
  LinkResult Sample_PortB();

  // Measurement read and lux.
  void cmdReadAd_Click();
  // One reading of registers 8..10; false when no good reading was taken (no
  // board, the bus busy, the window closing, or the read failed).
  bool MeasurementRead();
  void LuxReading();
  // The lux of an ALS count in the conversion's range; none at full scale,
  // where the light may be anything above the range.
  std::optional<double> LuxOfCount(double alsCount) const;

  // Real-time collection: runs until CollectRunning is cleared.
  void CollectData();
  void StopCollection();

  // Graph scale, test trace and time axis.
  void cmdScale_Click();
  void cmdAutoScale_Click();
  void cmdDrawTrace_Click();
  void txtInterval_LostFocus();

  // How the last operation of each kind went, for a front end that drives the
  // window without looking at it (the command-line tool).
  std::array<LinkResult, kRegCount> RegReadResult{};
  std::array<LinkResult, kRegCount> RegWriteResult{};
  LinkResult MeasureResult;

  // Recording.
  void StartRecording(int index);
  void cmdBrowse_Click();
  void mnuSaveMeas_Click();
  void mnuStatistics_Click();

 private:
  void ConnectHandlers();
  void SetRegisterToolTips();
  void SetLimitFormats();
  // The start of a single-register operation: false when there is no board
  // (the not-connected failure) or the bus is busy (the operation queued);
  // otherwise UsbBusy is now set.
  bool ClaimBus(int i, bool write);
  // The register panel's answer to an operation without a board.
  void NotConnectedFailure(bool stopCollection);
  void MarkCommTestFailed();
  // Composes one field of CONF or INTR and writes the register.
  void UpdateField(RegField f, unsigned code);
  // Mirrors the INTR flags on the flag lamps and the port B LEDs.
  void ShowIntrFlags(uint8_t value);
  // Drives PB6/PB5 as outputs with the given data bits and exchanges the GPIO state.
  void DriveTestLeds(bool pb6High, bool pb5High);
  void ToggleGreen(Lamp& lamp);
  void SetI2CAddressFromText();
  // A register's write box: its value, the box cleaned up (nullopt, with a
  // message and the box back at the register's value, for text that is not one).
  std::optional<uint8_t> TakeRegisterEntry(int i);
  void RefuseRegisterText(int i);
  // What a failed measurement read shows: no counts, no lux.
  void ShowFailedReading();
  // The graph's load steps: scales, labels, traces, grid and background.
  void PrepareGraph();
  // Recording's default file: Data.csv in the folder the program started from.
  void SetDefaultRecordingPath();
  // Processes pending events; false once the window is closing, so a long
  // handler stops touching it.
  bool Pump();
  // What a collection pass keeps from one pass to the next.
  struct Pacing {
    int32_t interval = 50;
    uint32_t deadline = 0;
    uint32_t previousEnd = 0;
    int detaches = 0;  // the link's count when the collection started
  };
  void CollectionPass(Pacing& pacing);
  // The interval a collection uses: the number in txtInterval, or 50 ms when
  // the text is no number, which lblIntervalNote then says.
  int32_t IntervalInForce();
  // One failed reading more in this collection, shown beside the count.
  void CountFailedReading();
  // The saturation indicator: red "Yes" at full scale, black "No" below, only on a change.
  static void ShowSaturation(Label& indicator, int32_t count, int32_t full);
  uint8_t ReplyByte(std::size_t index) const;

  AppContext& app_;
  bool loaded_ = false;
  bool unloading_ = false;           // a close or "Exit" is under way or done
  bool readDeferred_ = false;        // "Read ADs" came while the bus was busy and waits
  unsigned collectionsStarted_ = 0;  // so a pass knows a collection was restarted inside it
};

}  // namespace kps
