#include "acquisition/strip_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <utility>

#include "core/text.h"

namespace kps {
namespace {

constexpr int kNewestIndex = 403;  // shown in the last column, 402
constexpr std::size_t kBackgroundSize =
    static_cast<std::size_t>(kBackgroundColumns) * kBackgroundRows;

// Trace rows are whatever the arrays hold, so they are widened before the
// +-1 of the point and the erase span; rows off the picture are not drawn.
class Pen {
 public:
  Pen(PixelSurface& picture, uint32_t color)
      : picture_(picture), height_(picture.height()), color_(color) {}

  void operator()(int x, int64_t y) const {
    if (y >= 0 && y < height_) picture_.SetPixel(x, static_cast<int>(y), color_);
  }
  // Keeps a far-away row off the picture without walking all the way to it.
  int64_t Bound(int64_t y) const { return std::clamp<int64_t>(y, -1, height_); }
  int height() const { return height_; }

 private:
  PixelSurface& picture_;
  int height_;
  uint32_t color_;
};

constexpr uint32_t kOpaque = 0xFF000000;  // of every pixel in a surface's memory

// The erase span of column x, rows lo..hi: from one row beyond the old point
// to one beyond the new one, within the picture and the saved background. Only
// that span goes back to the background, so a grid line elsewhere in the
// column is never touched. Empty (lo > hi) when the point did not move.
struct EraseSpan {
  int64_t lo;
  int64_t hi;
};
EraseSpan EraseSpanOf(int64_t oldRow, int64_t newRow, int64_t eraseTop) {
  if (oldRow == newRow) return {0, -1};
  return {std::max<int64_t>(std::min(oldRow, newRow) - 1, 0),
          std::min(std::max<int64_t>(std::max(oldRow, newRow) + 1, 0), eraseTop)};
}

// The scroll drawn pixel by pixel, on any surface. The memory routine below
// must leave exactly the pixels this one leaves.
void ScrollTraceByPixel(PixelSurface& picture, Trace& t, int start, uint32_t color,
                        const std::vector<uint32_t>& background) {
  const Pen pen(picture, color);
  const bool haveBackground = background.size() >= kBackgroundSize;
  const int64_t eraseTop = std::min(kBackgroundRows, pen.height()) - 1;

  for (int x = std::max(start - 1, 0); x < kNewestIndex; ++x) {
    const int64_t oldRow = t[x];
    const int64_t newRow = t[x + 1];

    if (haveBackground) {
      const auto [lo, hi] = EraseSpanOf(oldRow, newRow, eraseTop);
      for (int64_t y = lo; y <= hi; ++y) {
        const int row = static_cast<int>(y);
        picture.SetPixel(x, row, background[BackgroundIndex(x, row)]);
      }
    }

    const int32_t v = newRow == 0 ? 1 : t[x + 1];
    pen(x, v);
    pen(x, int64_t{v} + 1);
    pen(x, int64_t{v} - 1);

    // Joined to the right neighbour's new point; the newest column has none.
    if (x + 1 < kNewestIndex) {
      const int64_t from = pen.Bound(newRow);
      const int64_t to = pen.Bound(t[x + 2]);
      const int64_t step = from <= to ? 1 : -1;
      for (int64_t y = from;; y += step) {
        pen(x, y);
        if (y == to) break;
      }
    }

    t[x] = v;
  }
}

// The same scroll written straight into the picture's memory, each pixel of a
// column once: the point and its join are one run of ink (both hold the new
// point's row), and only the rest of the erase span goes back to the
// background. Every run is clipped to the picture once.
void ScrollTraceInMemory(const PixelMemory& picture, Trace& t, int start, uint32_t color,
                         const std::vector<uint32_t>& background) {
  const uint32_t ink = kOpaque | color;
  const bool haveBackground = background.size() >= kBackgroundSize;
  const int64_t eraseTop = std::min(kBackgroundRows, picture.height) - 1;
  const int64_t bottom = picture.height - 1;
  const std::ptrdiff_t stride = picture.stride;

  for (int x = std::max(start - 1, 0); x < std::min(kNewestIndex, picture.width); ++x) {
    const int64_t oldRow = t[x];
    const int64_t newRow = t[x + 1];
    const int32_t v = newRow == 0 ? 1 : t[x + 1];

    int64_t inkLo = int64_t{v} - 1;
    int64_t inkHi = int64_t{v} + 1;
    if (x + 1 < kNewestIndex) {
      const int64_t next = t[x + 2];
      inkLo = std::min({inkLo, newRow, next});
      inkHi = std::max({inkHi, newRow, next});
    }
    inkLo = std::max<int64_t>(inkLo, 0);
    inkHi = std::min(inkHi, bottom);

    uint32_t* const column = picture.pixels + x;
    if (haveBackground) {
      const uint32_t* const saved = background.data() + BackgroundIndex(x, 0);
      const auto erase = [&](int64_t from, int64_t to) {
        for (int64_t y = from; y <= to; ++y) column[y * stride] = kOpaque | saved[y];
      };
      const auto [lo, hi] = EraseSpanOf(oldRow, newRow, eraseTop);
      if (inkLo > inkHi) {
        erase(lo, hi);
      } else {
        erase(lo, std::min(hi, inkLo - 1));
        erase(std::max(lo, inkHi + 1), hi);
      }
    }
    for (int64_t y = inkLo; y <= inkHi; ++y) column[y * stride] = ink;

    t[x] = v;
  }
  // Columns past the picture's edge still move their trace.
  for (int x = std::max({start - 1, 0, picture.width}); x < kNewestIndex; ++x)
    t[x] = t[x + 1] == 0 ? 1 : t[x + 1];
}

void ScrollTrace(PixelSurface& picture, Trace& t, int start, uint32_t color,
                 const std::vector<uint32_t>& background) {
  if (start <= kNewestIndex) {
    if (const PixelMemory memory = picture.Memory(); memory.pixels != nullptr) {
      ScrollTraceInMemory(memory, t, start, color, background);
    } else {
      ScrollTraceByPixel(picture, t, start, color, background);
    }
  }
  picture.Refresh();
}

// The grid's steps, shared by the grid and the labels placed on it.
int ColumnStepOf(int width) {
  return static_cast<int>(RoundHalfEven((width - 1) / 10.0));
}
int RowStepOf(int height) {
  return static_cast<int>(RoundHalfEven(height / 10.0));
}

std::optional<int32_t> RowOnScale(double count, int32_t scaleMin, int32_t scaleMax) {
  // In double: the difference of two extreme scale ends does not fit 32 bits.
  const double step = LabelStep(static_cast<double>(scaleMax) - static_cast<double>(scaleMin));
  if (step == 0) return std::nullopt;
  const double row = kBottomRow - (count - scaleMin) / step * kGridRowStep;
  if (std::isnan(row) || row >= kBottomRow) return kBottomRow;
  if (row < 1) return 1;  // the three-pixel point stays on the picture
  return static_cast<int32_t>(RoundHalfEven(row));
}

// "##.00": two decimals, halves away from zero, no zero before the point.
std::string Hundredths(double value) {
  const long long cents = std::llround(std::fabs(value) * 100.0);
  const std::string whole = cents >= 100 ? std::to_string(cents / 100) : std::string();
  const int fraction = static_cast<int>(cents % 100);
  std::string text = value < 0 && cents != 0 ? "-" : "";
  text += whole;
  text += '.';
  text += static_cast<char>('0' + fraction / 10);
  text += static_cast<char>('0' + fraction % 10);
  return text;
}

// The whole text (blanks around it aside) is a decimal number.
bool IsNumber(const std::string& text, std::size_t& begin, std::size_t& end) {
  begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) return false;
  end = text.find_last_not_of(' ') + 1;
  std::size_t i = begin;
  if (text[i] == '+' || text[i] == '-') ++i;
  const auto digits = [&] {
    const std::size_t first = i;
    while (i < end && text[i] >= '0' && text[i] <= '9') ++i;
    return i - first;
  };
  std::size_t mantissa = digits();
  if (i < end && text[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return false;
  if (i < end && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < end && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits() == 0) return false;
  }
  return i == end;
}

}  // namespace

StripChart::StripChart()
    : TimeLabels(SampleTimeLabels()), GraphBackground(kBackgroundSize, kWhite) {
  AlsTrace.fill(1);
  ProxTrace.fill(1);
}

std::optional<int32_t> StripChart::GraphRow(double count) const {
  return RowOnScale(count, ScaleMin, ScaleMax);
}

std::optional<int32_t> StripChart::GraphRow2(double count) const {
  return RowOnScale(count, ScaleMin2, ScaleMax2);
}

void StripChart::CaptureGraph(const PixelSurface& picture) {
  if (GraphBackground.size() < kBackgroundSize) GraphBackground.resize(kBackgroundSize, kWhite);
  const int width = std::min(picture.width(), kBackgroundColumns);
  const int rows = std::min(picture.height(), kBackgroundRows);
  if (const ConstPixelMemory memory = picture.Memory(); memory.pixels != nullptr) {
    for (int y = 0; y < rows; ++y) {
      const uint32_t* const row = memory.pixels + y * memory.stride;
      for (int x = 0; x < width; ++x) GraphBackground[BackgroundIndex(x, y)] = row[x] & 0xFFFFFF;
    }
    return;
  }
  for (int x = 0; x < width; ++x) {
    for (int y = 0; y < rows; ++y) GraphBackground[BackgroundIndex(x, y)] = picture.Pixel(x, y);
  }
}

void StripChart::RestoreGraph(PixelSurface& picture) const {
  if (GraphBackground.size() >= kBackgroundSize) {
    const int width = std::min(picture.width(), kBackgroundColumns);
    const int rows = std::min(picture.height(), kBackgroundRows);
    if (const PixelMemory memory = picture.Memory(); memory.pixels != nullptr) {
      for (int y = 0; y < rows; ++y) {
        uint32_t* const row = memory.pixels + y * memory.stride;
        for (int x = 0; x < width; ++x) row[x] = kOpaque | GraphBackground[BackgroundIndex(x, y)];
      }
    } else {
      for (int x = 0; x < width; ++x) {
        for (int y = 0; y < rows; ++y)
          picture.SetPixel(x, y, GraphBackground[BackgroundIndex(x, y)]);
      }
    }
  }
  picture.Refresh();
}

void StripChart::ScrollProxTrace(PixelSurface& picture, int start) {
  ScrollTrace(picture, ProxTrace, start, TraceColor, GraphBackground);
}

void StripChart::ScrollAlsTrace(PixelSurface& picture, int start) {
  ScrollTrace(picture, AlsTrace, start, TraceColor, GraphBackground);
}

void StripChart::PlotTrace(PixelSurface& picture, const Trace& trace, int columns) const {
  const Pen pen(picture, kTraceRed);
  for (int x = std::min({picture.width(), columns, kTraceSize}) - 1; x >= 0; --x) {
    const int64_t y = trace[x];
    pen(x, y);
    pen(x, y + 1);
    pen(x, y - 1);
    if (x % 25 == 0) picture.Refresh();  // the trace appears progressively
  }
  picture.Refresh();
}

void StripChart::DrawTrace(PixelSurface& picture) {
  constexpr int kStepColumns = 50;
  constexpr int kSteps = 8;
  AlsTrace.fill(1);
  for (int k = 1; k <= kSteps; ++k) {
    std::fill_n(AlsTrace.begin() + kStepColumns * (k - 1), kStepColumns,
                *RowOnScale(100.0 * k, 0, 1000));
  }
  PlotTrace(picture, AlsTrace, kStepColumns * kSteps);
}

void StripChart::DrawGridLabels2(PixelSurface& labels, const PixelSurface& graph) const {
  const int width = graph.width();
  const int height = graph.height();
  const int graphRight = kGraphLeft + width;  // the first column past the graph
  labels.Clear();
  const int th = labels.TextHeight("Yy");
  const int space = std::max(labels.TextWidth(" "), 1);

  // Each value label is centred on the grid line it names, index 0 on the
  // bottom row; the columns stand off the graph far enough for a coloured edge.
  constexpr int kColumnGap = 5;
  const int rowStep = RowStepOf(height);
  int topLine = height - 1;
  for (int i = 0; i < 11; ++i) {
    const int line = height - 1 - i * rowStep;
    if (line < 0 || (i > 0 && rowStep <= 0)) break;
    topLine = line;
    const int y = kGraphTop + line - th / 2;
    const std::string left = Format00000(ScaleLabels[i]);
    labels.DrawText(std::max(kGraphLeft - kColumnGap - labels.TextWidth(left), 0), y, left);
    labels.DrawText(graphRight + kColumnGap - 1, y, Format00000(ScaleLabels2[i]));
  }
  // With a scale of its own for each trace, each column's edge of the grid
  // takes the colour of the trace it measures.
  if (TwoScales) {
    for (int y = kGraphTop + topLine; y < kGraphTop + height; ++y) {
      for (const int dx : {2, 3}) {
        labels.SetPixel(kGraphLeft - dx, y, kTraceBlue);
        labels.SetPixel(graphRight + dx - 2, y, kTraceRed);
      }
    }
  }

  // Under the graph: the time labels, the axis titles beside them, and a line
  // with the sample count and the time unit.
  const int timeY = kGraphTop + height + 1;
  const int titleY = timeY + 15;
  labels.DrawText(std::max(kGraphLeft - kColumnGap - labels.TextWidth(AxisTitle[0]), 0), titleY,
                  AxisTitle[0]);
  labels.DrawText(
      std::min(graphRight + kColumnGap - 1, labels.width() - labels.TextWidth(AxisTitle[1])),
      titleY, AxisTitle[1]);

  // A time label is centred under the vertical line it names (index 0, "0",
  // under the right edge) and kept within the graph's width. Labels too wide
  // for every line go on every k-th line, counted from the right, with at
  // least a blank between neighbours.
  const int columnStep = ColumnStepOf(width);
  const auto extent = [&](int index) {
    const std::string& text = TimeLabels.texts[static_cast<std::size_t>(index)];
    const int w = labels.TextWidth(text);
    const int centre = kGraphLeft + (10 - index) * columnStep;
    const int x = std::clamp(centre - w / 2, kGraphLeft, std::max(kGraphLeft, graphRight - w));
    return std::pair{x, x + w};
  };
  for (const int every : {1, 2, 5, 10, 11}) {
    bool apart = true;
    int nextLeft = std::numeric_limits<int>::max();  // of the label to the right
    for (int index = 0; index <= 10; index += every) {
      const auto [from, to] = extent(index);
      apart = apart && to + space <= nextLeft;
      nextLeft = from;
    }
    if (!apart) continue;
    for (int index = 0; index <= 10; index += every)
      labels.DrawText(extent(index).first, timeY,
                      TimeLabels.texts[static_cast<std::size_t>(index)]);
    break;
  }

  const int captionY = timeY + th + 5;
  const auto totalX = static_cast<int>(RoundHalfEven(labels.width() / 11.0) / 5);
  const std::string caption = std::string(21, ' ') + "Total 400 Samples";
  labels.DrawText(totalX, captionY, caption);
  // The time unit centred under the graph, clear of the caption.
  const int captionEnd = totalX + labels.TextWidth(caption) + space;
  const int unitWidth = labels.TextWidth(TimeLabels.unit);
  labels.DrawText(std::max(kGraphLeft + (width - unitWidth) / 2, captionEnd), captionY,
                  TimeLabels.unit);
  labels.Refresh();
}

void StripChart::ResetTraces(int last) {
  const int end = std::min(last, kTraceSize - 1);
  for (int i = 0; i <= end; ++i) AlsTrace[i] = ProxTrace[i] = 1;
}

void DrawGrid(PixelSurface& picture) {
  const int lastColumn = picture.width() - 1;
  const int height = picture.height();
  // Rows are counted up from the bottom one; row `height` is off the picture.
  const auto put = [&](int x, long long fromBottom) {
    if (fromBottom < height) picture.SetPixel(x, height - 1 - static_cast<int>(fromBottom), kBlack);
  };

  const long long columnStep = ColumnStepOf(lastColumn + 1);
  if (columnStep > 0) {
    for (long long x = columnStep; x <= lastColumn; x += columnStep) {
      for (int y = 0; y < height; ++y) put(static_cast<int>(x), y);
      if (x % 25 == 0) picture.Refresh();
    }
  }

  // A picture under five rows has no tenths: only the bottom line.
  const long long rowStep = RowStepOf(height);
  for (int x = 0; x <= lastColumn; ++x) {
    if (rowStep > 0) {
      for (long long y = 0; y <= height; y += rowStep) put(x, y);
    } else {
      put(x, 0);
    }
    if (x % 25 == 0) picture.Refresh();
  }
  picture.Refresh();
}

double LabelStep(double span) {
  if (span == 0 || std::isnan(span)) return 0;
  return std::copysign(std::ceil(std::fabs(span) / 10), span);
}

std::array<std::string, 11> ScaleLabelTexts(int32_t scaleMin, int32_t span) {
  const auto step = static_cast<long long>(LabelStep(span));
  std::array<std::string, 11> labels;
  for (int i = 0; i < 11; ++i) labels[i] = std::to_string(scaleMin + i * step);
  return labels;
}

TimeLabelSet SampleTimeLabels() {
  TimeLabelSet labels{.texts = {}, .unit = "samples"};
  for (int i = 0; i < 11; ++i) labels.texts[i] = std::to_string(40 * i);
  return labels;
}

TimeLabelSet TimeLabelTexts(int32_t intervalMs) {
  TimeLabelSet labels{.texts = {}, .unit = "seconds"};
  labels.texts[0] = "0.00";
  // Seconds covered by 40 i samples, in the order the figures were always formed.
  for (int i = 1; i < 11; ++i) labels.texts[i] = Hundredths(intervalMs / 1000.0 * 400 * i / 10);
  return labels;
}

std::string Format00000(const std::string& label) {
  std::size_t begin = 0;
  std::size_t end = 0;
  if (!IsNumber(label, begin, end)) return label;
  const double value = std::round(std::strtod(label.substr(begin, end - begin).c_str(), nullptr));
  if (!std::isfinite(value)) return label;
  const double magnitude = std::fabs(value);
  const int length = std::snprintf(nullptr, 0, "%.0f", magnitude);
  std::string digits(static_cast<std::size_t>(length), '0');
  std::snprintf(digits.data(), digits.size() + 1, "%.0f", magnitude);
  if (digits.size() < 5) digits.insert(0, 5 - digits.size(), '0');
  return value < 0 ? "-" + digits : digits;
}

}  // namespace kps
