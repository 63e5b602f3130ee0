// The open script windows. The console's "Script" menu shows the first one
// (creating it when none is open); "Open Another Script Processing Form"
// creates more. A closed window's model is kept until none of its handlers is
// on the stack any more, so a run that a close interrupted can finish its row.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "scripting/script_window.h"

namespace kps {

class AppContext;

class ScriptWindows {
 public:
  explicit ScriptWindows(AppContext& app) : app_(app) {}
  ScriptWindows(const ScriptWindows&) = delete;
  ScriptWindows& operator=(const ScriptWindows&) = delete;

  // The console's "Script": shows the window the menu opened before if it is
  // still open, otherwise a new one.
  ScriptWindow& ShowDefault();
  // A new window, loaded and shown.
  ScriptWindow& OpenAnother();
  // Unloads every open window (the console's "Exit").
  void UnloadAll();

  // The windows still open, oldest first.
  std::vector<ScriptWindow*> open() const;

  // The address saved when the last script window opened; restored by each close.
  uint8_t SavedI2CAddress = 0;

  // The views: told when a window is shown by the program (new or already
  // open, to bring it to the front) and just before a closed window's model
  // is destroyed.
  std::function<void(ScriptWindow&)> onShow;
  std::function<void(ScriptWindow&)> onDiscard;

 private:
  ScriptWindow& Create();
  // Destroys the models of closed windows that no handler uses any more.
  void Discard();

  AppContext& app_;
  std::vector<std::unique_ptr<ScriptWindow>> windows_;
  ScriptWindow* default_ = nullptr;
};

}  // namespace kps
