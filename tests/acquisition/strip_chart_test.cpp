#include "acquisition/strip_chart.h"

#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <string>

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

TEST(StripChartTest, GraphRowMapsTheScaleOntoRowsOneTo304) {
  // {scale min, scale max, count, row}: 4095 gives 0.07, raised to row 1; the last scale spans
  // more than 32 bits.
  const double cases[][4] = {
      {0, 4096, -10, 304},  {0, 4096, 4095, 1},   {0, 4096, 2048, 152},
      {0, 4096, kNan, 304}, {100, 600, 350, 152}, {kIntMin, kIntMax, 0, 152},
  };
  for (const auto& [min, max, count, row] : cases) {
    StripChart chart;
    chart.ScaleMin = static_cast<int32_t>(min);
    chart.ScaleMax = static_cast<int32_t>(max);
    EXPECT_EQ(chart.GraphRow(count), static_cast<int32_t>(row))
        << min << ".." << max << " " << count;
  }
  StripChart flat;
  flat.ScaleMin = flat.ScaleMax = 500;
  EXPECT_EQ(flat.GraphRow(500), std::nullopt);
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
    EXPECT_EQ(RowsOf(picture, 402, kGreen), Span(1, 51));  // joined to index 404, row 1
  }
}

TEST(StripChartTest, DrawTraceGivesARedStaircaseOverThePicture) {
  MemorySurface picture(404, 304);
  picture.SetPixel(200, 10, kBlack);
  StripChart chart;
  chart.AlsTrace.fill(77);
  chart.DrawTrace(picture);
  const int steps[] = {274, 243, 213, 182, 152, 122, 91, 61};
  for (int x = 0; x < 404; ++x) {
    const int row = x < 400 ? steps[x / 50] : 1;
    ASSERT_EQ(RowsOf(picture, x, kTraceRed), Span(row - 1, row + 1)) << "column " << x;
    ASSERT_EQ(chart.AlsTrace[x], row) << "index " << x;
  }
  EXPECT_EQ(chart.AlsTrace[410], 1);
  EXPECT_EQ(picture.Pixel(200, 10), kBlack);  // drawn over, nothing erased
  EXPECT_EQ(picture.refreshes, 18);           // every 25 columns and at the end
}

using Labels = std::array<std::string, 11>;

TEST(StripChartTest, AxisLabelTexts) {
  EXPECT_EQ(TimeLabelTexts(50), (Labels{"0.00", "2.00", "4.00", "6.00", "8.00", "10.00", "12.00",
                                        "14.00", "16.00", "18.00", "20.00"}));
  EXPECT_EQ(TimeLabelTexts(10), (Labels{"0.00", ".40", ".80", "1.20", "1.60", "2.00", "2.40",
                                        "2.80", "3.20", "3.60", "4.00"}));
  EXPECT_EQ(ScaleLabelTexts(0, 4096), (Labels{"0", "410", "820", "1230", "1640", "2050", "2460",
                                              "2870", "3280", "3690", "4100"}));
  // The manual scale 100..599 as the label panel prints it.
  const Labels labels = ScaleLabelTexts(100, 500);
  for (int i = 0; i < 11; ++i)
    EXPECT_EQ(Format00000(labels[i]), "00" + std::to_string(100 + 50 * i));
  const std::pair<std::string, std::string> cases[] = {
      {"-100", "-00100"}, {"12.5", "00013"}, {"123456", "123456"}, {"Scaled", "Scaled"}};
  for (const auto& [label, printed] : cases) EXPECT_EQ(Format00000(label), printed) << label;
}

TEST(StripChartTest, LabelsArePlacedFromTheGraphSizeAndTheFontMetrics) {
  // Characters 8 x 15 wide and high: values at 100 + 15 / 1.5 and 10; 41.5 time columns round to
  // 42; the caption at round(530 / 11) / 5 = 9.6, printed at 9.
  MemorySurface labels(530, 360, 8, 15);
  StripChart chart;
  chart.ScaleLabels = ScaleLabelTexts(0, 4096);
  chart.ScaleLabels2 = ScaleLabelTexts(100, 500);
  chart.AxisTitle = {"Left", "Right"};
  chart.DrawGridLabels2(labels, MemorySurface(415, 100));
  std::multiset<std::string> drawn;
  for (const auto& [x, y, text] : labels.texts())
    drawn.insert(std::to_string(x) + "," + std::to_string(y) + " " + text);
  for (const char* text : {"8,110 00000", "458,10 00600", "458,340 Right", "32,325 400",
                           "452,325 0", "9,345                      Total 400 Samples"})
    EXPECT_EQ(drawn.count(text), 1u) << text;
  EXPECT_EQ(labels.texts().size(), 36u);  // 22 values, 2 titles, 11 times, the caption
  EXPECT_EQ(labels.refreshes, 1);
}

}  // namespace
}  // namespace kps
