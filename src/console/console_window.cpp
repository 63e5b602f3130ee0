#include "console/console_window.h"

#include <initializer_list>

#include "core/text.h"
#include "shell/app_context.h"

namespace kps {

namespace {

const char* MainWriteTip(int reg) {
  return reg == 15 ? "Display actual hex value of KPS7003 control Register. "
                   : "Hex value to write";
}
const char* MainReadTip(int reg) {
  return reg == 15 ? "Integration Counter MSB Value" : "Hex read-back of register";
}
const char* AdaptiveWriteTip(int reg) {
  return reg == 1 ? "Hex  Write value of KPS7003 control Register. "
                  : "Display actual hex value of KPS7003 control Register. ";
}
const char* AdaptiveReadTip(int reg) {
  if (reg == 0) return "Hex Read-Back value of Command Register";
  if (reg <= 3) return "Hex Read back of control register";
  if (reg == 4) return "ADC Readback LSB (7:0)";
  if (reg == 5) return "ADC Readback MSB (15:8)";
  if (reg == 6) return "Integration Counter LSB Value";
  return "Integration Counter MSB Value";
}

}  // namespace

const ConsoleDesign& DesignOf(ConsoleVariant variant) {
  static const ConsoleDesign kMain{
      .formName = "frmKPS7110",
      .caption = "KPS7110/20/60 ALS+PROX Evaluation Software",
      .initialReg0 = 0x00,
      .sampleIntrsCaption = "Meas INT bits",
      .samplePinCaption = "Meas INT pin",
      .proxDriveCaptions = {"110mA", "220mA"},
      .registerAddresses =
          " 0x0        0x1        0x2       0x3       0x4       0x5        0x6    "
          "    0x7        0x8       0x9       0xA       0xB       0xC      0xD    "
          "   0xE       0xF",
      .registerNames =
          " (n/a)      CONF     INTR     P_LT    P_HT    ATH1     ATH2     ATH3    "
          "PROX     ALS1    ALS2     (n/a)     (n/a)     (n/a)    TEST1  TEST2",
      .highPacking = HighPacking::LowNibbleInAth2,
      .mirrorsIntrFlags = true,
      .showsExtras = false,
      .alsModeCaption = "(In ALS-Mode)",
      .writeBoxTip = MainWriteTip,
      .readBoxTip = MainReadTip,
      .collectingCaption = "Real Time data display is executing, Click -Stop Data Acq.- to End",
      .stopCaption = "Stop Data Acquisition",
  };
  static const ConsoleDesign kAdaptive{
      .formName = "frmKPS7110_adaptive",
      .caption = "KPS7110/20/60 ALS+PROX Adaptive GUI",
      .initialReg0 = 0xA0,
      .sampleIntrsCaption = "Sample Intr ",
      .samplePinCaption = "Sample Pin7",
      .proxDriveCaptions = {"100mA", "200mA"},
      .registerAddresses =
          " R0         R1         R2         R3       R4        R5         R6    "
          "     R7         R8        R9        RA        RB        RC        RD   "
          "    RE        RF",
      .registerNames =
          " ID        CONF    INTR      PTHI   PTH2     ATH1    ATH2     ATH3     "
          "PDATA   ADT1   ADT2    XXXX     XXXX    TM1     TM2      TEN1",
      .highPacking = HighPacking::HighNibbleInAth2,
      .mirrorsIntrFlags = false,
      .showsExtras = true,
      .alsModeCaption = "Lux Calculation",
      .writeBoxTip = AdaptiveWriteTip,
      .readBoxTip = AdaptiveReadTip,
      .collectingCaption = "Real Time data display is executing, Click -Stop Real Time- to End",
      .stopCaption = "Stop  Data Acquisition",
  };
  return variant == ConsoleVariant::Main ? kMain : kAdaptive;
}

ConfigControls::ConfigControls(const ConsoleDesign& design)
    : OptProxDr("OptProxDr", {design.proxDriveCaptions[0], design.proxDriveCaptions[1]}, 0) {
  Label16.setVisible(design.showsExtras);
  LblCommTest.setBackColor(Rgb{255, 0, 0});
  LblCommTest.setForeColor(Rgb{255, 255, 255});
}

InterruptControls::InterruptControls(const ConsoleDesign& design)
    : cmdSampleInternalIntrs("cmdSampleInternalIntrs", design.sampleIntrsCaption),
      cmdISamples("cmdISamples", design.samplePinCaption) {
  const std::string low = "Enter Decimal value 0-";
  const std::string high = "Enter Decimal value 1-";
  txtILow[0].setToolTip(low + "4095 for Interrupt Low Threshold, click write to update device.");
  txtIHigh[0].setToolTip(high + "4095 for Interrupt High Threshold, click write to update device.");
  txtILow[2].setToolTip(low + "255 for Interrupt Low Threshold, click write to update device.");
  txtIHigh[2].setToolTip(high + "255 for Interrupt High Threshold, click write to update device.");
  for (int i : {1, 3}) {
    txtILow[i].setEnabled(false);
    txtIHigh[i].setEnabled(false);
    txtILow[i].setToolTip("Hex Value of Limit");
    txtIHigh[i].setToolTip("Hex Value of Limit");
  }
  ChkSampleInt[0].setToolTip("Check to Poll External Interrupt Status during data collection.");
  ChkSampleInt[1].setToolTip("Check to Interrupt ( via I2C Read) Status during data collection.");
  optINTP[3].setToolTip("Sets the Clock Cycle Integration Time");
  cmdALSClear.setToolTip("Clear ALS/IR Interrupt ");
  cmdPIClear.setToolTip("Clear Proximity Interrupt ");
  // The indicators' design colours: flags and pin dark, activity lamps dim.
  constexpr double kDarkGreen = 2;
  for (int i = 0; i < 3; ++i) ShpIntrStatus[i].setFillColor(kDarkGreen);
}

MeasureControls::MeasureControls() {
  for (Label* indicator : {&prox_sat_alert_lbl, &alsir_sat_alert_lbl}) {
    indicator->setBackColor(Rgb{0, 0, 0});
    indicator->setForeColor(Rgb{255, 255, 255});
  }
  constexpr double kDarkGreen = 2;
  ShpMeas.setFillColor(kDarkGreen);
  Label17.setVisible(false);
  txtReading2.setVisible(false);
  txtReading3.setVisible(false);
}

GraphControls::GraphControls(const ConsoleDesign& design)
    : cmdStopData("cmdStopData", design.stopCaption) {
  Picture1.setToolTip("Real Time Graph Display of Light Level.");
  cmdAutoScale.setToolTip(
      "If measurements are executing, click here for an automatic calculation of the Graph "
      "Scaling.");
  cmdCollectData.setToolTip(
      "Begins a continuous timer controller trigger, reading and display of the KPS700x Ambient "
      "Light Reading.");
  txtInterval.setToolTip("Operator Selected time between Measurement Triggers.");
  txtTime1.setToolTip("Actual Loop Measurement Time");
  lblFailedReadings.setForeColor(Rgb{255, 0, 0});
  lblFailedReadings.setToolTip(
      "Readings of this collection that failed (no reply, not acknowledged, short): they are "
      "not samples and are not in the file.");
  cmdStopData.setVisible(false);
  txtTime1.setVisible(false);
  Label6.setVisible(false);
  for (Control* extra : std::initializer_list<Control*>{&Label37, &txtScale2, &cmdAutoScale}) {
    extra->setVisible(design.showsExtras);
  }
  lblRange.setVisible(false);
  cmdCollect.setVisible(false);
  Label3.setVisible(false);
}

RecordControls::RecordControls() {
  chkAppend.setToolTip(
      "If check, data is appended to end of Measurement file, if uncheck file is overwritten "
      "with present data only.");
  cmdBrowse.setToolTip("Use this to select file where measurement data will be written.");
  cmdStartRec[0].setToolTip("Click here to save measurement to disk file.");
  txtFilePath.setToolTip("Contains Path + File name where measurement data will be written.");
}

ConsoleWindow::ConsoleWindow(AppContext& app, ConsoleVariant v)
    : variant(v),
      design(DesignOf(v)),
      form(design.formName, ""),
      config(design),
      intr(design),
      graph(design),
      stats(*this, app.toolkit, app.flags, app.shared),
      app_(app) {
  constexpr double kDarkGreen = 2;
  for (int i = 0; i < kRegCount; ++i) {
    regs.txtRegHex[i].setToolTip(design.writeBoxTip(i));
    regs.txtRegRd[i].setToolTip(design.readBoxTip(i));
    regs.ShpIndwr[i].setCaption("Write " + std::to_string(i));
    regs.ShpIndrd[i].setCaption("Read " + std::to_string(i));
    regs.ShpIndwr[i].setFillColor(kDarkGreen);
    regs.ShpIndrd[i].setFillColor(kDarkGreen);
  }
  regs.Label5[0].setCaption(design.registerAddresses);
  regs.Label5[1].setCaption(design.registerNames);
  regs.Frame22.setVisible(design.showsExtras);
  regs.lblUSBStatis.setVisible(false);
  txtReading.setVisible(design.showsExtras);
  // The lux factor is shown with the lux reading, and only with it.
  meas.lblKfactor.setVisible(txtReading.visible());
  txtReading.Subscribe([this] { meas.lblKfactor.setVisible(txtReading.visible()); });
  Label13.setToolTip("Double-click for the compact or the expanded layout");
  ConnectHandlers();
}

void ConsoleWindow::ConnectHandlers() {
  for (int i = 0; i < kRegCount; ++i) {
    regs.cmdWrtReg[i].onClick = [this, i] { cmdWrtReg_Click(i); };
    regs.cmdRDReg[i].onClick = [this, i] { cmdRDReg_Click(i); };
    regs.txtRegHex[i].onKeyPress = [this, i](int key) { txtRegHex_KeyPress(i, key); };
    regs.txtRegHex[i].onLostFocus = [this, i] { txtRegHex_LostFocus(i); };
  }
  regs.cmdReadAllRegs.onClick = [this] { cmdReadAllRegs_Click(); };
  regs.cmdReadID.onClick = [this] { cmdReadID_Click(); };
  txtI2CADR.onKeyPress = [this](int key) { txtI2CADR_KeyPress(key); };
  txtI2CADR.onLostFocus = [this] { txtI2CADR_LostFocus(); };

  config.OptMMode.onClick = [this](int i) { OptMMode_Click(i); };
  config.chkALSEnable.onClick = [this] { chkALSEnable_Click(); };
  config.OptALSRange.onClick = [this](int i) { OptALSRange_Click(i); };
  config.OptProxDr.onClick = [this](int i) { OptProxDr_Click(i); };
  config.OptIRSleep.onClick = [this](int i) { OptIRSleep_Click(i); };
  config.ChkPEnable.onClick = [this] { ChkPEnable_Click(); };
  for (int i = 0; i < 2; ++i) config.ChKLed[i].onClick = [this, i] { ChKLed_Click(i); };
  config.OptMode.onClick = [this](int i) { OptMode_Click(i); };

  intr.optINTP.onClick = [this](int i) { optINTP_Click(i); };
  intr.optINTPALS.onClick = [this](int i) { optINTPALS_Click(i); };
  intr.OptEPIN.onClick = [this](int i) { OptEPIN_Click(i); };
  intr.cmdPIClear.onClick = [this] { cmdPIClear_Click(); };
  intr.cmdALSClear.onClick = [this] { cmdALSClear_Click(); };
  intr.cmdWrtILimits.onClick = [this] { cmdWrtILimits_Click(); };
  intr.cmdReadILimits.onClick = [this] { cmdReadILimits_Click(); };
  intr.cmdSampleInternalIntrs.onClick = [this] { cmdSampleInternalIntrs_Click(); };
  intr.cmdISamples.onClick = [this] { cmdISamples_Click(); };

  meas.cmdReadAd.onClick = [this] { cmdReadAd_Click(); };
  graph.cmdCollectData.onClick = [this] { CollectData(); };
  graph.cmdStopData.onClick = [this] { StopCollection(); };
  graph.cmdScale.onClick = [this] { cmdScale_Click(); };
  graph.cmdAutoScale.onClick = [this] { cmdAutoScale_Click(); };
  graph.cmdDrawTrace.onClick = [this] { cmdDrawTrace_Click(); };
  graph.txtInterval.onLostFocus = [this] { txtInterval_LostFocus(); };
  rec.cmdStartRec[0].onClick = [this] { StartRecording(0); };
  rec.cmdBrowse.onClick = [this] { cmdBrowse_Click(); };
  rec.mnuSaveMeas.onClick = [this] { mnuSaveMeas_Click(); };
  rec.mnuScript.onClick = [this] { mnuScript_Click(); };
  rec.mnuStatistics.onClick = [this] { mnuStatistics_Click(); };

  Label13.onDblClick = [this] { Label13_DblClick(); };
  Command4.onClick = [this] { Command4_Click(); };
}

void ConsoleWindow::Show() {
  if (!loaded_) Form_Load();
  form.setVisible(true);
}

void ConsoleWindow::Form_Load() {
  if (onLoad) onLoad();
  loaded_ = true;
  BoardLink& board = app_.board;
  ConsoleShared& shared = app_.shared;
  board.StatusForm = &lamps;
  lamps.ShpAttach.setFillColor(app_.colors.ColorGreen);
  app_.flags.AbortRequested = false;
  app_.flags.CollectRunning = false;
  shared.LimitsReadPending = false;
  form.setCaption(design.caption);
  board.UsbBusy = false;
  board.DropQueued();
  readDeferred_ = false;
  shared.LuxSettleCount = 0;
  shared.LuxFullScale = {2000, 125};
  shared.LuxRangeIndex = 1;
  chart.AxisTitle = {"AD Cnt", "AD Cnt"};
  SetRegisterToolTips();
  board.BoardPipe = kI2cOutPipe;
  SetLimitFormats();
  meas.Label36.setVisible(false);
  InitColors(app_.colors);
  config.LblCommTest.setVisible(false);
  meas.Label17.setVisible(false);
  meas.txtReading2.setVisible(false);
  meas.txtReading3.setVisible(false);

  // The starting image; nothing goes to the chip.
  shared.caches.RegWriteCache = InitialImage(design.initialReg0);
  for (int i = 0; i < kRegCount; ++i) {
    regs.txtRegHex[i].setText(HexByte(shared.caches.RegWriteCache[static_cast<std::size_t>(i)]));
  }

  SetDefaultRecordingPath();
  graph.txtInterval.setText("50");
  app_.flags.CollectRunning = false;
  board.DoEvents();

  PrepareGraph();

  config.frmMode.setVisible(true);
  graph.frmTimeBase.setVisible(true);
  CompactView = true;
  Label13_DblClick();  // to the expanded layout
  for (int i = 0; i < 3; ++i) board.DoEvents();
}

void ConsoleWindow::SetRegisterToolTips() {
  for (int i = 0; i <= 8; ++i) {
    const std::string n = std::to_string(i);
    regs.txtRegHex[i].setToolTip("Enter Hex value, Press Enter" + n);
    regs.txtRegRd[i].setToolTip("Rd Hex Value" + n);
    regs.cmdWrtReg[i].setToolTip("Click to Write to Register " + n);
    regs.cmdRDReg[i].setToolTip("Click to Read from Register " + n);
  }
}

void ConsoleWindow::SetLimitFormats() {
  ConsoleShared& s = app_.shared;
  s.AlsLimitMin = 0;
  s.AlsLimitMax = 4095;
  s.ProxLimitMin = 0;
  s.ProxLimitMax = 255;
  s.LimitsReadPending = false;
  auto& f = intr.lblIlimitsformat;
  f[0].setCaption("ALS_IR Single Polarity");
  f[1].setCaption("12 Bits");
  f[2].setCaption(std::to_string(s.AlsLimitMax) + " Max");
  f[3].setCaption(std::to_string(s.AlsLimitMin) + " Min");
  f[4].setCaption("Prox Single Polarity");
  f[5].setCaption("8 Bits");
  f[6].setCaption(std::to_string(s.ProxLimitMax) + " Max");
  f[7].setCaption(std::to_string(s.ProxLimitMin) + " Min");
}

void ConsoleWindow::Form_GotFocus() {
  app_.board.StatusForm = &lamps;
}

void ConsoleWindow::Label13_DblClick() {
  CompactView = !CompactView;
  regs.Frame2.setVisible(!CompactView);
  graph.frmTimeBase.setVisible(!CompactView);
  rec.frmDataRecord.setVisible(!CompactView);
  if (CompactView) {
    // These stay hidden when the expanded layout comes back.
    for (Control* c :
         std::initializer_list<Control*>{&graph.cmdCollect, &graph.Label3, &meas.Label17,
                                         &meas.txtReading2, &meas.txtReading3}) {
      c->setVisible(false);
    }
  }
  app_.board.DoEvents();
}

void ConsoleWindow::Command4_Click() {
  app_.flags.AbortRequested = true;
  app_.flags.CollectRunning = false;
  app_.about.Unload();
  app_.scripts.UnloadAll();
  app_.startup.Unload();  // closes the board session and ends the program
  Unload();
}

void ConsoleWindow::mnuScript_Click() {
  app_.scripts.ShowDefault();
  app_.board.DoEvents();
}

void ConsoleWindow::mnuStatistics_Click() {
  stats.Show();
  app_.board.DoEvents();
}

void ConsoleWindow::Unload() {
  // A second close while the first processes events does nothing more.
  if (unloading_) return;
  unloading_ = true;
  // A collection that runs below this handler ends at its next event point.
  app_.flags.CollectRunning = false;
  Form_QueryUnload();
  Form_Unload();
}

void ConsoleWindow::Form_QueryUnload() {
  app_.board.USB_Close();
  app_.board.DoEvents();
}

void ConsoleWindow::Form_Unload() {
  unloading_ = true;
  app_.flags.CollectRunning = false;
  stats.Close();
  form.setVisible(false);
  app_.startup.Unload();
}

}  // namespace kps
