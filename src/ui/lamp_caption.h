// A caption label with lamps standing over its words: "USB Init             Attached"
// with one lamp over "USB Init" and one over "Attached". The caption spaces its
// words with runs of blanks; each run of two or more blanks separates two lamps.
#pragma once

#include <QWidget>
#include <vector>

class QLabel;

namespace kps::ui {

class LampWidget;

class LampCaption : public QWidget {
 public:
  // Takes the label and the lamps as children; lamps in the order of the words.
  LampCaption(QLabel* caption, std::vector<LampWidget*> lamps, QWidget* parent = nullptr);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Place();

  QLabel* caption_;
  std::vector<LampWidget*> lamps_;
};

}  // namespace kps::ui
