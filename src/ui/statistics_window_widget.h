// A console's "Statistics" window on screen: the grid of figures, what they
// cover, "Copy" and "Close". Layout and bindings, the clipboard, and the timer
// that asks the model to refresh while the window is shown.
#pragma once

#include <QDialog>
#include <QTimer>

#include "console/statistics_window.h"

namespace kps::ui {

class DesktopSettings;

class StatisticsWindowWidget : public QDialog {
 public:
  // `key` names the window's place in `settings` (may be null), one per console.
  StatisticsWindowWidget(StatisticsWindow& model, DesktopSettings* settings, const QString& key,
                         QWidget* parent = nullptr);
  ~StatisticsWindowWidget() override;
  StatisticsWindowWidget(const StatisticsWindowWidget&) = delete;
  StatisticsWindowWidget& operator=(const StatisticsWindowWidget&) = delete;

  // How often the model is asked whether its figures are due; it decides.
  static constexpr int kPollMs = 100;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  // Escape and the close box close the window, as "Close" does.
  void reject() override;

 private:
  StatisticsWindow& model_;
  QTimer poll_;
};

}  // namespace kps::ui
