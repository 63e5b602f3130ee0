// frmKPS7110 and frmKPS7110_adaptive on screen: one window class for both
// variants of the console model. Layout and bindings only.
#pragma once

#include <QMainWindow>

#include "console/console_window.h"

class QGridLayout;

namespace kps::ui {

class ConsoleWidget : public QMainWindow {
 public:
  explicit ConsoleWidget(ConsoleWindow& model, QWidget* parent = nullptr);

  ConsoleWindow& model() { return model_; }

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  ConsoleWindow& model_;
  // The window's grid: the control groups go into its cells as they are added.
  QGridLayout* grid_ = nullptr;
};

}  // namespace kps::ui
