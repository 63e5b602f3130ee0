#include "ui/window_place.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include <utility>

#include "ui/desktop_settings.h"

namespace kps::ui {

namespace {

class PlaceKeeper : public QObject {
 public:
  PlaceKeeper(QWidget* window, DesktopSettings* settings, QString key,
              std::function<void(bool)> fit, int cascade)
      : QObject(window),
        window_(window),
        settings_(settings),
        key_(std::move(key)),
        fit_(std::move(fit)),
        cascade_(cascade) {
    window->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != window_) return false;
    // Sent before the window is on screen, so that it appears in its place.
    if (event->type() == QEvent::Show && !shown_) {
      shown_ = true;
      bool restored = false;
      if (settings_ != nullptr) {
        const QByteArray kept = settings_->windowGeometry(key_);
        restored = !kept.isEmpty() && window_->restoreGeometry(kept);
        if (restored && cascade_ > 0) window_->move(window_->pos() + cascade_ * QPoint(30, 30));
      }
      if (fit_) fit_(restored);
    } else if (event->type() == QEvent::Hide && shown_ && settings_ != nullptr) {
      settings_->setWindowGeometry(key_, window_->saveGeometry());
    }
    return false;
  }

 private:
  QWidget* window_;
  DesktopSettings* settings_;
  QString key_;
  std::function<void(bool)> fit_;
  int cascade_;
  bool shown_ = false;
};

}  // namespace

QSize WindowRoom(const QWidget* window, const std::optional<QRect>& available) {
  QRect area;
  if (available) {
    area = *available;
  } else {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  }
  // Once on screen the frame is known; before, a title bar is allowed for.
  QSize frame = window->frameGeometry().size() - window->size();
  if (!window->isVisible() || frame.height() <= 0) {
    frame = QSize(0, window->style()->pixelMetric(QStyle::PM_TitleBarHeight) + 8);
  }
  return (area.size() - frame).expandedTo(QSize(200, 150));
}

void KeepPlace(QWidget* window, DesktopSettings* settings, const QString& key,
               std::function<void(bool restored)> fit, int cascade) {
  new PlaceKeeper(window, settings, key, std::move(fit), cascade);
}

}  // namespace kps::ui
