// frmKPS7110 and frmKPS7110_adaptive on screen: one window class for both
// variants of the console model. Layout and bindings only.
#pragma once

#include <QMainWindow>

#include "console/console_window.h"

class QLayout;

namespace kps::ui {

class ConsoleWidget : public QMainWindow {
 public:
  explicit ConsoleWidget(ConsoleWindow& model, QWidget* parent = nullptr);

  ConsoleWindow& model() { return model_; }

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // One builder per control group.
  QWidget* BuildRegisterPanel(QWidget* parent);
  QWidget* BuildConfiguration(QWidget* parent);
  QWidget* BuildInterruptControl(QWidget* parent);
  QWidget* BuildInterruptLimits(QWidget* parent);
  QLayout* BuildBottomRow(QWidget* parent);
  QWidget* BuildGraph(QWidget* parent);
  QWidget* BuildMeasure(QWidget* parent);
  QLayout* BuildGraphControls(QWidget* parent);
  QWidget* BuildTimeBase(QWidget* parent);
  QWidget* BuildRecording(QWidget* parent);
  void BuildMenu();

  ConsoleWindow& model_;
};

}  // namespace kps::ui
