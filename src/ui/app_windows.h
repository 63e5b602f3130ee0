// The program's windows over one application context: built together, and
// destroyed together before the context whose models they show.
#pragma once

#include <memory>

#include "shell/app_context.h"

namespace kps::ui {

class AboutDialog;
class ConsoleWidget;
class StartupWindowWidget;

class AppWindows {
 public:
  explicit AppWindows(AppContext& app);
  ~AppWindows();
  AppWindows(const AppWindows&) = delete;
  AppWindows& operator=(const AppWindows&) = delete;

  StartupWindowWidget& startup() { return *startup_; }
  AboutDialog& about() { return *about_; }
  ConsoleWidget& console(ConsoleVariant variant) {
    return variant == ConsoleVariant::Main ? *console_ : *adaptive_;
  }

 private:
  // Each window shows itself when its form model becomes visible, so all can
  // be built at once; none is on screen until the program opens it.
  std::unique_ptr<StartupWindowWidget> startup_;
  std::unique_ptr<AboutDialog> about_;
  std::unique_ptr<ConsoleWidget> console_;
  std::unique_ptr<ConsoleWidget> adaptive_;
};

}  // namespace kps::ui
