// The graph's scale buttons, the test trace, the time axis that follows the
// interval entry, and the graph's preparation at load.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

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

}  // namespace

void ConsoleWindow::PrepareGraph() {
  BoardLink& board = app_.board;
  PixelSurface& picture = graph.Picture1.surface();
  // Until the interval box is first left, the time axis counts samples.
  for (int i = 0; i <= 10; ++i)
    chart.TimeLabels[static_cast<std::size_t>(i)] = std::to_string(40 * i);
  meas.Label36.setVisible(false);

  // Both label columns from their own boxes; the left column's scale is the one in force.
  graph.txtScale2.setText("4095");
  graph.txtScale.setText("4095");
  graph.txtScaleMin.setText("0");
  graph.txtScaleMin2.setText("0");
  auto scaleFrom = [this](const TextBox& max, const TextBox& min) {
    chart.ScaleMax = Whole(NumericValue(max.text()) + 1);
    chart.ScaleMin = Whole(NumericValue(min.text()));
    chart.ScaleSpan = Span(chart.ScaleMax, chart.ScaleMin);
    return ScaleLabelTexts(chart.ScaleMin, chart.ScaleSpan);
  };
  chart.ScaleLabels2 = scaleFrom(graph.txtScale2, graph.txtScaleMin2);
  chart.ScaleLabels = scaleFrom(graph.txtScale, graph.txtScaleMin);
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
  chart.ScaleMax = Whole(NumericValue(graph.txtScale.text()) + 1);
  chart.ScaleMin = Whole(NumericValue(graph.txtScaleMin.text()));
  chart.ScaleSpan = Span(chart.ScaleMax, chart.ScaleMin);
  if (!Pump()) return;
  chart.ScaleLabels = ScaleLabelTexts(chart.ScaleMin, chart.ScaleSpan);
  chart.DrawGridLabels2(graph.Picture2.surface(), graph.Picture1.surface());
  chart.RestoreGraph(graph.Picture1.surface());
  Pump();
}

void ConsoleWindow::cmdAutoScale_Click() {
  BoardLink& board = app_.board;
  ConsoleShared& s = app_.shared;
  RunFlags& flags = app_.flags;
  const bool enough = s.SampleIndex > 5 && std::fabs(s.NewestSample(0).prox) > 0;
  if (!enough) {
    Pump();
    return;
  }
  if (!Pump()) return;
  chart.AxisTitle = {"Scaled", "Scaled"};
  // The proximity history alone sets the scale of both traces.
  double peak = -99999;
  for (int k = 1; k < s.SampleIndex; ++k) peak = std::max(peak, s.OldestSample(k).prox);
  graph.txtScale.setText(SignedBlank(Whole(std::floor(peak * 1.15))));
  if (!Pump()) return;
  chart.ScaleMin = 0;
  chart.ScaleMax = Whole(NumericValue(graph.txtScale.text()) + 1);
  graph.txtScaleMin.setText("0");
  flags.CollectRunning = false;
  chart.ScaleSpan = Whole(std::fabs(static_cast<double>(chart.ScaleMin)) + chart.ScaleMax);
  if (!Pump()) return;
  chart.ScaleLabels = ScaleLabelTexts(chart.ScaleMin, chart.ScaleSpan);
  chart.ScaleLabels2 = chart.ScaleLabels;
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
