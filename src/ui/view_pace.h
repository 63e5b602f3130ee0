// What is on screen at the display's pace. While a long handler runs inside
// PacedViews (the real-time collection changes a dozen controls and the chart
// thousands of times a second), a changed control is not shown at once: it
// waits for the next display frame, and every control that changed within a
// frame is brought up to date together, in the order they first changed. Out
// of such a handler, and whenever the program shows a message or a dialog,
// everything is brought up to date at once.
#pragma once

#include <QElapsedTimer>

#include <vector>

namespace kps::ui {

// Something on screen that shows a model and can be brought up to date.
class PacedView {
 public:
  virtual void BringUpToDate() = 0;

 protected:
  PacedView() = default;
  ~PacedView();  // forgets a waiting update
  PacedView(const PacedView&) = delete;
  PacedView& operator=(const PacedView&) = delete;

 private:
  friend class ViewPace;
  bool waiting_ = false;
};

class ViewPace {
 public:
  // The one pace of this program's screen (the GUI thread's).
  static ViewPace& instance();

  // The brackets of PacedViews; they nest, and each End brings the screen
  // up to date.
  void Begin();
  void End();
  bool paced() const { return depth_ > 0; }

  // `view` changed: brought up to date now, or while paced at the next frame
  // (once, however often it changes until then).
  void Changed(PacedView& view);
  // Every waiting view up to date now.
  void Flush();
  void Forget(PacedView& view);

  // Milliseconds between frames: the primary screen's refresh period.
  int frameMs() const { return frameMs_; }

 private:
  ViewPace();
  void Arm();

  std::vector<PacedView*> waiting_;
  std::vector<PacedView*> flushing_;
  int depth_ = 0;
  bool armed_ = false;
  bool inFlush_ = false;
  int frameMs_ = 16;
  QElapsedTimer sinceFlush_;
};

}  // namespace kps::ui
