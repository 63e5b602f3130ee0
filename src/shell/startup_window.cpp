#include "shell/startup_window.h"

#include <utility>

#include "shell/app_context.h"

namespace kps {

StartupWindow::StartupWindow(AppContext& app) : app_(app) {
  goto_x28.setVisible(false);
  goto_adaptive.setVisible(false);
  lamps.Shp_USB_Info.setVisible(false);
  lamps.Shp_USB_Transfer.setVisible(false);
  Label2_1.setVisible(false);

  cboTypeSelect.onClick = [this] { cboTypeSelect_Click(); };
  goto_x28.onClick = [this] { goto_x28_Click(); };
  goto_adaptive.onClick = [this] { goto_adaptive_Click(); };
  mnuAbout.onClick = [this] { mnuAbout_Click(); };
}

void StartupWindow::Show() {
  if (!loaded_) Form_Load();
  form.setVisible(true);
}

void StartupWindow::Form_Load() {
  loaded_ = true;
  BoardLink& board = app_.board;
  board.StatusForm = &lamps;
  InitColors(app_.colors);
  board.DeviceAttached = false;
  board.DeviceDetached = false;
  board.USB_Init();
  app_.toolkit.Sleep(20);
  board.SessionHeld = false;
  board.USB_CheckDevice();
  board.DoEvents();

  cboTypeSelect.Clear();
  cboTypeSelect.AddItem("I2C Address Selection");
  cboTypeSelect.AddItem("Adr=0x88 (KPS7110/20/60)");
  cboTypeSelect.AddItem("Adr=0x8A (KPS7110/60)");
  cboTypeSelect.setListIndex(0);  // runs the selection sequence for the first entry
  board.DoEvents();
}

void StartupWindow::Form_Activate() {
  app_.board.StatusForm = &lamps;
  // Resetting to the first entry runs the selection sequence only when the
  // selection changes, and the first entry never opens a console, so an
  // activation can neither open a console nor recurse. A choice being carried
  // out is not undone.
  if (cboTypeSelect.items().empty() || choosing_) return;
  cboTypeSelect.setListIndex(0);
}

void StartupWindow::cboTypeSelect_Click() {
  const bool outer = !std::exchange(choosing_, true);
  Choose();
  if (outer) choosing_ = false;
}

void StartupWindow::Choose() {
  BoardLink& board = app_.board;
  board.StatusForm = &lamps;
  const int entry = cboTypeSelect.listIndex();
  if (entry != 0 && !board.DeviceAttached) {
    app_.toolkit.ShowMessage(kNotConnectedMessage, MessageButtons::Ok);
    cboTypeSelect.setListIndex(0);
    board.DoEvents();
    return;
  }
  if (!board.DeviceAttached) return;

  board.USB_CheckDevice();
  board.SessionHeld = true;
  // The GPIO state is a plain module, always there: nothing to load.
  board.StatusForm = &lamps;
  board.DoEvents();
  // Events ran above: the program may have been closed, or the list changed
  // (its own selection sequence then ran for the new entry). Act on the list as
  // it stands now.
  if (app_.ended()) return;
  const int chosen = cboTypeSelect.listIndex();
  if (chosen == 1 || chosen == 2) {
    app_.OpenConsole(ConsoleVariant::Main, chosen == 1 ? 0x88 : 0x8A);
    form.setVisible(false);
  }
  board.DoEvents();
}

void StartupWindow::goto_x28_Click() {
  app_.OpenConsole(ConsoleVariant::Main, 0x88);
  form.setVisible(false);
}

void StartupWindow::goto_adaptive_Click() {
  app_.OpenConsole(ConsoleVariant::Adaptive, 0x88);
  form.setVisible(false);
}

void StartupWindow::mnuAbout_Click() {
  app_.about.Show();
}

void StartupWindow::Form_QueryUnload() {
  app_.board.StatusForm = &lamps;
  app_.board.USB_Close();
}

void StartupWindow::Unload() {
  if (unloaded_) return;
  Form_QueryUnload();
  Form_Unload();
}

void StartupWindow::Form_Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  form.setVisible(false);
  app_.EndProgram();
}

}  // namespace kps
