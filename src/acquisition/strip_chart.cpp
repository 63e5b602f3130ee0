#include "acquisition/strip_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

void ScrollTrace(PixelSurface& picture, Trace& t, int start, uint32_t color,
                 const std::vector<uint32_t>& background) {
  if (start > kNewestIndex) {
    picture.Refresh();
    return;
  }
  const Pen pen(picture, color);
  const bool haveBackground = background.size() >= kBackgroundSize;
  const int64_t eraseTop = std::min(kBackgroundRows, pen.height()) - 1;

  for (int x = std::max(start - 1, 0); x < kNewestIndex; ++x) {
    const int64_t oldRow = t[x];
    const int64_t newRow = t[x + 1];

    // Only the span between the old and the new point goes back to the
    // background, so a grid line elsewhere in the column is never touched.
    if (oldRow != newRow && haveBackground) {
      const int64_t lo = std::max<int64_t>(std::min(oldRow, newRow) - 1, 0);
      const int64_t hi = std::min(std::max<int64_t>(std::max(oldRow, newRow) + 1, 0), eraseTop);
      if (oldRow < newRow) {
        for (int64_t y = lo; y <= hi; ++y) {
          const int row = static_cast<int>(y);
          picture.SetPixel(x, row, background[BackgroundIndex(x, row)]);
        }
      } else {
        for (int64_t y = hi; y >= lo; --y) {
          const int row = static_cast<int>(y);
          picture.SetPixel(x, row, background[BackgroundIndex(x, row)]);
        }
      }
    }

    const int32_t v = newRow == 0 ? 1 : t[x + 1];
    pen(x, v);
    pen(x, int64_t{v} + 1);
    pen(x, int64_t{v} - 1);

    const int64_t from = pen.Bound(newRow);
    const int64_t to = pen.Bound(t[x + 2]);
    const int64_t step = from <= to ? 1 : -1;
    for (int64_t y = from;; y += step) {
      pen(x, y);
      if (y == to) break;
    }

    t[x] = v;
  }
  picture.Refresh();
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

StripChart::StripChart() : GraphBackground(kBackgroundSize, kWhite) {
  AlsTrace.fill(1);
  ProxTrace.fill(1);
  for (int i = 0; i < 11; ++i) TimeLabels[i] = std::to_string(40 * i);
}

std::optional<int32_t> StripChart::GraphRow(double count) const {
  // In double: the difference of two extreme scale ends does not fit 32 bits.
  const double span = static_cast<double>(ScaleMax) - static_cast<double>(ScaleMin);
  if (span == 0) return std::nullopt;
  const double row = kGraphRows - (count - ScaleMin) * (kGraphRows / span);
  if (std::isnan(row) || row >= kGraphRows) return kGraphRows;
  if (row < 1) return 1;
  return static_cast<int32_t>(RoundHalfEven(row));
}

void StripChart::CaptureGraph(const PixelSurface& picture) {
  if (GraphBackground.size() < kBackgroundSize) GraphBackground.resize(kBackgroundSize, kWhite);
  const int width = std::min(picture.width(), kBackgroundColumns);
  const int lastRow = std::min(picture.height(), kBackgroundRows - 1);
  for (int x = 0; x < width; ++x) {
    for (int y = 0; y <= lastRow; ++y) GraphBackground[BackgroundIndex(x, y)] = picture.Pixel(x, y);
  }
}

void StripChart::RestoreGraph(PixelSurface& picture) const {
  if (GraphBackground.size() >= kBackgroundSize) {
    const int width = std::min(picture.width(), kBackgroundColumns);
    const int lastRow = std::min(picture.height(), kBackgroundRows - 1);
    for (int x = 0; x < width; ++x) {
      for (int y = 0; y <= lastRow; ++y)
        picture.SetPixel(x, y, GraphBackground[BackgroundIndex(x, y)]);
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

void StripChart::PlotTrace(PixelSurface& picture, const Trace& trace) const {
  const Pen pen(picture, kTraceRed);
  for (int x = std::min(picture.width(), kTraceSize) - 1; x >= 0; --x) {
    const int64_t y = trace[x];
    pen(x, y);
    pen(x, y + 1);
    pen(x, y - 1);
    if (x % 25 == 0) picture.Refresh();  // the trace appears progressively
  }
  picture.Refresh();
}

void StripChart::DrawTrace(PixelSurface& picture) {
  AlsTrace.fill(1);
  for (int k = 1; k <= 8; ++k) {
    const auto row =
        static_cast<int32_t>(RoundHalfEven(kGraphRows - 100.0 * k * kGraphRows / 1000));
    std::fill_n(AlsTrace.begin() + 50 * (k - 1), 50, row);
  }
  PlotTrace(picture, AlsTrace);
}

void StripChart::DrawGridLabels2(PixelSurface& labels, const PixelSurface& graph) const {
  const int graphWidth = graph.width();
  const int graphHeight = graph.height();
  labels.Clear();
  const int th = labels.TextHeight("Yy");
  const int tw = labels.TextWidth("W");

  // Value labels stand a little below their grid line, index 0 at the bottom.
  const int rowStep = graphHeight / 10;
  for (int i = 0; i < 11; ++i) {
    const int y = graphHeight - i * rowStep;
    if (y < 0) break;
    const auto textY = static_cast<int>(RoundHalfEven(y + th / 1.5));
    labels.DrawText(tw, textY, Format00000(ScaleLabels[i]));
    labels.DrawText(tw + 450, textY, Format00000(ScaleLabels2[i]));
  }
  labels.DrawText(tw, 340, AxisTitle[0]);
  labels.DrawText(tw + 450, 340, AxisTitle[1]);

  constexpr int kTimeY = 325;
  const auto columnStep = static_cast<int>(RoundHalfEven(graphWidth / 10.0));
  for (int j = 0; j <= 10; ++j)
    labels.DrawText(4 * tw + j * columnStep, kTimeY, TimeLabels[10 - j]);

  const auto totalX = static_cast<int>(RoundHalfEven(labels.width() / 11.0) / 5);
  labels.DrawText(totalX, kTimeY + th + 5, std::string(21, ' ') + "Total 400 Samples");
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

  const long long columnStep = RoundHalfEven(lastColumn / 10.0);
  if (columnStep > 0) {
    for (long long x = columnStep; x <= lastColumn; x += columnStep) {
      for (int y = 0; y < height; ++y) put(static_cast<int>(x), y);
      if (x % 25 == 0) picture.Refresh();
    }
  }

  // A picture under five rows has no tenths: only the bottom line.
  const long long rowStep = RoundHalfEven(height / 10.0);
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

std::array<std::string, 11> ScaleLabelTexts(int32_t scaleMin, int32_t span) {
  const long long step = RoundHalfEven(span / 10.0);
  std::array<std::string, 11> labels;
  for (int i = 0; i < 11; ++i) labels[i] = std::to_string(scaleMin + i * step);
  return labels;
}

std::array<std::string, 11> TimeLabelTexts(int32_t intervalMs) {
  std::array<std::string, 11> labels;
  labels[0] = "0.00";
  // Seconds covered by 40 i samples, in the order the figures were always formed.
  for (int i = 1; i < 11; ++i) labels[i] = Hundredths(intervalMs / 1000.0 * 400 * i / 10);
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
