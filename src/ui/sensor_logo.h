// The about box's picture: a light sensor in its package under a light source,
// drawn by the program so that it needs no image file.
#pragma once

#include <QWidget>

namespace kps::ui {

class SensorLogo : public QWidget {
 public:
  explicit SensorLogo(QWidget* parent = nullptr);
  QSize sizeHint() const override { return {64, 64}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace kps::ui
