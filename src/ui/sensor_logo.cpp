#include "ui/sensor_logo.h"

#include <QPainter>
#include <QPainterPath>

namespace kps::ui {

SensorLogo::SensorLogo(QWidget* parent) : QWidget(parent) {
  setFixedSize(sizeHint());
  setAccessibleName(QStringLiteral("Light sensor picture"));
}

void SensorLogo::paintEvent(QPaintEvent* /*event*/) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  // Drawn on a 64 x 64 grid and scaled to the widget.
  p.scale(width() / 64.0, height() / 64.0);

  // Light falling on the sensor: three rays from the upper left.
  p.setPen(QPen(QColor(240, 170, 0), 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(6, 6), QPointF(20, 20));
  p.drawLine(QPointF(4, 20), QPointF(16, 28));
  p.drawLine(QPointF(20, 4), QPointF(28, 16));

  // The package with its pins.
  p.setPen(QPen(QColor(90, 90, 90), 2));
  for (int i = 0; i < 3; ++i) {
    const qreal y = 34 + i * 9;
    p.drawLine(QPointF(20, y), QPointF(24, y));
    p.drawLine(QPointF(58, y), QPointF(62, y));
  }
  p.setPen(QPen(QColor(30, 30, 30), 1.5));
  p.setBrush(QColor(55, 60, 70));
  p.drawRoundedRect(QRectF(24, 28, 34, 32), 4, 4);

  // The optical window with the photodiode behind it.
  p.setBrush(QColor(120, 190, 230));
  p.setPen(QPen(QColor(200, 220, 235), 1.5));
  p.drawEllipse(QRectF(32, 35, 18, 18));
  p.setBrush(QColor(30, 70, 110));
  p.setPen(Qt::NoPen);
  p.drawRect(QRectF(37, 40, 8, 8));
}

}  // namespace kps::ui
