// frmKPS7110 and its adaptive variant: the sensor console. One window design,
// configured by a variant that holds the differences between the two.
#pragma once

#include <string>

#include "board/board_link.h"
#include "core/controls.h"

namespace kps {

class AppContext;

enum class ConsoleVariant { Main, Adaptive };

// What differs between the main console and the adaptive console.
struct ConsoleDesign {
  const char* formName;
  const char* caption;
};

const ConsoleDesign& DesignOf(ConsoleVariant variant);

class ConsoleWindow {
 public:
  ConsoleWindow(AppContext& app, ConsoleVariant variant);

  const ConsoleVariant variant;
  const ConsoleDesign& design;

  Form form;
  TextBox txtI2CADR{"txtI2CADR", "88"};
  LinkLamps lamps;
  Label Label13{"Label13", "USB COMM"};
  Button Command4{"Command4", "Exit"};

  // Loads the window on first use, then shows it.
  void Show();
  void Form_Load();
  void Form_GotFocus();
  void Command4_Click();
  // Closing the window: the session is closed and the program ends.
  void Form_QueryUnload();
  void Form_Unload();
  // Unloading by code ("Exit"): the query, then the unload, once.
  void Unload();

  bool loaded() const { return loaded_; }

 private:
  AppContext& app_;
  bool loaded_ = false;
  bool unloaded_ = false;
};

}  // namespace kps
