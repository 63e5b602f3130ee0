// A status lamp: a small filled circle in the lamp's palette colour. The colour
// alone says nothing to a screen reader, so the lamp also carries its meaning
// and its colour in words ("Attached", "green") for accessibility tools.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace kps::ui {

class LampWidget : public QWidget {
  Q_OBJECT

 public:
  explicit LampWidget(QWidget* parent = nullptr);

  // what: the lamp's meaning; colorName: the fill in words.
  void setState(const QString& what, const QColor& fill, const QString& colorName);
  QColor fill() const { return fill_; }

  QSize sizeHint() const override { return {18, 18}; }
  QSize minimumSizeHint() const override { return {12, 12}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor fill_{Qt::black};
};

}  // namespace kps::ui
