#include "scripting/script_window.h"

#include <cctype>

#include "core/text.h"
#include "scripting/script_windows.h"
#include "shell/app_context.h"

namespace kps {

namespace {

struct ColumnDesign {
  const char* header;
  int width;
};

constexpr ColumnDesign kColumns[kScriptColumnCount] = {
    {"Line", 64},   {"I2C Adr", 64},    {"Reg Adr", 64},  {"Data_Wr", 64},     {"Data_Rd", 64},
    {"Act_Rd", 64}, {"Operation", 124}, {"Comment", 200}, {"AD Decimal", 100},
};

constexpr int kInitialRows = 24;
constexpr int kEnter = 13;

}  // namespace

ScriptWindow::ScriptWindow(AppContext& app, ScriptWindows& owner) : app_(app), owner_(owner) {
  cmdAbort.setVisible(false);
  cmdReload2.setVisible(false);
  txtFilePath.setToolTip("Contains Path + File name where measurement data will be written.");
  cmdStartRec.setToolTip("Click here to save measurement to disk file.");
  cmdBrowse.setToolTip("Use this to select file where measurement data will be written.");
  chkAppend.setToolTip(
      "If check, data is appended to end of Measurement file, if uncheck file is overwritten "
      "with present data only.");
  lamps.ShpAttach.setToolTip("Board attached");
  lamps.Shp_USB_Transfer.setToolTip("Last transfer");

  vbalGrid1.onCellClick = [this](int row, int column) { RunRow(row, column); };
  txtI2CAdr.onKeyPress = [this](int key) { txtI2CAdr_KeyPress(key); };
  cmdExecAll.onClick = [this] { cmdExecAll_Click(); };
  cmdAbort.onClick = [this] { cmdAbort_Click(); };
  cmdRunContinuous.onClick = [this] { cmdRunContinuous_Click(); };
  cmdReload2.onClick = [this] { cmdReload2_Click(); };
  cmdBrowse.onClick = [this] { cmdBrowse_Click(); };
  cmdStartRec.onClick = [this] { cmdStartRec_Click(); };
  mnuScript_Read.onClick = [this] { ReadScriptFile(); };
  Dupform.onClick = [this] { Dupform_Click(); };
}

void ScriptWindow::DoEvents(int times) {
  for (int i = 0; i < times; ++i) app_.board.DoEvents();
}

void ScriptWindow::Pause(int milliseconds) {
  app_.toolkit.Sleep(milliseconds);
}

void ScriptWindow::Form_Load() {
  Active active(*this);
  loaded_ = true;
  LineTotal = 0;
  frmScriptExec.setVisible(false);
  form.setCaption(kNoScriptCaption);

  BoardLink& board = app_.board;
  board.StatusForm = &lamps;
  // The lamps show the link as it stands until the next transfer colours them.
  lamps.ShpAttach.setFillColor(board.DeviceAttached ? app_.colors.ColorGreen
                                                    : app_.colors.ColorRed);
  RunningAll = false;
  owner_.SavedI2CAddress = board.I2CWriteAddress;
  DoEvents();
  txtRunning.setText("1");

  for (int c = 0; c < kScriptColumnCount; ++c) {
    vbalGrid1.AddColumn(std::to_string(c + 1), kColumns[c].header, kColumns[c].width);
  }
  vbalGrid1.SetRowCount(kInitialRows);
  for (int c = 1; c <= 7; ++c) vbalGrid1.SetColumnCode(c, 2);
  vbalGrid1.SetColumnCode(kColComment, 0);
  DoEvents();
}

void ScriptWindow::Form_GotFocus() {
  if (loaded_) app_.board.StatusForm = &lamps;
}

void ScriptWindow::Form_Resize(int innerWidth, int innerHeight, bool minimized) {
  if (minimized) {
    DoEvents();
    return;
  }
  // The table fills the width with a margin and leaves room below it for the
  // controls; a window too small for that keeps the table's height.
  tableGeometry.left = 100;
  tableGeometry.width = innerWidth - 400;
  if (innerHeight >= 4000) tableGeometry.height = innerHeight - 3300;
}

void ScriptWindow::Unload() {
  if (!loaded_ || unloading_) return;
  Active active(*this);
  unloading_ = true;
  Form_Unload();
}

void ScriptWindow::Form_Unload() {
  unloading_ = true;
  loaded_ = false;
  app_.board.SetI2CAddress(owner_.SavedI2CAddress);
  form.setVisible(false);
}

void ScriptWindow::txtI2CAdr_KeyPress(int key) {
  if (key != kEnter || !loaded_) return;
  Active active(*this);
  if (RefuseWhileRunning()) return;
  std::string text = txtI2CAdr.text();
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  txtI2CAdr.setText(text);
  DoEvents();
  // FF is no address for a row: its read address would be 00. Whether taken
  // or refused, the box shows the address in force.
  txtI2CAdr.setText(HexByte(app_.board.I2CWriteAddress));
  if (app_.board.SetTypedI2CAddress(text, 0xFE)) {
    txtI2CAdr.setText(HexByte(app_.board.I2CWriteAddress));
    cmdReload2_Click();
  }
  DoEvents();
}

void ScriptWindow::Dupform_Click() {
  Active active(*this);
  DoEvents();
  owner_.OpenAnother();
}

bool ScriptWindow::RefuseWhileRunning() {
  if (!busy()) return false;
  app_.toolkit.ShowMessage(
      "The script's rows are running. Load or reload the script once the run has ended "
      "(\"Abort\" ends it after the current row).",
      MessageButtons::Ok);
  return true;
}

}  // namespace kps
