#include "acquisition/strip_chart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/memory_surface.h"

namespace kps {
namespace {

constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kGreen = 0x00FF00;
constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

// The rows of column x that have the given colour.
std::set<int> RowsOf(const MemorySurface& picture, int x, uint32_t color) {
  std::set<int> rows;
  for (int y = 0; y < picture.height(); ++y) {
    if (picture.Pixel(x, y) == color) rows.insert(y);
  }
  return rows;
}

std::set<int> Span(int from, int to, std::set<int> rows = {}) {
  for (int y = from; y <= to; ++y) rows.insert(y);
  return rows;
}

// Draws on a MemorySurface through SetPixel alone, never offering its memory: the
// chart's routines take their pixel-by-pixel way, the reference for the others.
class PixelByPixel final : public PixelSurface {
 public:
  explicit PixelByPixel(MemorySurface& target) : target_(target) {}
  int width() const override { return target_.width(); }
  int height() const override { return target_.height(); }
  uint32_t Pixel(int x, int y) const override { return target_.Pixel(x, y); }
  void SetPixel(int x, int y, uint32_t color) override { target_.SetPixel(x, y, color); }
  void Clear() override { target_.Clear(); }
  void DrawText(int x, int y, const std::string& text) override { target_.DrawText(x, y, text); }
  int TextWidth(const std::string& text) const override { return target_.TextWidth(text); }
  int TextHeight(const std::string& text) const override { return target_.TextHeight(text); }
  void Refresh() override { target_.Refresh(); }

 private:
  MemorySurface& target_;
};

// The first pixel in which two pictures of one size differ; empty if none does.
std::string FirstDifference(const MemorySurface& a, const MemorySurface& b) {
  const ConstPixelMemory pixels = a.Memory();
  const std::size_t count = static_cast<std::size_t>(a.width()) * a.height();
  if (std::equal(pixels.pixels, pixels.pixels + count, b.Memory().pixels)) return {};
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      if (a.Pixel(x, y) == b.Pixel(x, y)) continue;
      char text[80];
      std::snprintf(text, sizeof text, "pixel (%d, %d): %06X against %06X", x, y, a.Pixel(x, y),
                    b.Pixel(x, y));
      return text;
    }
  }
  return {};
}

TEST(StripChartTest, GraphRowPutsTheScaleOnTheGridLines) {
  // {scale min, scale max, count, row}: the minimum on the bottom row 303, each label step 30
  // rows up, the top label (4100 for 0..4096; 20 for 0..14, a step of 2) on the top line, row 3;
  // above it row 1 at most. The last scale spans more than 32 bits.
  const double cases[][4] = {
      {0, 4096, 0, 303},  {0, 4096, -10, 303},        {0, 4096, kNan, 303}, {0, 4096, 2050, 153},
      {0, 4096, 4095, 3}, {0, 4096, 4100, 3},         {0, 4096, 9999, 1},   {100, 600, 350, 153},
      {0, 14, 20, 3},     {kIntMin, kIntMax, 0, 153},
  };
  for (const auto& [min, max, count, row] : cases) {
    StripChart chart;
    chart.ScaleMin = static_cast<int32_t>(min);
    chart.ScaleMax = static_cast<int32_t>(max);
    EXPECT_EQ(chart.GraphRow(count), static_cast<int32_t>(row))
        << min << ".." << max << " " << count;
  }
  // The right scale is the ALS/IR trace's own.
  StripChart flat;
  flat.ScaleMin = flat.ScaleMax = 500;
  flat.ScaleMax2 = 1000;
  EXPECT_EQ(flat.GraphRow(500), std::nullopt);
  EXPECT_EQ(flat.GraphRow2(500), 153);
}

TEST(GridTest, LinesAtEveryTenthCountedFromTheBottomRow) {
  // Lines at multiples of the steps, rows counted from the bottom; 12.5 columns round to 12.
  const int cases[][4] = {{401, 301, 40, 30}, {126, 47, 12, 5}};
  for (const auto& [width, height, columnStep, rowStep] : cases) {
    MemorySurface picture(width, height);
    DrawGrid(picture);
    int wrong = 0;
    for (int x = 0; x < width; ++x) {
      for (int y = 0; y < height; ++y) {
        const bool line = (x > 0 && x % columnStep == 0) || (height - 1 - y) % rowStep == 0;
        if (picture.Pixel(x, y) != (line ? kBlack : kWhite)) ++wrong;
      }
    }
    EXPECT_EQ(wrong, 0) << width << " x " << height;
  }
}

TEST(StripChartTest, ScrollOverAGridLineErasesOnlyBetweenOldAndNewRow) {
  MemorySurface picture(404, 304);
  DrawGrid(picture);
  StripChart chart;
  chart.CaptureGraph(picture);
  // An earlier trace left column 100 blue over the grid line at row 273.
  for (int y = 255; y <= 285; ++y) picture.SetPixel(100, y, kBlue);
  chart.ProxTrace[100] = 260;
  chart.ProxTrace[101] = chart.ProxTrace[102] = 280;
  chart.TraceColor = kGreen;
  chart.ScrollProxTrace(picture, 101);

  EXPECT_EQ(RowsOf(picture, 100, kBlue), Span(255, 258, Span(282, 285)));
  EXPECT_EQ(RowsOf(picture, 100, kGreen), Span(279, 281));
  std::set<int> lines;
  for (int y = 3; y < 304; y += 30) lines.insert(y);
  EXPECT_EQ(RowsOf(picture, 100, kBlack), lines);
  EXPECT_EQ(chart.ProxTrace[100], 280);
  chart.RestoreGraph(picture);
  EXPECT_EQ(RowsOf(picture, 100, kBlack), lines);
  EXPECT_TRUE(RowsOf(picture, 100, kGreen).empty() && RowsOf(picture, 100, kBlue).empty());
}

TEST(StripChartTest, ScrollMovesTheTraceOneColumnLeftFromTheStartColumn) {
  Trace before;
  before.fill(1);
  before[11] = 100, before[12] = 120, before[13] = 90, before[403] = 50;
  before[21] = 0;  // shown as row 1
  before[30] = kIntMax, before[31] = kIntMin;
  for (const int start : {1, 12, 404}) {
    SCOPED_TRACE(start);
    MemorySurface picture(404, 304);
    StripChart chart;
    chart.AlsTrace = before;
    chart.TraceColor = kGreen;
    chart.ScrollAlsTrace(picture, start);
    for (int x = 0; x < kTraceSize; ++x) {
      const bool moved = x >= start - 1 && x <= 402;
      const int32_t expected = !moved ? before[x] : before[x + 1] == 0 ? 1 : before[x + 1];
      ASSERT_EQ(chart.AlsTrace[x], expected) << "index " << x;
    }
    if (start > 403) continue;  // no column has data yet
    // Each column: a three-pixel point joined by a vertical segment to its right neighbour's row.
    EXPECT_EQ(RowsOf(picture, 10, kGreen), start == 1 ? Span(99, 120) : std::set<int>{});
    EXPECT_EQ(RowsOf(picture, 11, kGreen), Span(90, 121));
    EXPECT_EQ(RowsOf(picture, 12, kGreen), Span(1, 91));
    EXPECT_EQ(RowsOf(picture, 29, kGreen), Span(0, 303));  // a connector across the graph
    EXPECT_EQ(RowsOf(picture, 30, kGreen), Span(0, 1));    // the point itself is off the graph
    // The newest point is joined to the one before it, and to nothing on its right.
    EXPECT_EQ(RowsOf(picture, 401, kGreen), Span(0, 50));
    EXPECT_EQ(RowsOf(picture, 402, kGreen), Span(49, 51));
  }
}

TEST(StripChartTest, ScrollInMemoryLeavesThePixelsOfTheScrollPixelByPixel) {
  // Pictures of the graph's size, of the saved background's, larger and smaller than both.
  const std::pair<int, int> sizes[] = {{404, 304}, {405, 306}, {470, 350}, {300, 120}, {1, 3}};
  std::mt19937 random(7110);
  const auto between = [&](int64_t lo, int64_t hi) {
    return std::uniform_int_distribution<int64_t>(lo, hi)(random);
  };
  const auto chance = [&](int in) { return between(1, in) == 1; };
  for (const auto& [width, height] : sizes) {
    SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
    MemorySurface inMemory(width, height);
    MemorySurface reference(width, height);
    PixelByPixel byPixel(reference);
    ASSERT_NE(inMemory.Memory().pixels, nullptr);
    StripChart charts[2];
    PixelSurface* const pictures[2] = {&inMemory, &byPixel};
    const auto both = [&](const auto& step) {
      for (const int i : {0, 1}) step(charts[i], *pictures[i]);
    };
    // The rows a trace may hold besides those of a count: off the picture either way, 0 (shown
    // as 1), the background's last row and the one past it; those at the picture's edge are
    // drawn at random below.
    const int32_t oddRows[] = {kIntMin, -300, -2, -1, 0, 1, 2, 305, 306, 5000, kIntMax};
    double counts[2] = {500, 2000};
    for (int pass = 0; pass < 800; ++pass) {
      if (pass == 0 || chance(150)) {
        // A new background: the grid with dots of every colour, which only it can erase to.
        std::vector<std::tuple<int, int, uint32_t>> dots;
        for (int k = 0; k < 300; ++k)
          dots.emplace_back(between(0, width), between(0, height), between(0, 0xFFFFFF));
        both([&](StripChart& chart, PixelSurface& picture) {
          picture.Clear();
          DrawGrid(picture);
          for (const auto& [x, y, color] : dots) picture.SetPixel(x, y, color);
          chart.CaptureGraph(picture);
        });
        ASSERT_EQ(charts[0].GraphBackground, charts[1].GraphBackground) << "pass " << pass;
      }
      if (chance(80)) {
        // A new scale: part of the traces reset, the graph restored, a new start column.
        const bool twoScales = chance(2);
        const auto min = static_cast<int32_t>(between(-3000, 3000));
        const auto max = static_cast<int32_t>(chance(10) ? min : min + between(1, 9000));
        const auto last = static_cast<int>(between(-1, kTraceSize));
        const auto start = static_cast<int32_t>(chance(3) ? between(403, 405) : between(-3, 403));
        both([&](StripChart& chart, PixelSurface& picture) {
          chart.TwoScales = twoScales;
          chart.ScaleMin = min;
          chart.ScaleMax = max;
          chart.ScaleMin2 = twoScales ? min / 2 : min;
          chart.ScaleMax2 = twoScales ? max * 2 : max;
          chart.ResetTraces(last);
          chart.RestoreGraph(picture);
          chart.DrawStart = start;
        });
      }
      if (chance(300)) {
        // A background too short to erase to: nothing is erased until the next capture.
        const auto size = static_cast<std::size_t>(between(0, kBackgroundColumns));
        both([&](StripChart& chart, PixelSurface&) { chart.GraphBackground.resize(size); });
      }

      // The newest rows: counts wandering with noise and jumps, now and then an odd row.
      std::optional<int32_t> rows[2];
      for (const int i : {0, 1}) {
        counts[i] += chance(20) ? static_cast<double>(between(-20000, 20000))
                                : static_cast<double>(between(-40, 40));
        if (chance(12)) {
          rows[i] = static_cast<int32_t>(height + between(-2, 1));
        } else if (chance(6)) {
          rows[i] = oddRows[between(0, std::size(oddRows) - 1)];
        } else {
          rows[i] = i == 0 ? charts[0].GraphRow(counts[i]) : charts[0].GraphRow2(counts[i]);
        }
      }
      both([&](StripChart& chart, PixelSurface& picture) {
        if (rows[0]) chart.ProxTrace[403] = *rows[0];
        if (rows[1]) chart.AlsTrace[403] = *rows[1];
        chart.TraceColor = kTraceBlue;
        chart.ScrollProxTrace(picture, chart.DrawStart);
        chart.TraceColor = kTraceRed;
        chart.ScrollAlsTrace(picture, chart.DrawStart);
        if (chart.DrawStart > 1) --chart.DrawStart;
      });
      ASSERT_EQ(FirstDifference(inMemory, reference), "") << "pass " << pass;
      ASSERT_EQ(charts[0].ProxTrace, charts[1].ProxTrace) << "pass " << pass;
      ASSERT_EQ(charts[0].AlsTrace, charts[1].AlsTrace) << "pass " << pass;
    }
  }
}

TEST(StripChartTest, DrawTraceGivesARedStaircaseOverThePicture) {
  MemorySurface picture(404, 304);
  picture.SetPixel(200, 10, kBlack);
  StripChart chart;
  chart.AlsTrace.fill(77);
  chart.DrawTrace(picture);
  // 100 to 800 of a 1000-count scale: on the grid lines 1 to 8; nothing right of the steps.
  for (int x = 0; x < 404; ++x) {
    const int row = 273 - 30 * (x / 50);
    ASSERT_EQ(RowsOf(picture, x, kTraceRed), x < 400 ? Span(row - 1, row + 1) : std::set<int>{})
        << "column " << x;
    ASSERT_EQ(chart.AlsTrace[x], x < 400 ? row : 1) << "index " << x;
  }
  EXPECT_EQ(picture.Pixel(200, 10), kBlack);  // drawn over, nothing erased
  EXPECT_EQ(picture.refreshes, 17);           // every 25 columns and at the end
}

using Labels = std::array<std::string, 11>;

TEST(StripChartTest, AxisLabelTexts) {
  EXPECT_EQ(TimeLabelTexts(50), (TimeLabelSet{{"0.00", "2.00", "4.00", "6.00", "8.00", "10.00",
                                               "12.00", "14.00", "16.00", "18.00", "20.00"},
                                              "seconds"}));
  EXPECT_EQ(TimeLabelTexts(10).texts, (Labels{"0.00", ".40", ".80", "1.20", "1.60", "2.00", "2.40",
                                              "2.80", "3.20", "3.60", "4.00"}));
  EXPECT_EQ(SampleTimeLabels().unit, "samples");
  EXPECT_EQ(ScaleLabelTexts(0, 4096), (Labels{"0", "410", "820", "1230", "1640", "2050", "2460",
                                              "2870", "3280", "3690", "4100"}));
  EXPECT_EQ(ScaleLabelTexts(0, 14)[10], "20");  // the top label is never below the maximum
  // The manual scale 100..599 as the label panel prints it.
  const Labels labels = ScaleLabelTexts(100, 500);
  for (int i = 0; i < 11; ++i)
    EXPECT_EQ(Format00000(labels[i]), "00" + std::to_string(100 + 50 * i));
  const std::pair<std::string, std::string> cases[] = {
      {"-100", "-00100"}, {"12.5", "00013"}, {"123456", "123456"}, {"Scaled", "Scaled"}};
  for (const auto& [label, printed] : cases) EXPECT_EQ(Format00000(label), printed) << label;
}

TEST(StripChartTest, LabelsSitOnTheirGridLinesAndTimeLabelsNeverRunTogether) {
  MemorySurface graph(404, 304);
  DrawGrid(graph);
  StripChart chart;
  chart.ScaleMin = 0, chart.ScaleMax = 4096;
  chart.ScaleLabels = ScaleLabelTexts(0, 4096);
  chart.ScaleMin2 = 100, chart.ScaleMax2 = 600;
  chart.ScaleLabels2 = ScaleLabelTexts(100, 500);
  // Characters 8 x 15: "4.00" at 10 ms is already too wide for a blank between every two.
  for (const int interval : {0, 10, 50, 1000, 100000, kIntMax}) {
    SCOPED_TRACE(interval);
    chart.TimeLabels = interval == 0 ? SampleTimeLabels() : TimeLabelTexts(interval);
    chart.TwoScales = interval == 1000;
    MemorySurface labels(504, 360, 8, 15);
    chart.DrawGridLabels2(labels, graph);
    const auto drawn = [&](const std::string& text, bool right) {
      for (const auto& t : labels.texts()) {
        if (t.text == text && (t.x >= kGraphLeft) == right) return std::optional(t);
      }
      return std::optional<MemorySurface::Text>();
    };
    // Each value label is centred on a grid line, the row its value is drawn on.
    for (int i = 0; i < 11; ++i) {
      for (const bool right : {false, true}) {
        const std::string& value = right ? chart.ScaleLabels2[i] : chart.ScaleLabels[i];
        const auto label = drawn(Format00000(value), right);
        ASSERT_TRUE(label) << value;
        const int row = label->y + 7 - kGraphTop;
        EXPECT_EQ(graph.Pixel(200, row), kBlack) << value;
        EXPECT_EQ((right ? chart.GraphRow2(std::stod(value)) : chart.GraphRow(std::stod(value))),
                  row)
            << value;
      }
    }
    // Time labels: within the graph's width, under their lines unless at an edge, the newest
    // and the oldest shown, and at least a blank apart.
    std::vector<std::pair<int, int>> spans;
    for (int index = 0; index < 11; ++index) {
      const std::string& text = chart.TimeLabels.texts[index];
      const auto label = drawn(text, true);
      if (!label || label->y != kGraphTop + 305) {
        EXPECT_TRUE(index != 0 && index != 10) << text;
        continue;
      }
      const int width = 8 * static_cast<int>(text.size());
      EXPECT_GE(label->x, kGraphLeft);
      EXPECT_LE(label->x + width, kGraphLeft + 404);
      if (label->x > kGraphLeft && label->x + width < kGraphLeft + 404) {
        EXPECT_EQ(label->x + width / 2, kGraphLeft + 40 * (10 - index)) << text;
      }
      spans.emplace_back(label->x, label->x + width);
    }
    std::ranges::sort(spans);
    for (std::size_t k = 1; k < spans.size(); ++k)
      EXPECT_GE(spans[k].first, spans[k - 1].second + 8);
    EXPECT_TRUE(drawn(chart.TimeLabels.unit, true));
    // With a scale for each trace, each column's edge shows its trace's colour.
    EXPECT_EQ(labels.Pixel(kGraphLeft - 2, 200), chart.TwoScales ? kTraceBlue : kWhite);
    EXPECT_EQ(labels.Pixel(kGraphLeft + 405, 200), chart.TwoScales ? kTraceRed : kWhite);
  }
}

}  // namespace
}  // namespace kps
