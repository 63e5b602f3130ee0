#include "ui/app_windows.h"

#include "ui/about_dialog.h"
#include "ui/console_widget.h"
#include "ui/script_window_widget.h"
#include "ui/startup_window_widget.h"
#include "ui/statistics_window_widget.h"
#include "ui/window_place.h"

namespace kps::ui {

namespace {

// Each console's statistics window keeps its own place.
QString StatisticsKey(const ConsoleWindow& console) {
  return QString::fromStdString(console.form.name() + "/" + console.stats.form.name());
}

}  // namespace

AppWindows::AppWindows(AppContext& app, DesktopSettings* settings)
    : app_(app),
      settings_(settings),
      startup_(std::make_unique<StartupWindowWidget>(app.startup)),
      about_(std::make_unique<AboutDialog>(app.about)),
      statistics_(std::make_unique<StatisticsWindowWidget>(app.console.stats, settings,
                                                           StatisticsKey(app.console))),
      adaptiveStatistics_(std::make_unique<StatisticsWindowWidget>(app.adaptive.stats, settings,
                                                                   StatisticsKey(app.adaptive))) {
  KeepPlace(startup_.get(), settings, QString::fromStdString(app.startup.form.name()));
  app.console.onLoad = [this] { console(ConsoleVariant::Main); };
  app.adaptive.onLoad = [this] { console(ConsoleVariant::Adaptive); };
  app.scripts.onShow = [this](ScriptWindow& window) { ShowScript(window); };
  app.scripts.onDiscard = [this](ScriptWindow& window) { DiscardScript(window); };
}

AppWindows::~AppWindows() {
  app_.console.onLoad = nullptr;
  app_.adaptive.onLoad = nullptr;
  app_.scripts.onShow = nullptr;
  app_.scripts.onDiscard = nullptr;
  scripts_.clear();
  for (const QPointer<ScriptWindowWidget>& widget : released_) delete widget.data();
}

ConsoleWidget& AppWindows::console(ConsoleVariant variant) {
  const bool main = variant == ConsoleVariant::Main;
  std::unique_ptr<ConsoleWidget>& widget = main ? console_ : adaptive_;
  if (widget == nullptr) {
    widget = std::make_unique<ConsoleWidget>(main ? app_.console : app_.adaptive, app_.toolkit,
                                             settings_);
  }
  return *widget;
}

ScriptWindowWidget* AppWindows::script(const ScriptWindow& window) const {
  const auto found = scripts_.find(&window);
  return found == scripts_.end() ? nullptr : found->second.get();
}

void AppWindows::ShowScript(ScriptWindow& window) {
  auto& widget = scripts_[&window];
  if (widget == nullptr) {
    // A second window opens beside the first, not over it.
    const int others = static_cast<int>(scripts_.size()) - 1;
    widget = std::make_unique<ScriptWindowWidget>(window, settings_, others);
  }
  widget->show();
  widget->raise();
  widget->activateWindow();
}

void AppWindows::DiscardScript(ScriptWindow& window) {
  const auto found = scripts_.find(&window);
  if (found == scripts_.end()) return;
  // Closing the window is what discards it, so its close event may still be
  // on the stack: everything that refers to the model goes now, the empty
  // window itself once control is back in the event loop.
  ScriptWindowWidget* widget = found->second.release();
  scripts_.erase(found);
  widget->Release();
  widget->deleteLater();
  std::erase_if(released_, [](const QPointer<ScriptWindowWidget>& w) { return w.isNull(); });
  released_.emplace_back(widget);
}

}  // namespace kps::ui
