// frmStartup: the program's entry. Opens the board session, shows the link
// lamps, and opens the sensor console for the address the user picks.
#pragma once

#include "board/board_link.h"
#include "core/controls.h"

namespace kps {

class AppContext;

class StartupWindow {
 public:
  explicit StartupWindow(AppContext& app);

  Form form{"frmStartup", "Norvale ALS Evaluation Software"};
  ComboBox cboTypeSelect{"cboTypeSelect"};
  Button goto_x28{"goto_x28", "Goto main form (debug)"};
  Button goto_adaptive{"goto_adaptive", "Goto adaptive form (debug)"};
  Lamp Shp_USB_Init{"Shp_USB_Init", "USB Init"};
  LinkLamps lamps;  // ShpAttach visible; Shp_USB_Info and Shp_USB_Transfer hidden
  Label Label2_0{"Label2_0", "USB Init             Attached"};
  Label Label2_1{"Label2_1", " Info        Comm"};
  MenuItem mnuAbout{"mnuAbout", "About"};

  // Loads and shows the window (the program's start).
  void Show();
  void Form_Load();
  void Form_Activate();
  void cboTypeSelect_Click();
  void goto_x28_Click();
  void goto_adaptive_Click();
  void mnuAbout_Click();
  // The user closes the window, or a console unloads it: the session is
  // closed and the program ends.
  void Form_QueryUnload();
  void Form_Unload();
  // Unloading by code (a console's Exit or close): the query, then the unload, once.
  void Unload();

  bool loaded() const { return loaded_; }

 private:
  // The selection sequence for the entry the list shows.
  void Choose();

  AppContext& app_;
  // True while a choice from the address list is handled: an activation then
  // (a message box closing, the list's popup going away) leaves the list alone.
  bool choosing_ = false;
  bool loaded_ = false;
  bool unloaded_ = false;
};

inline constexpr const char* kNotConnectedMessage =
    "Evaluation Board is not connected, or another application is using it.";

}  // namespace kps
