// frmKPS7110 and frmKPS7110_adaptive on screen: one window class for both
// variants of the console model. Layout and bindings only.
#pragma once

#include <QImage>
#include <QMainWindow>
#include <QRect>

#include <optional>

#include "console/console_window.h"
#include "core/toolkit.h"

class QLayout;
class QScrollArea;

namespace kps::ui {

class DesktopSettings;

// The window keeps its layout and pixel positions on any screen: where the
// screen is smaller than the window, the window fits the screen and scrolls.
class ConsoleWidget : public QMainWindow {
 public:
  // `settings` (may be null) keeps the window's place between runs.
  ConsoleWidget(ConsoleWindow& model, Toolkit& toolkit, DesktopSettings* settings = nullptr,
                QWidget* parent = nullptr);

  ConsoleWindow& model() { return model_; }
  QScrollArea* scrollArea() { return scroll_; }
  // Stands in for the screen's available area from the next fit on.
  void setAvailableGeometry(const QRect& area) { available_ = area; }
  // The chart with its labels and axis titles as shown, one image pixel per
  // picture pixel; "Copy Chart" and "Save Chart As..." give it.
  QImage ChartImage() const;

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
  // Sizes the window for its content within the screen's room: the content's
  // own size, or with `keepSize` the present one, kept inside the room.
  void FitToScreen(bool keepSize);
  void SaveChart();

  ConsoleWindow& model_;
  Toolkit& toolkit_;
  QWidget* content_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  QWidget* chart_ = nullptr;
  std::optional<QRect> available_;
  bool shown_ = false;
};

}  // namespace kps::ui
