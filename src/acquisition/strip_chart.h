// The real-time graph: a strip chart drawn pixel by pixel. Each sample scrolls
// the traces one column to the left; old trace pixels are erased by copying
// back pixels of a saved background (normally the empty grid), so nothing is
// ever redrawn from the data.
//
// Rows are counted from the top of the graph picture. The value-to-row mapping
// is the grid's: a scale's minimum sits on the bottom row (a grid line), and each
// of the ten grid divisions above it is one label step, so every value label
// names the line it sits on and a trace reads against the labels beside it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/pixel_surface.h"

namespace kps {

inline constexpr int kGraphRows = 304;
inline constexpr int kBottomRow = kGraphRows - 1;
inline constexpr int kGridRowStep = 30;  // rows between grid lines: round(kGraphRows / 10)
inline constexpr int kTraceSize = 411;   // 0..402 shown, 403 the newest sample
// Where the label panel holds the graph picture.
inline constexpr int kGraphLeft = 52;
inline constexpr int kGraphTop = 20;
inline constexpr int kBackgroundColumns = 405;
inline constexpr int kBackgroundRows = 306;
inline constexpr uint32_t kTraceRed = 0xFF0000;   // the ALS/IR trace, the test staircase
inline constexpr uint32_t kTraceBlue = 0x0000FF;  // the proximity trace

using Trace = std::array<int32_t, kTraceSize>;

// Where pixel (x, y) of the saved background lives in StripChart::GraphBackground
// (column by column, the order in which it is captured).
constexpr std::size_t BackgroundIndex(int x, int y) {
  return static_cast<std::size_t>(x) * kBackgroundRows + static_cast<std::size_t>(y);
}

// The time axis: the label of every tenth of the graph's width, index 0 at the
// right edge (the newest sample), and the unit they count in.
struct TimeLabelSet {
  std::array<std::string, 11> texts;
  std::string unit;

  bool operator==(const TimeLabelSet&) const = default;
};

struct StripChart {
  StripChart();

  // The left value column's scale: the entered maximum + 1, the minimum. The
  // proximity trace is drawn on it, and the ALS/IR trace too unless TwoScales.
  int32_t ScaleMax = 4096;
  int32_t ScaleMin = 0;
  int32_t ScaleSpan = 4096;
  // The right value column's scale: the left one's, or with TwoScales the
  // ALS/IR trace's own.
  int32_t ScaleMax2 = 4096;
  int32_t ScaleMin2 = 0;
  int32_t ScaleSpan2 = 4096;
  bool TwoScales = false;
  Trace AlsTrace;
  Trace ProxTrace;
  int32_t DrawStart = 403;                   // first trace index the scroll routines touch
  uint32_t TraceColor = 0;                   // of the trace the next scroll call draws
  std::array<std::string, 11> ScaleLabels;   // left column, index 0 at the bottom
  std::array<std::string, 11> ScaleLabels2;  // right column
  TimeLabelSet TimeLabels;
  std::array<std::string, 2> AxisTitle;
  std::vector<uint32_t> GraphBackground;  // kBackgroundColumns x kBackgroundRows

  // The row for a count on the left scale (GraphRow) or the right one
  // (GraphRow2), 1..kBottomRow: a count at the minimum or below is on the bottom
  // row. nullopt when the scale has no span (the caller keeps the row it had).
  std::optional<int32_t> GraphRow(double count) const;
  std::optional<int32_t> GraphRow2(double count) const;

  void CaptureGraph(const PixelSurface& picture);
  void RestoreGraph(PixelSurface& picture) const;

  // Move the trace one column left and draw the newest point (index 403) in
  // column 402, in TraceColor; each column is joined to its right neighbour, the
  // newest to the one before it only. `start` is DrawStart: columns before
  // start - 1 hold no data yet and are left alone.
  void ScrollProxTrace(PixelSurface& picture, int start);
  void ScrollAlsTrace(PixelSurface& picture, int start);

  // The first `columns` points of a trace in red, over whatever the picture shows.
  void PlotTrace(PixelSurface& picture, const Trace& trace, int columns) const;
  // The test staircase of the "DrawTrace" button: 10 % to 80 % of a 1000-count
  // scale in eight 50-column steps, put into AlsTrace and plotted.
  void DrawTrace(PixelSurface& picture);

  // All value, time and axis labels into the label panel, placed on the grid
  // lines of the graph picture (held at kGraphLeft, kGraphTop). Time labels too
  // wide for every line go on every second (fifth, tenth) line only.
  void DrawGridLabels2(PixelSurface& labels, const PixelSurface& graph) const;

  // Both traces to row 1 for indexes 0..last.
  void ResetTraces(int last);
};

// The black grid of the empty graph: vertical lines at every tenth of the
// width (none at the left edge), horizontal ones at every tenth of the height
// counted up from the bottom row, which is itself a line. Refreshes as it goes
// so that the grid appears progressively.
void DrawGrid(PixelSurface& picture);

// The value of one grid division: a tenth of the span, rounded away from zero
// so that the top line is at or beyond the scale's maximum. 0 for no span.
double LabelStep(double span);

// The value labels: scaleMin + i * LabelStep(span) for i = 0..10.
std::array<std::string, 11> ScaleLabelTexts(int32_t scaleMin, int32_t span);

// The time labels before an interval is known: 0, 40, .. 400 samples.
TimeLabelSet SampleTimeLabels();
// The time labels in seconds for a sample interval: "0.00" then the time 40 i
// samples take, as "2.00", ".40", "20.00".
TimeLabelSet TimeLabelTexts(int32_t intervalMs);

// A numeric text as a whole number of at least five digits ("00100", "-00100");
// any other text unchanged.
std::string Format00000(const std::string& label);

}  // namespace kps
