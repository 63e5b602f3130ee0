// frmStartup on screen: the address list, the Init and Attached lamps over
// their caption, the About menu and the two debug buttons. Layout and bindings
// only; the window model decides what happens.
#pragma once

#include <QMainWindow>

#include "shell/startup_window.h"

namespace kps::ui {

class StartupWindowWidget : public QMainWindow {
 public:
  explicit StartupWindowWidget(StartupWindow& model, QWidget* parent = nullptr);

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  StartupWindow& model_;
};

}  // namespace kps::ui
