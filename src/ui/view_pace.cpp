#include "ui/view_pace.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

namespace kps::ui {

PacedView::~PacedView() {
  if (waiting_) ViewPace::instance().Forget(*this);
}

ViewPace& ViewPace::instance() {
  static ViewPace pace;
  return pace;
}

ViewPace::ViewPace() {
  // A screen that says nothing useful (the offscreen platform says 60) gets 60 Hz.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const double hz = screen->refreshRate();
    if (hz >= 24 && hz <= 480) frameMs_ = std::max(1, static_cast<int>(std::lround(1000.0 / hz)));
  }
  // Room for every control of the windows, so that a frame allocates nothing.
  waiting_.reserve(512);
  flushing_.reserve(512);
  sinceFlush_.start();
}

void ViewPace::Begin() {
  ++depth_;
}

void ViewPace::End() {
  if (depth_ > 0) --depth_;
  Flush();
}

void ViewPace::Changed(PacedView& view) {
  if (depth_ == 0) {
    view.BringUpToDate();
    return;
  }
  if (view.waiting_) return;
  view.waiting_ = true;
  waiting_.push_back(&view);
  Arm();
}

void ViewPace::Arm() {
  if (armed_ || QCoreApplication::instance() == nullptr) return;
  armed_ = true;
  const auto due = std::max<qint64>(0, frameMs_ - sinceFlush_.elapsed());
  // Fires in whatever event loop runs then: the collection's event points, or
  // a dialog's own loop opened at one of them.
  QTimer::singleShot(static_cast<int>(due), Qt::PreciseTimer, QCoreApplication::instance(), [this] {
    armed_ = false;
    Flush();
  });
}

void ViewPace::Flush() {
  if (inFlush_) return;  // asked again by a view being brought up to date
  inFlush_ = true;
  sinceFlush_.restart();
  // A view brought up to date may change another (a text box's own signal);
  // that one waits in the emptied list for the next frame, or is shown at
  // once when no longer paced.
  flushing_.swap(waiting_);
  for (std::size_t i = 0; i < flushing_.size(); ++i) {
    PacedView* view = std::exchange(flushing_[i], nullptr);
    if (view == nullptr) continue;  // forgotten meanwhile
    view->waiting_ = false;
    view->BringUpToDate();
  }
  flushing_.clear();
  inFlush_ = false;
}

void ViewPace::Forget(PacedView& view) {
  view.waiting_ = false;
  std::erase(waiting_, &view);
  std::replace(flushing_.begin(), flushing_.end(), &view, static_cast<PacedView*>(nullptr));
}

}  // namespace kps::ui
