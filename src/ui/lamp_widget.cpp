#include "ui/lamp_widget.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>

namespace kps::ui {

namespace {

// Reported as an indicator rather than as an anonymous pane, so a screen
// reader announces it as a status light with its name and colour.
QAccessibleInterface* LampAccessible(const QString& key, QObject* object) {
  if (key == QLatin1String(LampWidget::staticMetaObject.className()) && object != nullptr &&
      object->isWidgetType()) {
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Indicator);
  }
  return nullptr;
}

void InstallAccessibleFactoryOnce() {
  static const bool installed = [] {
    QAccessible::installFactory(LampAccessible);
    return true;
  }();
  (void)installed;
}

}  // namespace

LampWidget::LampWidget(QWidget* parent) : QWidget(parent) {
  InstallAccessibleFactoryOnce();
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setFixedSize(sizeHint());
}

void LampWidget::setState(const QString& what, const QColor& fill, const QString& colorName) {
  if (fill != fill_) {
    fill_ = fill;
    update();
  }
  // QWidget announces both changes to accessibility tools itself (NameChanged,
  // DescriptionChanged), so a screen reader watching the lamp hears it turn
  // red when the board goes away; set them only when they change, so that a
  // repaint of the same colour says nothing.
  if (accessibleName() != what) setAccessibleName(what);
  if (accessibleDescription() != colorName) setAccessibleDescription(colorName);
}

void LampWidget::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(40, 40, 40), 1.2));
  painter.setBrush(fill_);
  const qreal side = qMin(width(), height()) - 2.0;
  painter.drawEllipse(QRectF((width() - side) / 2.0, (height() - side) / 2.0, side, side));
}

}  // namespace kps::ui
