// The console's "Statistics" window: count, mean, standard deviation, extremes
// and peak-to-peak of proximity, ALS/IR and lux over the samples of the
// current (or last) collection that "Write to Disk" records, and "Copy", which
// hands them on as tab-separated text.
//
// The figures are worked out again from the history, not kept up sample by
// sample, so they follow whatever happens to it (a new collection clears it,
// automatic re-scale restarts it, a full ring drops its oldest sample). A
// front end calls Refresh() as often as it likes (the Qt window on a short
// timer): it does nothing unless the history or the lux setting changed, and
// while a collection runs no more than every kRefreshMs. Opening the window
// and the end of a collection show the figures at once.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "acquisition/reading_statistics.h"
#include "core/controls.h"

namespace kps {

struct ConsoleShared;
class ConsoleWindow;
struct RunFlags;
class Toolkit;

class StatisticsWindow {
 public:
  StatisticsWindow(ConsoleWindow& console, Toolkit& toolkit, const RunFlags& flags,
                   const ConsoleShared& shared);
  StatisticsWindow(const StatisticsWindow&) = delete;
  StatisticsWindow& operator=(const StatisticsWindow&) = delete;

  static constexpr int kRows = static_cast<int>(kStatQuantities.size());
  static constexpr int kColumns = static_cast<int>(kStatFigures.size());
  // The least time between two recomputations while a collection runs.
  static constexpr uint32_t kRefreshMs = 250;

  Form form{"frmStatistics", "Statistics"};
  Label lblQuantityTitle{"lblQuantityTitle", "Quantity"};
  // Column titles n, mean, sd, min, max, pp; row titles Proximity, ALS/IR, Lux.
  ControlArray<Label> lblFigureName;
  ControlArray<Label> lblQuantity;
  // The figure of row r, column c is lblFigure(r * kColumns + c).
  ControlArray<Label> lblFigure{"lblFigure", kRows* kColumns, std::string()};
  // What the figures cover: how many samples, whether a collection runs, the
  // failed readings left out, no lux in IR mode.
  Label lblBasis{"lblBasis", ""};
  Button cmdCopy{"cmdCopy", "&Copy"};
  Button cmdClose{"cmdClose", "Close"};

  Label& Figure(int row, int column) { return lblFigure[row * kColumns + column]; }

  // "Statistics" in the console's menu: shows the window with its figures
  // worked out now.
  void Show();
  // Closing the window (its close box, Escape, "Close").
  void Close();
  // Works the figures out again if they may have changed and it is time to.
  void Refresh();
  // The figures shown, as tab-separated text: a title line (quantity, n,
  // mean, sd, min, max, pp), then one line per quantity; lines end in "\n".
  std::string CopyText() const;
  void cmdCopy_Click();

  // The figures last worked out.
  const ReadingStats& stats() const { return stats_; }

  // Where "Copy" puts its text (the Qt window: the clipboard).
  std::function<void(const std::string& text)> onCopy;
  // Runs at each Show, so the front end can bring a window already open to the front.
  std::function<void()> onShow;

 private:
  // What the figures depend on besides the samples' values: a change in any
  // of these means they must be worked out again.
  struct Basis {
    uint64_t collections = 0;  // histories cleared: collections started, by either console
    int64_t samplesTaken = -1;
    int32_t failed = 0;
    bool running = false;
    bool irMode = false;
    int luxRange = 0;
    bool operator==(const Basis&) const = default;
  };
  Basis CurrentBasis() const;
  void Recompute(const Basis& basis);

  ConsoleWindow& console_;
  Toolkit& toolkit_;
  const RunFlags& flags_;
  const ConsoleShared& shared_;
  ReadingStats stats_;
  Basis shown_;
  bool everShown_ = false;
  uint32_t computedAt_ = 0;
};

}  // namespace kps
