// The graph's scale buttons, the test trace, the time axis that follows the
// interval entry, and the graph's preparation at load.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "console/console_window.h"
#include "core/text.h"
#include "shell/app_context.h"

namespace kps {

namespace {

// A whole number from a box's value, held within 32 bits.
int32_t Whole(double value) {
  constexpr long long kMin = std::numeric_limits<int32_t>::min();
  constexpr long long kMax = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::clamp(RoundHalfEven(value), kMin, kMax));
}

int32_t Span(int32_t high, int32_t low) {
  return Whole(static_cast<double>(high) - static_cast<double>(low));
}

// Both scales from their boxes: the left one from txtScale and txtScaleMin, the
// right one from txtScale2 and txtScaleMin2 where it is a scale of its own, else
// the left one; and the labels of both columns.
void TakeScales(StripChart& chart, const GraphControls& graph) {
  chart.ScaleMax = Whole(NumericValue(graph.txtScale.text()) + 1);
  chart.ScaleMin = Whole(NumericValue(graph.txtScaleMin.text()));
  chart.ScaleSpan = Span(chart.ScaleMax, chart.ScaleMin);
  if (chart.TwoScales) {
    chart.ScaleMax2 = Whole(NumericValue(graph.txtScale2.text()) + 1);
    chart.ScaleMin2 = Whole(NumericValue(graph.txtScaleMin2.text()));
    chart.ScaleSpan2 = Span(chart.ScaleMax2, chart.ScaleMin2);
  } else {
    chart.ScaleMax2 = chart.ScaleMax;
    chart.ScaleMin2 = chart.ScaleMin;
    chart.ScaleSpan2 = chart.ScaleSpan;
  }
  chart.ScaleLabels = ScaleLabelTexts(chart.ScaleMin, chart.ScaleSpan);
  chart.ScaleLabels2 = ScaleLabelTexts(chart.ScaleMin2, chart.ScaleSpan2);
}

// Why the scale boxes spell no scale ("" when they do): each maximum a number
// not below its minimum, which is a number too.
std::string ScaleEntryProblem(const GraphControls& graph, bool twoScales) {
  const auto check = [](const TextBox& max, const TextBox& min, const char* maxName) {
    const bool numbers = IsNumeric(max.text()) && IsNumeric(min.text());
    if (numbers && Whole(NumericValue(max.text())) >= Whole(NumericValue(min.text()))) {
      return std::string();
    }
    return std::string("The scale was not changed: \"") + maxName + "\" (" + max.text() +
           ") must be a number not below \"Scale Min\" (" + min.text() + ").";
  };
  std::string why = check(graph.txtScale, graph.txtScaleMin, "Scale Max");
  if (why.empty() && twoScales) why = check(graph.txtScale2, graph.txtScaleMin2, "Scale 2 Max");
  return why;
}

}  // namespace

void ConsoleWindow::PrepareGraph() {
  BoardLink& board = app_.board;
  PixelSurface& picture = graph.Picture1.surface();
  // Until the interval box is first left, the time axis counts samples.
  chart.TimeLabels = SampleTimeLabels();
  meas.Label36.setVisible(false);

  // Where the second scale's box is shown, the right column is the ALS/IR
  // trace's own scale; elsewhere both traces share the left one.
  chart.TwoScales = graph.txtScale2.visible();
  graph.txtScale2.setText("4095");
  graph.txtScale.setText("4095");
  graph.txtScaleMin.setText("0");
  graph.txtScaleMin2.setText("0");
  TakeScales(chart, graph);
  chart.ResetTraces(410);

  // The grid becomes the background every trace scrolls over.
  chart.CaptureGraph(picture);
  board.DoEvents();
  board.DoEvents();
  lamps.ShpAttach.setFillColor(app_.colors.ColorGreen);
  DrawGrid(picture);
  chart.DrawGridLabels2(graph.Picture2.surface(), picture);
  chart.CaptureGraph(picture);
  board.DoEvents();
}

void ConsoleWindow::cmdScale_Click() {
  // Boxes that spell no scale change nothing: the traces stay readable on the
  // labels beside them.
  if (const std::string why = ScaleEntryProblem(graph, chart.TwoScales); !why.empty()) {
    app_.toolkit.ShowMessage(why, MessageButtons::Ok);
    return;
  }
  TakeScales(chart, graph);
  if (!Pump()) return;
  chart.DrawGridLabels2(graph.Picture2.surface(), graph.Picture1.surface());
  // Nothing drawn on the old scale stays: a running collection draws on from
  // the right edge, as at its start.
  chart.ResetTraces(403);
  chart.DrawStart = 403;
  chart.RestoreGraph(graph.Picture1.surface());
  Pump();
}

void ConsoleWindow::cmdAutoScale_Click() {
  BoardLink& board = app_.board;
  ConsoleShared& s = app_.shared;
  RunFlags& flags = app_.flags;
  if (s.SampleIndex <= 5) {
    app_.toolkit.ShowMessage(
        "Automatic Re-Scale fits the graph to the samples collected: collect at least 6 "
        "samples first.",
        MessageButtons::Ok);
    Pump();
    return;
  }
  if (!Pump()) return;
  chart.AxisTitle = {"Scaled", "Scaled"};
  double proxPeak = -99999;
  double alsPeak = -99999;
  for (int k = 0; k < s.SampleIndex; ++k) {
    const auto sample = s.OldestSample(k);
    proxPeak = std::max(proxPeak, sample.prox);
    alsPeak = std::max(alsPeak, sample.als);
  }
  // Each scale fits the peak of the traces drawn on it, with 15 % to spare.
  const auto fit = [](double peak) { return SignedBlank(Whole(std::floor(peak * 1.15))); };
  graph.txtScale.setText(fit(chart.TwoScales ? proxPeak : std::max(proxPeak, alsPeak)));
  if (chart.TwoScales) graph.txtScale2.setText(fit(alsPeak));
  if (!Pump()) return;
  graph.txtScaleMin.setText("0");
  graph.txtScaleMin2.setText("0");
  flags.CollectRunning = false;
  TakeScales(chart, graph);
  if (!Pump()) return;
  flags.CollectRunning = false;
  if (!Pump()) return;
  if (board.UsbBusy) {
    if (!Pump()) return;
    board.UsbBusy = false;
  }
  chart.DrawGridLabels2(graph.Picture2.surface(), graph.Picture1.surface());
  for (int i = 0; i <= 403; ++i) chart.AlsTrace[static_cast<std::size_t>(i)] = 1;
  chart.RestoreGraph(graph.Picture1.surface());
  // To the user one collection that starts again, from empty histories, with the new scale.
  CollectData();
  Pump();
}

void ConsoleWindow::cmdDrawTrace_Click() {
  chart.DrawTrace(graph.Picture1.surface());
}

void ConsoleWindow::txtInterval_LostFocus() {
  // Only an edit stops a collection and clears the graph: the focus merely
  // passing through the box changes nothing.
  if (!graph.txtInterval.TakeEdit()) return;
  // The axis is that of the interval a collection uses, 50 ms for a text that is no number.
  const int32_t interval = IntervalInForce();
  app_.flags.CollectRunning = false;
  if (!Pump()) return;
  chart.TimeLabels = TimeLabelTexts(interval);
  chart.DrawGridLabels2(graph.Picture2.surface(), graph.Picture1.surface());
  chart.ResetTraces(403);
  chart.RestoreGraph(graph.Picture1.surface());
  // Nothing left to scroll: a pass under way must not draw the reset traces.
  chart.DrawStart = 404;
}

}  // namespace kps
