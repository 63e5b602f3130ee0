#include "console/console_window.h"

#include "shell/app_context.h"

namespace kps {

const ConsoleDesign& DesignOf(ConsoleVariant variant) {
  static const ConsoleDesign kMain{"frmKPS7110", "KPS7110/20/60 ALS+PROX Evaluation Software"};
  static const ConsoleDesign kAdaptive{"frmKPS7110_adaptive",
                                       "KPS7110/20/60 ALS+PROX Adaptive GUI"};
  return variant == ConsoleVariant::Main ? kMain : kAdaptive;
}

ConsoleWindow::ConsoleWindow(AppContext& app, ConsoleVariant v)
    : variant(v), design(DesignOf(v)), form(design.formName, ""), app_(app) {
  Command4.onClick = [this] { Command4_Click(); };
}

void ConsoleWindow::Show() {
  if (!loaded_) Form_Load();
  form.setVisible(true);
}

void ConsoleWindow::Form_Load() {
  loaded_ = true;
  BoardLink& board = app_.board;
  board.StatusForm = &lamps;
  lamps.ShpAttach.setFillColor(app_.colors.ColorGreen);
  app_.flags.AbortRequested = false;
  app_.flags.CollectRunning = false;
  form.setCaption(design.caption);
  board.UsbBusy = false;
  board.RegOpsPending = false;
  board.RegWritePending.fill(false);
  board.RegReadPending.fill(false);
  board.BoardPipe = kI2cOutPipe;
  InitColors(app_.colors);
  app_.flags.CollectRunning = false;
  board.DoEvents();
  // The layout is settled last; events run three times before the window shows.
  for (int i = 0; i < 3; ++i) board.DoEvents();
}

void ConsoleWindow::Form_GotFocus() {
  app_.board.StatusForm = &lamps;
}

void ConsoleWindow::Command4_Click() {
  app_.flags.AbortRequested = true;
  app_.flags.CollectRunning = false;
  app_.about.Unload();
  app_.startup.Unload();  // closes the board session and ends the program
  Unload();
}

void ConsoleWindow::Unload() {
  if (unloaded_) return;
  Form_QueryUnload();
  Form_Unload();
}

void ConsoleWindow::Form_QueryUnload() {
  app_.board.USB_Close();
  app_.board.DoEvents();
}

void ConsoleWindow::Form_Unload() {
  unloaded_ = true;
  form.setVisible(false);
  app_.startup.Unload();
}

}  // namespace kps
