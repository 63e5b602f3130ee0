#include "console/statistics_window.h"

#include <vector>

#include "acquisition/measurement_file.h"
#include "console/console_window.h"
#include "core/toolkit.h"

namespace kps {

namespace {

std::vector<std::string> FigureNames() {
  std::vector<std::string> names;
  for (StatFigure figure : kStatFigures) names.emplace_back(StatFigureName(figure));
  return names;
}

std::vector<std::string> QuantityCaptions() {
  std::vector<std::string> captions;
  for (const StatQuantity& quantity : kStatQuantities) captions.emplace_back(quantity.caption);
  return captions;
}

std::string Counted(long long n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

StatisticsWindow::StatisticsWindow(ConsoleWindow& console, Toolkit& toolkit, const RunFlags& flags,
                                   const ConsoleShared& shared)
    : lblFigureName("lblFigureName", FigureNames()),
      lblQuantity("lblQuantity", QuantityCaptions()),
      console_(console),
      toolkit_(toolkit),
      flags_(flags),
      shared_(shared) {
  cmdCopy.onClick = [this] { cmdCopy_Click(); };
  cmdClose.onClick = [this] { Close(); };
  // A collection's end hides "Stop" (however it ended): the figures follow
  // at once rather than at the next refresh.
  console.graph.cmdStopData.Subscribe([this] {
    if (!flags_.CollectRunning) Refresh();
  });
}

void StatisticsWindow::Show() {
  form.setVisible(true);
  Recompute(CurrentBasis());
  if (onShow) onShow();
}

void StatisticsWindow::Close() {
  form.setVisible(false);
}

StatisticsWindow::Basis StatisticsWindow::CurrentBasis() const {
  const ConsoleShared& s = shared_;
  // Either console's collection clears the history both share.
  return {.collections = s.HistoriesCleared,
          .samplesTaken = s.SamplesTaken,
          .failed = s.FailedReadings,
          .running = flags_.CollectRunning,
          .irMode = console_.config.OptMMode[1].value(),
          .luxRange = s.LuxRangeIndex};
}

void StatisticsWindow::Refresh() {
  if (!form.visible()) return;
  const Basis basis = CurrentBasis();
  if (everShown_ && basis == shown_) return;
  // While a collection runs, a few times a second is all a reader can follow.
  const uint32_t since = toolkit_.Millis() - computedAt_;
  if (everShown_ && basis.running && since < kRefreshMs) return;
  Recompute(basis);
}

void StatisticsWindow::Recompute(const Basis& basis) {
  const ConsoleShared& s = shared_;
  stats_.Clear();
  // The samples a recording writes: the history from its twelfth sample on,
  // oldest first. Lux only where the console's conversion knows it.
  for (int k = kFirstRecordedSample; k < s.SampleIndex; ++k) {
    const ConsoleShared::Sample sample = s.OldestSample(k);
    stats_.Add(sample.prox, sample.als,
               basis.irMode ? std::nullopt : console_.LuxOfCount(sample.als));
  }
  for (int r = 0; r < kRows; ++r) {
    const RunningStats& quantity = stats_.*kStatQuantities[static_cast<std::size_t>(r)].stats;
    for (int c = 0; c < kColumns; ++c) {
      Figure(r, c).setCaption(
          StatNumber(StatFigureValue(quantity, kStatFigures[static_cast<std::size_t>(c)])));
    }
  }

  const int64_t n = stats_.prox.count();
  std::string text = n == 0 ? std::string("No recorded samples yet")
                            : Counted(n, "sample", "samples") + " as Write to Disk records them";
  if (basis.running) text += ", collecting";
  if (basis.failed > 0)
    text += "; " + Counted(basis.failed, "failed reading", "failed readings") + " left out";
  if (basis.irMode) {
    text += "; no lux in IR mode";
  } else if (stats_.lux.count() < n) {
    text += "; lux of " + std::to_string(stats_.lux.count()) + " (the others at full scale)";
  }
  lblBasis.setCaption(text);

  shown_ = basis;
  everShown_ = true;
  computedAt_ = toolkit_.Millis();
}

std::string StatisticsWindow::CopyText() const {
  std::string text = "quantity";
  for (StatFigure figure : kStatFigures) text += std::string("\t") + StatFigureName(figure);
  text += "\n";
  for (const StatQuantity& quantity : kStatQuantities) {
    text += quantity.caption;
    for (StatFigure figure : kStatFigures)
      text += "\t" + StatNumber(StatFigureValue(stats_.*quantity.stats, figure));
    text += "\n";
  }
  return text;
}

void StatisticsWindow::cmdCopy_Click() {
  // What is copied is what the window shows, brought up to date first.
  Recompute(CurrentBasis());
  if (onCopy) {
    onCopy(CopyText());
  } else {
    toolkit_.ShowMessage("There is no clipboard to copy the statistics to.", MessageButtons::Ok);
  }
}

}  // namespace kps
