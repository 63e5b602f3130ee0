// The board simulator window: a development aid that works on the simulated
// board directly, not a window of the evaluation program. It sets what the
// sensor looks at, plugs and unplugs the board, injects I2C faults and shows
// the board's LEDs and the chip's interrupt line as they stand.
#pragma once

#include <QColor>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>

#include "sim/simulated_board.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;

namespace kps::ui {

class LampWidget;

class SimulatorWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kRefreshMs = 100;

  explicit SimulatorWindow(sim::SimulatedBoard& board, QWidget* parent = nullptr);

  // The first time `anchor` is shown, moves this window next to it: to its
  // right, or to its left when the screen has no room there.
  void placeBesideOnShow(QWidget* anchor);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ApplyScene();
  void Refresh();
  void PlaceBeside(const QWidget& anchor);
  QDoubleSpinBox* SceneBox(const char* name, double max, double step, const QString& suffix,
                           double value);

  sim::SimulatedBoard& board_;
  QDoubleSpinBox* lux_ = nullptr;
  QDoubleSpinBox* ir_ = nullptr;
  QDoubleSpinBox* proximity_ = nullptr;
  QDoubleSpinBox* noise_ = nullptr;
  QComboBox* shape_ = nullptr;
  QPushButton* unplug_ = nullptr;
  QPushButton* plug_ = nullptr;
  QLabel* plugState_ = nullptr;
  QLabel* faults_ = nullptr;
  QLabel* chip_ = nullptr;
  struct Led {
    int line;               // as SimulatedBoard::ledLit numbers it
    const char* name;       // the port line it hangs on
    const char* colorName;  // when lit
    QColor lit;
    LampWidget* lamp = nullptr;
  };
  std::array<Led, 4> leds_;
  LampWidget* interrupt_ = nullptr;
  QPointer<QWidget> anchor_;
  QTimer timer_;
};

}  // namespace kps::ui
