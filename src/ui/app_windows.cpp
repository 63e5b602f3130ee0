#include "ui/app_windows.h"

#include "ui/about_dialog.h"
#include "ui/console_widget.h"
#include "ui/startup_window_widget.h"

namespace kps::ui {

AppWindows::AppWindows(AppContext& app)
    : startup_(std::make_unique<StartupWindowWidget>(app.startup)),
      about_(std::make_unique<AboutDialog>(app.about)),
      console_(std::make_unique<ConsoleWidget>(app.console)),
      adaptive_(std::make_unique<ConsoleWidget>(app.adaptive)) {}

AppWindows::~AppWindows() = default;

}  // namespace kps::ui
