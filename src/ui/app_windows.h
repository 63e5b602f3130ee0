// The program's windows over one application context: built together, and
// destroyed together before the context whose models they show. Script
// windows come and go with their models: one widget per open script window.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include <QPointer>

#include "shell/app_context.h"

namespace kps::ui {

class AboutDialog;
class ConsoleWidget;
class DesktopSettings;
class ScriptWindowWidget;
class StartupWindowWidget;
class StatisticsWindowWidget;

class AppWindows {
 public:
  // `settings` (may be null: nothing is remembered) keeps the windows' places
  // and the recent scripts between runs.
  explicit AppWindows(AppContext& app, DesktopSettings* settings = nullptr);
  ~AppWindows();
  AppWindows(const AppWindows&) = delete;
  AppWindows& operator=(const AppWindows&) = delete;

  StartupWindowWidget& startup() { return *startup_; }
  AboutDialog& about() { return *about_; }
  // A console's window is built the first time it is asked for, or when its
  // console loads: most runs open one console, and the program starts sooner.
  ConsoleWidget& console(ConsoleVariant variant);
  StatisticsWindowWidget& statistics(ConsoleVariant variant) {
    return variant == ConsoleVariant::Main ? *statistics_ : *adaptiveStatistics_;
  }
  // The widget of an open script window; null when it has none.
  ScriptWindowWidget* script(const ScriptWindow& window) const;

 private:
  void ShowScript(ScriptWindow& window);
  void DiscardScript(ScriptWindow& window);

  AppContext& app_;
  DesktopSettings* settings_;
  // Each window shows itself when its form model becomes visible, so all can
  // be built before; none is on screen until the program opens it.
  std::unique_ptr<StartupWindowWidget> startup_;
  std::unique_ptr<AboutDialog> about_;
  std::unique_ptr<ConsoleWidget> console_;
  std::unique_ptr<ConsoleWidget> adaptive_;
  std::unique_ptr<StatisticsWindowWidget> statistics_;
  std::unique_ptr<StatisticsWindowWidget> adaptiveStatistics_;
  std::map<const ScriptWindow*, std::unique_ptr<ScriptWindowWidget>> scripts_;
  // Released script widgets whose deletion waits for their own events to end.
  std::vector<QPointer<ScriptWindowWidget>> released_;
};

}  // namespace kps::ui
