#include "ui/lamp_caption.h"

#include <QEvent>
#include <QLabel>
#include <QRegularExpression>

#include "ui/lamp_widget.h"

namespace kps::ui {

namespace {

constexpr int kGap = 3;  // between the lamps and their caption

struct Word {
  qsizetype start;
  qsizetype length;
};

std::vector<Word> Words(const QString& text) {
  std::vector<Word> words;
  static const QRegularExpression kWord(QStringLiteral("\\S+(?: \\S+)*"));
  auto it = kWord.globalMatch(text);
  while (it.hasNext()) {
    const QRegularExpressionMatch m = it.next();
    words.push_back({m.capturedStart(), m.capturedLength()});
  }
  return words;
}

}  // namespace

LampCaption::LampCaption(QLabel* caption, std::vector<LampWidget*> lamps, QWidget* parent)
    : QWidget(parent), caption_(caption), lamps_(std::move(lamps)) {
  caption_->setParent(this);
  for (LampWidget* lamp : lamps_) lamp->setParent(this);
  // The caption label tells whether the group is shown: a hidden caption (and
  // with it its hidden lamps) must not leave a gap in the window.
  caption_->installEventFilter(this);
  if (caption_->isHidden() && caption_->testAttribute(Qt::WA_WState_ExplicitShowHide)) hide();
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  Place();
}

QSize LampCaption::sizeHint() const {
  const QSize text = caption_->sizeHint();
  int lampHeight = 0;
  for (const LampWidget* lamp : lamps_) lampHeight = qMax(lampHeight, lamp->height());
  return {text.width(), lampHeight + kGap + text.height()};
}

void LampCaption::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Place();
}

void LampCaption::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
    updateGeometry();
    Place();
  }
}

bool LampCaption::eventFilter(QObject* watched, QEvent* event) {
  if (watched == caption_) {
    if (event->type() == QEvent::HideToParent) {
      hide();
    } else if (event->type() == QEvent::ShowToParent) {
      show();
    } else if (event->type() == QEvent::FontChange) {
      updateGeometry();
      Place();
    }
  }
  return QWidget::eventFilter(watched, event);
}

void LampCaption::Place() {
  const QString text = caption_->text();
  const QFontMetrics metrics = caption_->fontMetrics();
  int lampHeight = 0;
  for (const LampWidget* lamp : lamps_) lampHeight = qMax(lampHeight, lamp->height());
  caption_->setGeometry(0, lampHeight + kGap, caption_->sizeHint().width(),
                        caption_->sizeHint().height());
  const std::vector<Word> words = Words(text);
  const int indent = caption_->contentsRect().left();
  for (std::size_t i = 0; i < lamps_.size(); ++i) {
    LampWidget* lamp = lamps_[i];
    int centre = indent + lamp->width() / 2;
    if (i < words.size()) {
      centre = indent + metrics.horizontalAdvance(text.left(words[i].start)) +
               metrics.horizontalAdvance(text.mid(words[i].start, words[i].length)) / 2;
    }
    lamp->move(centre - lamp->width() / 2, 0);
  }
}

}  // namespace kps::ui
